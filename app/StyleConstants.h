#pragma once

#include <juce_graphics/juce_graphics.h>

// Colours and fonts shared by the views, the toast and the button looks.

inline const juce::Colour colourTitleGrey{0xff737373u};
inline const juce::Colour colourToastGrey{0xff404040u};
inline const juce::Colour colourButtonGrey{0xff282828u};
inline const juce::Colour colourLineGrey{0x80424242u};
inline const juce::Colour colourTextGrey{0xffc8c8c8u};

// One of the three embedded Roboto fonts at its height. The juce::Font is made
// from the embedded font item on first use, which needs JUCE to be up (on the
// message thread), and then stays the same until JUCE shuts down. It converts
// to const juce::Font&, so it can be passed wherever a font is expected.
class StyleFont
{
public:
    enum class Face
    {
        medium14,
        regular16,
        bold14
    };

    constexpr explicit StyleFont(Face faceToUse) : face(faceToUse) {}

    const juce::Font& get() const;
    operator const juce::Font&() const { return get(); }

private:
    Face face;
};

inline constexpr StyleFont fontMedium14{StyleFont::Face::medium14};
inline constexpr StyleFont fontRegular16{StyleFont::Face::regular16};
inline constexpr StyleFont fontBold14{StyleFont::Face::bold14};
