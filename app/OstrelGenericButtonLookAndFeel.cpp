#include "app/OstrelGenericButtonLookAndFeel.h"

#include "app/StyleConstants.h"

namespace lookandfeel
{

juce::Font OstrelGenericButtonLookAndFeel::getTextButtonFont(juce::TextButton&, int)
{
    return fontMedium14;
}

} // namespace lookandfeel
