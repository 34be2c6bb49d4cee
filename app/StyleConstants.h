#pragma once

#include <juce_graphics/juce_graphics.h>

// Colours and fonts shared by the views, the toast and the button looks.

// The colours are built during static initialization at this init_priority
// rank, after the preset tables and before every static object without a
// rank (the framework's own among them).
constexpr int styleConstantsInitPriority = 400;

extern const juce::Colour colourTitleGrey;
extern const juce::Colour colourToastGrey;
extern const juce::Colour colourButtonGrey;
extern const juce::Colour colourLineGrey;
extern const juce::Colour colourTextGrey;

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
