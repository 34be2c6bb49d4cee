// Style colours and fonts, and the embedded data items seen from JUCE.
#include "app/StyleConstants.h"
#include "resources/BinaryData.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "RenderTestHelpers.h"

namespace
{

// A font made from a Roboto file that Debian installed, read from disk here:
// the reference the embedded fonts are held against.
juce::Font fontFromFile(const char* path, float height)
{
    juce::MemoryBlock data;
    EXPECT_TRUE(juce::File(path).loadFileAsData(data)) << path;
    juce::Font font(juce::Typeface::createSystemTypefaceFor(data.getData(), data.getSize()));
    font.setHeight(height);
    return font;
}

// True when the font is the Roboto face of that style at that height: its
// name and style come from the font data, and its glyph advances match the
// reference face's. A fallback font fails on both.
::testing::AssertionResult isRoboto(const juce::Font& font, const juce::String& style, float height,
                                    const char* referenceFile)
{
    if (font.getTypefaceName() != "Roboto" || font.getTypefaceStyle() != style)
        return ::testing::AssertionFailure()
               << "font is " << font.getTypefaceName() << " " << font.getTypefaceStyle();
    if (font.getHeight() != height)
        return ::testing::AssertionFailure() << "height " << font.getHeight();
    const juce::Font reference = fontFromFile(referenceFile, height);
    const juce::String sample = "Connect your Tolvo Amp with USB cable. 0123456789";
    const float width = font.getStringWidthFloat(sample);
    const float expected = reference.getStringWidthFloat(sample);
    if (width <= 0.0f || std::abs(width - expected) > 0.01f)
        return ::testing::AssertionFailure() << "advance " << width << ", reference " << expected;
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(StyleConstants, Colours)
{
    const struct
    {
        juce::Colour colour;
        juce::uint32 argb;
    } cases[] = {
        {colourTitleGrey, 0xff737373}, {colourToastGrey, 0xff404040}, {colourButtonGrey, 0xff282828},
        {colourLineGrey, 0x80424242},  {colourTextGrey, 0xffc8c8c8},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.colour.getARGB(), c.argb);
}

TEST(StyleConstants, FontsAreTheEmbeddedRobotoFaces)
{
    EXPECT_TRUE(isRoboto(fontMedium14, "Medium", 14.0f, TOLVO_ROBOTO_MEDIUM_FILE));
    EXPECT_TRUE(isRoboto(fontRegular16, "Regular", 16.0f, TOLVO_ROBOTO_REGULAR_FILE));
    EXPECT_TRUE(isRoboto(fontBold14, "Bold", 14.0f, TOLVO_ROBOTO_BOLD_FILE));
    EXPECT_EQ(&fontMedium14.get(), &fontMedium14.get()) << "built once";
}

TEST(StyleConstants, FontCheckRejectsFallbackAndWrongFaces)
{
    EXPECT_FALSE(isRoboto(juce::Font(14.0f), "Medium", 14.0f, TOLVO_ROBOTO_MEDIUM_FILE));
    EXPECT_FALSE(isRoboto(fontBold14, "Medium", 14.0f, TOLVO_ROBOTO_MEDIUM_FILE));
    EXPECT_FALSE(isRoboto(fontRegular16, "Regular", 14.0f, TOLVO_ROBOTO_REGULAR_FILE));
    // Same name and style, other glyphs: Medium's advances are not Regular's.
    EXPECT_FALSE(isRoboto(fontMedium14, "Medium", 14.0f, TOLVO_ROBOTO_REGULAR_FILE));
}

TEST(EmbeddedItems, FontItemsAreDebiansRobotoFiles)
{
    const struct
    {
        const char* data;
        int size;
        const char* file;
    } fonts[] = {
        {BinaryData::RobotoRegular_ttf, BinaryData::RobotoRegular_ttfSize, TOLVO_ROBOTO_REGULAR_FILE},
        {BinaryData::RobotoMedium_ttf, BinaryData::RobotoMedium_ttfSize, TOLVO_ROBOTO_MEDIUM_FILE},
        {BinaryData::RobotoBold_ttf, BinaryData::RobotoBold_ttfSize, TOLVO_ROBOTO_BOLD_FILE},
    };
    for (const auto& f : fonts)
    {
        juce::MemoryBlock onDisk;
        ASSERT_TRUE(juce::File(f.file).loadFileAsData(onDisk));
        EXPECT_EQ(juce::MemoryBlock(f.data, static_cast<size_t>(f.size)), onDisk) << f.file;
    }
}

TEST(EmbeddedItems, PicturesDecodeAtTheirSizes)
{
    const struct
    {
        const char* data;
        int size;
        int width, height;
    } pictures[] = {
        {BinaryData::grelmSpeaker_png, BinaryData::grelmSpeaker_pngSize, 754, 422},
        {BinaryData::appIconLarge_png, BinaryData::appIconLarge_pngSize, 1024, 1024},
        {BinaryData::appIconSmall_png, BinaryData::appIconSmall_pngSize, 256, 256},
    };
    for (const auto& p : pictures)
    {
        const juce::Image image = juce::ImageFileFormat::loadFrom(p.data, static_cast<size_t>(p.size));
        ASSERT_TRUE(image.isValid());
        EXPECT_EQ(image.getWidth(), p.width);
        EXPECT_EQ(image.getHeight(), p.height);
        // A drawing, not an empty canvas: the middle is opaque.
        EXPECT_EQ(image.getPixelAt(p.width / 2, p.height / 2).getAlpha(), 255);
    }
}
