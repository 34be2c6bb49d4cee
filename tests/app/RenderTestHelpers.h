#pragma once
// Rendering and pixel helpers shared by the look tests.
#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace rendertest
{

// The component and its children drawn into a fresh ARGB image, over the
// backdrop when one is given (the views themselves are transparent).
inline juce::Image render(juce::Component& component, juce::Colour backdrop = juce::Colours::transparentBlack)
{
    juce::Image image(juce::Image::ARGB, juce::jmax(1, component.getWidth()),
                      juce::jmax(1, component.getHeight()), true);
    juce::Graphics g(image);
    if (!backdrop.isTransparent())
        g.fillAll(backdrop);
    component.paintEntireComponent(g, true);
    return image;
}

// Writes a snapshot for people to look at.
inline void writeSnapshot(const juce::Image& image, const char* name)
{
    const juce::File file = juce::File(TOLVO_SNAPSHOT_DIR).getChildFile(name);
    file.deleteFile();
    juce::FileOutputStream out(file);
    juce::PNGImageFormat png;
    ASSERT_TRUE(out.openedOk() && png.writeImageToStream(image, out)) << name;
}

// The pixel's colour, each channel within the tolerance. Pixels that are not
// opaque come back from the premultiplied image with their colour rounded, so
// those need a tolerance of 1.
inline ::testing::AssertionResult pixelIs(const juce::Image& image, int x, int y, juce::uint32 argb,
                                          int tolerance = 0)
{
    const juce::Colour actual = image.getPixelAt(x, y);
    const juce::Colour expected(argb);
    const bool close = std::abs(actual.getAlpha() - expected.getAlpha()) <= tolerance &&
                       std::abs(actual.getRed() - expected.getRed()) <= tolerance &&
                       std::abs(actual.getGreen() - expected.getGreen()) <= tolerance &&
                       std::abs(actual.getBlue() - expected.getBlue()) <= tolerance;
    if (close)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pixel (" << x << ", " << y << ") is 0x" << juce::String::toHexString(actual.getARGB())
           << ", expected 0x" << juce::String::toHexString(argb);
}

inline bool isTransparent(const juce::Image& image, int x, int y)
{
    return image.getPixelAt(x, y).getAlpha() == 0;
}

// Counts the pixels of the area for which the predicate holds.
inline int countPixels(const juce::Image& image, juce::Rectangle<int> area,
                       const std::function<bool(juce::Colour)>& predicate)
{
    int n = 0;
    area = area.getIntersection(image.getBounds());
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (predicate(image.getPixelAt(x, y)))
                ++n;
    return n;
}

// True for a pixel that is the given colour at some coverage: drawn in it
// over a transparent image, or blended into the backdrop.
inline std::function<bool(juce::Colour)> tintOf(juce::Colour colour, int tolerance = 6)
{
    return [colour, tolerance](juce::Colour c)
    {
        return c.getAlpha() > 0 && std::abs(c.getRed() - colour.getRed()) <= tolerance &&
               std::abs(c.getGreen() - colour.getGreen()) <= tolerance &&
               std::abs(c.getBlue() - colour.getBlue()) <= tolerance;
    };
}

inline bool opaque(juce::Colour c)
{
    return c.getAlpha() > 0;
}

} // namespace rendertest
