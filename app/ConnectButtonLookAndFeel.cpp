#include "app/ConnectButtonLookAndFeel.h"

namespace lookandfeel
{

void ConnectButtonLookAndFeel::drawButtonBackground(juce::Graphics& g, juce::Button& button,
                                                    const juce::Colour& backgroundColour,
                                                    bool isMouseOverButton, bool isButtonDown)
{
    juce::Graphics::ScopedSaveState state(g);

    juce::Colour colour = backgroundColour;
    if (isButtonDown)
        colour = backgroundColour.darker().darker();
    else if (isMouseOverButton)
        colour = backgroundColour.darker();

    const auto height = static_cast<float>(button.getHeight());
    g.setColour(colour);
    g.fillRoundedRectangle(0.0f, 0.0f, static_cast<float>(button.getWidth()), height, height * 0.5f);
}

} // namespace lookandfeel
