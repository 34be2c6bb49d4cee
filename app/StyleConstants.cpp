#include "app/StyleConstants.h"

#include "resources/BinaryData.h"

__attribute__((init_priority(styleConstantsInitPriority))) const juce::Colour colourTitleGrey{0xff737373u};
__attribute__((init_priority(styleConstantsInitPriority))) const juce::Colour colourToastGrey{0xff404040u};
__attribute__((init_priority(styleConstantsInitPriority))) const juce::Colour colourButtonGrey{0xff282828u};
__attribute__((init_priority(styleConstantsInitPriority))) const juce::Colour colourLineGrey{0x80424242u};
__attribute__((init_priority(styleConstantsInitPriority))) const juce::Colour colourTextGrey{0xffc8c8c8u};

namespace
{

juce::Font makeFont(const char* data, int size, float height)
{
    juce::Font font(juce::Typeface::createSystemTypefaceFor(data, static_cast<size_t>(size)));
    font.setHeight(height);
    return font;
}

// The three fonts, built together on first use (under the singleton's lock)
// and deleted when JUCE shuts down, so none outlives JUCE's font support.
class StyleFontStore : public juce::DeletedAtShutdown
{
public:
    StyleFontStore()
        : medium14(makeFont(BinaryData::RobotoMedium_ttf, BinaryData::RobotoMedium_ttfSize, 14.0f)),
          regular16(makeFont(BinaryData::RobotoRegular_ttf, BinaryData::RobotoRegular_ttfSize, 16.0f)),
          bold14(makeFont(BinaryData::RobotoBold_ttf, BinaryData::RobotoBold_ttfSize, 14.0f))
    {
    }

    ~StyleFontStore() override { clearSingletonInstance(); }

    const juce::Font medium14;
    const juce::Font regular16;
    const juce::Font bold14;

    JUCE_DECLARE_SINGLETON(StyleFontStore, false)
};

JUCE_IMPLEMENT_SINGLETON(StyleFontStore)

} // namespace

const juce::Font& StyleFont::get() const
{
    auto* store = StyleFontStore::getInstance();
    switch (face)
    {
        case Face::medium14:
            return store->medium14;
        case Face::regular16:
            return store->regular16;
        case Face::bold14:
            break;
    }
    return store->bold14;
}
