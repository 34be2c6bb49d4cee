#pragma once

#include "app/OstrelGenericButtonLookAndFeel.h"

namespace lookandfeel
{

// A filled pill in the button's background colour, darkened once while the
// mouse is over it and twice while it is pressed.
class ConnectButtonLookAndFeel : public OstrelGenericButtonLookAndFeel
{
public:
    ConnectButtonLookAndFeel() = default;

    void drawButtonBackground(juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour,
                              bool isMouseOverButton, bool isButtonDown) override;
};

} // namespace lookandfeel
