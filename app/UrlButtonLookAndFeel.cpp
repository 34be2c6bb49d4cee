#include "app/UrlButtonLookAndFeel.h"

#include "app/StyleConstants.h"

namespace lookandfeel
{

void UrlButtonLookAndFeel::drawButtonBackground(juce::Graphics& g, juce::Button& button,
                                                const juce::Colour& backgroundColour, bool, bool)
{
    juce::Graphics::ScopedSaveState state(g);

    g.setColour(backgroundColour);
    g.fillAll();

    // Buttons 76 pixels wide or narrower have no room for the line.
    const int lineWidth = button.getWidth() - 76;
    if (lineWidth > 0)
    {
        g.setColour(colourLineGrey);
        g.fillRect(38, button.getHeight() - 1, lineWidth, 1);
    }
}

} // namespace lookandfeel
