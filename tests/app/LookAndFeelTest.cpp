// The three button looks, checked on the pixels JUCE draws with them.
#include "app/ConnectButtonLookAndFeel.h"
#include "app/OstrelGenericButtonLookAndFeel.h"
#include "app/StyleConstants.h"
#include "app/UrlButtonLookAndFeel.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cmath>

#include "RenderTestHelpers.h"

using namespace rendertest;

namespace
{

// A text button drawn by the given look, detached again before it goes.
struct TestButton
{
    TestButton(juce::LookAndFeel& lookAndFeel, int width, int height, juce::Colour background,
               const juce::String& text = {})
    {
        button.setLookAndFeel(&lookAndFeel);
        button.setColour(juce::TextButton::buttonColourId, background);
        button.setButtonText(text);
        button.setSize(width, height);
    }
    ~TestButton() { button.setLookAndFeel(nullptr); }

    juce::TextButton button;
};

} // namespace

TEST(ConnectButtonLookAndFeel, PillColourNormalHoveredPressed)
{
    lookandfeel::ConnectButtonLookAndFeel lnf;
    // Darkening multiplies red, green and blue by 1 / 1.4 and truncates.
    const struct
    {
        juce::Button::ButtonState state;
        juce::uint32 background;
        juce::uint32 expected;
    } cases[] = {
        {juce::Button::buttonNormal, 0xffe4af09, 0xffe4af09},
        {juce::Button::buttonOver, 0xffe4af09, 0xffa27d06},
        {juce::Button::buttonDown, 0xffe4af09, 0xff735904},
        {juce::Button::buttonNormal, 0xff282828, 0xff282828},
        {juce::Button::buttonOver, 0xff282828, 0xff1c1c1c},
        {juce::Button::buttonDown, 0xff282828, 0xff141414},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "state " << c.state << " background " << std::hex << c.background);
        TestButton b(lnf, 120, 40, juce::Colour(c.background));
        b.button.setState(c.state);
        const juce::Image image = b.button.createComponentSnapshot(b.button.getLocalBounds());
        EXPECT_TRUE(pixelIs(image, 60, 20, c.expected));
        EXPECT_TRUE(pixelIs(image, 25, 5, c.expected));
    }

    // Pressed alone (not hovered) still darkens twice; hover alone once.
    juce::Image image(juce::Image::ARGB, 120, 40, true);
    TestButton b(lnf, 120, 40, juce::Colour(0xffe4af09));
    {
        juce::Graphics g(image);
        lnf.drawButtonBackground(g, b.button, juce::Colour(0xffe4af09), false, true);
    }
    EXPECT_TRUE(pixelIs(image, 60, 20, 0xff735904));
}

TEST(ConnectButtonLookAndFeel, PillEndsAreHalfCircles)
{
    lookandfeel::ConnectButtonLookAndFeel lnf;
    for (int height : {28, 40})
    {
        SCOPED_TRACE(height);
        const int width = 150;
        TestButton b(lnf, width, height, juce::Colour(0xffe4af09));
        const juce::Image image = b.button.createComponentSnapshot(b.button.getLocalBounds());
        const double r = height * 0.5;
        for (int y = 0; y < height; ++y)
        {
            // The left end: the first column at least half covered, against
            // where a circle of radius height / 2 crosses the row's centre.
            int first = 0;
            while (first < width && image.getPixelAt(first, y).getAlpha() < 128)
                ++first;
            const double dy = r - (y + 0.5);
            const double edge = r - std::sqrt(std::max(0.0, r * r - dy * dy));
            EXPECT_NEAR(first + 0.5, edge, 1.5) << "row " << y;
            // The right end mirrors it.
            int last = width - 1;
            while (last >= 0 && image.getPixelAt(last, y).getAlpha() < 128)
                --last;
            EXPECT_EQ(last, width - 1 - first) << "row " << y;
        }
        // The straight middle is filled from top to bottom.
        EXPECT_EQ(image.getPixelAt(width / 2, 0).getAlpha(), 255);
        EXPECT_EQ(image.getPixelAt(width / 2, height - 1).getAlpha(), 255);
    }
}

