#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace lookandfeel
{

// The base of the updater's button looks: JUCE's V3 look with every button
// text in the 14-pixel Roboto Medium font.
class OstrelGenericButtonLookAndFeel : public juce::LookAndFeel_V3
{
public:
    OstrelGenericButtonLookAndFeel() = default;

    juce::Font getTextButtonFont(juce::TextButton& button, int buttonHeight) override;
};

} // namespace lookandfeel
