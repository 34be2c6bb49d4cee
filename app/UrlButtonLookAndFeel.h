#pragma once

#include "app/OstrelGenericButtonLookAndFeel.h"

namespace lookandfeel
{

// A text link: the background colour over the whole button and a one-pixel
// underline on its last row, 38 pixels in from each side. Hover and press
// look the same.
class UrlButtonLookAndFeel : public OstrelGenericButtonLookAndFeel
{
public:
    UrlButtonLookAndFeel() = default;

    void drawButtonBackground(juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour,
                              bool isMouseOverButton, bool isButtonDown) override;
};

} // namespace lookandfeel