TEST(UrlButtonLookAndFeel, UnderlineOnTheLastRow)
{
    lookandfeel::UrlButtonLookAndFeel lnf;
    const struct
    {
        int width;
        int lineLength;
    } cases[] = {{60, 0}, {76, 0}, {77, 1}, {375, 299}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.width);
        TestButton b(lnf, c.width, 40, juce::Colour(0x00000000));
        for (auto state : {juce::Button::buttonNormal, juce::Button::buttonOver, juce::Button::buttonDown})
        {
            b.button.setState(state);
            const juce::Image image = b.button.createComponentSnapshot(b.button.getLocalBounds());
            EXPECT_EQ(countPixels(image, {0, 0, c.width, 39}, opaque), 0) << "only the last row is drawn";
            EXPECT_EQ(countPixels(image, {0, 39, c.width, 1}, opaque), c.lineLength);
            if (c.lineLength > 0)
            {
                EXPECT_TRUE(isTransparent(image, 37, 39));
                EXPECT_TRUE(pixelIs(image, 38, 39, 0x80424242, 1));
                EXPECT_TRUE(pixelIs(image, 38 + c.lineLength - 1, 39, 0x80424242, 1));
                EXPECT_TRUE(isTransparent(image, 38 + c.lineLength, 39));
            }
        }
    }
}

TEST(UrlButtonLookAndFeel, BackgroundFillsTheButton)
{
    lookandfeel::UrlButtonLookAndFeel lnf;
    TestButton b(lnf, 200, 40, juce::Colour(0xff102030));
    b.button.setState(juce::Button::buttonDown);
    const juce::Image image = b.button.createComponentSnapshot(b.button.getLocalBounds());
    EXPECT_TRUE(pixelIs(image, 0, 0, 0xff102030)) << "not darkened when pressed";
    EXPECT_TRUE(pixelIs(image, 199, 38, 0xff102030));
    EXPECT_TRUE(pixelIs(image, 10, 39, 0xff102030));
    // The half-transparent line over the background.
    EXPECT_EQ(image.getPixelAt(100, 39).getARGB(),
              juce::Colour(0xff102030).overlaidWith(colourLineGrey).getARGB());
}

TEST(UrlButtonLookAndFeel, TransparentLinkPaintsOnlyUnderlineAndText)
{
    lookandfeel::UrlButtonLookAndFeel lnf;
    TestButton b(lnf, 375, 40, juce::Colour(0x00000000), "Help Center");
    b.button.setColour(juce::TextButton::textColourOffId, colourTextGrey);
    const juce::Image image = b.button.createComponentSnapshot(b.button.getLocalBounds());

    const juce::Font font = fontMedium14;
    const int textWidth = juce::roundToInt(std::ceil(font.getStringWidthFloat("Help Center")));
    const juce::Rectangle<int> textArea =
        juce::Rectangle<int>(textWidth, 40).withCentre({375 / 2, 20}).expanded(2, 0).withTrimmedBottom(1);
    EXPECT_EQ(countPixels(image, {0, 0, 375, 39}, opaque) - countPixels(image, textArea, opaque), 0)
        << "nothing drawn outside the text";
    EXPECT_GT(countPixels(image, textArea,
                          [](juce::Colour c) { return c.getAlpha() >= 200 && tintOf(colourTextGrey)(c); }),
              20)
        << "the text is drawn in the light grey";
    EXPECT_EQ(countPixels(image, textArea,
                          [](juce::Colour c)
                          { return c.getAlpha() >= 128 && !tintOf(colourTextGrey, 12)(c); }),
              0);
    EXPECT_EQ(countPixels(image, {0, 39, 375, 1}, opaque), 299);
}

TEST(OstrelGenericButtonLookAndFeel, TextFontIsRobotoMedium14AtAnyHeight)
{
    lookandfeel::ConnectButtonLookAndFeel connect;
    lookandfeel::UrlButtonLookAndFeel url;
    juce::TextButton button;
    for (lookandfeel::OstrelGenericButtonLookAndFeel* lnf :
         std::initializer_list<lookandfeel::OstrelGenericButtonLookAndFeel*>{&connect, &url})
        for (int height : {10, 28, 100})
        {
            const juce::Font font = lnf->getTextButtonFont(button, height);
            EXPECT_EQ(font.getTypefaceName(), "Roboto");
            EXPECT_EQ(font.getTypefaceStyle(), "Medium");
            EXPECT_EQ(font.getHeight(), 14.0f);
        }
}
