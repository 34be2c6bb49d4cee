// The connect view, the device view and its rows: texts, colours, looks,
// bounds at the window's default size and another, and rendered pixels.
#include "app/ConnectedDeviceInfoView.h"
#include "app/DeviceInfoEditView.h"
#include "app/InitialDeviceInfoView.h"
#include "app/StyleConstants.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "RenderTestHelpers.h"

using namespace rendertest;

namespace
{

using Rect = juce::Rectangle<int>;

const juce::Colour backdrop{0xff262626};

::testing::AssertionResult usesFont(const juce::Font& font, const juce::Font& expected)
{
    if (font.getTypefaceName() == expected.getTypefaceName() &&
        font.getTypefaceStyle() == expected.getTypefaceStyle() && font.getHeight() == expected.getHeight())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << font.getTypefaceName() << " " << font.getTypefaceStyle() << " " << font.getHeight();
}

} // namespace

TEST(InitialDeviceInfoView, ChildrenTextsColoursAndLooks)
{
    InitialDeviceInfoView view;
    EXPECT_EQ(view.promptLabel->getText(), "Connect your Tolvo Amp with USB cable.");
    EXPECT_TRUE(usesFont(view.promptLabel->getFont(), fontMedium14));
    EXPECT_EQ(view.promptLabel->findColour(juce::Label::textColourId), colourTextGrey);
    EXPECT_EQ(view.promptLabel->getJustificationType(), juce::Justification::centred);

    EXPECT_EQ(view.connectButton->getButtonText(), "Connect Hardware");
    EXPECT_EQ(view.connectButton->findColour(juce::TextButton::textColourOnId).getARGB(), 0xff282828u);
    EXPECT_EQ(view.connectButton->findColour(juce::TextButton::buttonColourId).getARGB(), 0xffe4af09u);
    EXPECT_FALSE(view.connectButton->isColourSpecified(juce::TextButton::textColourOffId));
    EXPECT_EQ(&view.connectButton->getLookAndFeel(), &view.connectLookAndFeel);

    for (juce::TextButton* link : {view.learnMoreButton.get(), view.helpButton.get()})
    {
        EXPECT_EQ(link->findColour(juce::TextButton::textColourOffId), colourTextGrey);
        EXPECT_EQ(link->findColour(juce::TextButton::buttonColourId).getARGB(), 0x00000000u);
        EXPECT_EQ(&link->getLookAndFeel(), &view.urlLookAndFeel);
    }
    EXPECT_EQ(view.learnMoreButton->getButtonText(), "Learn more about Tolvo speaker");
    EXPECT_EQ(view.helpButton->getButtonText(), "Help Center");

    for (juce::Component* c :
         std::initializer_list<juce::Component*>{view.promptLabel.get(), view.connectButton.get(),
                                                 view.learnMoreButton.get(), view.helpButton.get()})
    {
        EXPECT_TRUE(c->isVisible());
        EXPECT_EQ(c->getParentComponent(), &view);
        EXPECT_TRUE(c->getName().isEmpty());
        EXPECT_EQ(c->getHeight(), 40);
    }
    for (juce::Component* c : std::initializer_list<juce::Component*>{
             view.connectButton.get(), view.learnMoreButton.get(), view.helpButton.get()})
        EXPECT_TRUE(c->getMouseCursor() == juce::MouseCursor::PointingHandCursor);
}

TEST(InitialDeviceInfoView, Bounds)
{
    const struct
    {
        int w, h;
        Rect prompt, connect, learnMore, help;
    } cases[] = {
        // The view's size in the window's default 375 x 667.
        {375, 280, {0, 38, 375, 40}, {62, 78, 251, 40}, {0, 194, 375, 40}, {0, 234, 375, 40}},
        // The whole window's size: the help link grows past a height of 468.
        {375, 667, {0, 38, 375, 40}, {62, 78, 251, 40}, {0, 194, 375, 40}, {0, 234, 375, 239}},
        {520, 468, {0, 38, 520, 40}, {62, 78, 396, 40}, {0, 194, 520, 40}, {0, 234, 520, 40}},
        {300, 200, {0, 38, 300, 40}, {62, 78, 176, 40}, {0, 194, 300, 40}, {0, 234, 300, 40}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        InitialDeviceInfoView view;
        view.setSize(c.w, c.h);
        EXPECT_EQ(view.promptLabel->getBounds(), c.prompt);
        EXPECT_EQ(view.connectButton->getBounds(), c.connect);
        EXPECT_EQ(view.learnMoreButton->getBounds(), c.learnMore);
        EXPECT_EQ(view.helpButton->getBounds(), c.help);
        // Laying out again changes nothing.
        view.resized();
        EXPECT_EQ(view.connectButton->getBounds(), c.connect);
        EXPECT_EQ(view.helpButton->getBounds(), c.help);
    }
}

TEST(InitialDeviceInfoView, RenderedPixels)
{
    InitialDeviceInfoView view;
    view.setSize(375, 280);
    const juce::Image image = render(view);

    // The amber pill with black text, its ends rounded.
    EXPECT_TRUE(pixelIs(image, 62 + 25, 78 + 5, 0xffe4af09));
    EXPECT_TRUE(isTransparent(image, 62, 78));
    EXPECT_TRUE(isTransparent(image, 312, 117));
    EXPECT_GT(countPixels(image, {62, 78, 251, 40}, tintOf(juce::Colours::black, 40)), 30) << "black text";

    // The prompt's light text, centred.
    EXPECT_GT(countPixels(image, {0, 38, 375, 40}, tintOf(colourTextGrey)), 30);
    EXPECT_EQ(countPixels(image, {0, 38, 40, 40}, opaque), 0);

    // Each link: its underline 299 pixels long from x 38 on its last row.
    for (int y : {194 + 39, 234 + 39})
    {
        EXPECT_EQ(countPixels(image, {0, y, 375, 1}, opaque), 299) << y;
        EXPECT_TRUE(pixelIs(image, 38, y, 0x80424242, 1));
        EXPECT_TRUE(pixelIs(image, 336, y, 0x80424242, 1));
        EXPECT_TRUE(isTransparent(image, 337, y));
    }
    EXPECT_GT(countPixels(image, {0, 194, 375, 39}, tintOf(colourTextGrey)), 30);
    EXPECT_GT(countPixels(image, {0, 234, 375, 39}, tintOf(colourTextGrey)), 30);
    // Nothing between the pill and the first link, nor below the second.
    EXPECT_EQ(countPixels(image, {0, 118, 375, 76}, opaque), 0);
    EXPECT_EQ(countPixels(image, {0, 274, 375, 6}, opaque), 0);

    writeSnapshot(render(view, backdrop), "InitialDeviceInfoView.png");

    // Disabled while connecting: the text's alpha is halved.
    view.connectButton->setButtonText("Connecting...");
    view.connectButton->setEnabled(false);
    writeSnapshot(render(view, backdrop), "InitialDeviceInfoView-connecting.png");
}

TEST(ConnectedDeviceInfoView, RowsAsBuilt)
{
    ConnectedDeviceInfoView view;
    ASSERT_EQ(view.rows.size(), 3u);
    const struct
    {
        const char* title;
        const char* value;
        const char* buttonText;
        bool buttonVisible;
        juce::uint32 buttonTextColour;
    } expected[] = {
        {"Device", "Tolvo T1", "Eject", true, 0xffff431d},
        {"Serial", "123-456789-10111-21", "", false, 0xffffffff},
        {"Firmware", "0.41533.3232", "Check to update", true, 0xffffffff},
    };
    for (int i = 0; i < 3; ++i)
    {
        SCOPED_TRACE(i);
        const DeviceInfoEditView& row = *view.rows[static_cast<size_t>(i)];
        EXPECT_EQ(row.getParentComponent(), &view);
        EXPECT_TRUE(row.isVisible());
        EXPECT_EQ(row.titleLabel->getText(), expected[i].title);
        EXPECT_EQ(row.valueLabel->getText(), expected[i].value);
        EXPECT_EQ(row.button->getButtonText(), expected[i].buttonText);
        EXPECT_EQ(row.button->isVisible(), expected[i].buttonVisible);
        EXPECT_EQ(row.button->findColour(juce::TextButton::textColourOffId).getARGB(),
                  expected[i].buttonTextColour);
    }
}

TEST(DeviceInfoEditView, ChildrenAndSetters)
{
    DeviceInfoEditView row("Serial");
    EXPECT_EQ(row.titleLabel->getText(), "Serial");
    EXPECT_EQ(row.titleLabel->findColour(juce::Label::textColourId), colourTitleGrey);
    EXPECT_TRUE(usesFont(row.titleLabel->getFont(), fontBold14));
    EXPECT_EQ(row.valueLabel->findColour(juce::Label::textColourId), colourTextGrey);
    EXPECT_EQ(row.valueLabel->findColour(juce::Label::textWhenEditingColourId), colourTextGrey);
    EXPECT_TRUE(usesFont(row.valueLabel->getFont(), fontRegular16));
    EXPECT_EQ(row.button->findColour(juce::TextButton::buttonColourId), colourButtonGrey);
    EXPECT_EQ(row.button->findColour(juce::TextButton::textColourOffId), colourTextGrey);
    EXPECT_EQ(&row.button->getLookAndFeel(), &row.buttonLookAndFeel);
    EXPECT_TRUE(row.button->getMouseCursor() == juce::MouseCursor::PointingHandCursor);
    for (juce::Component* c : std::initializer_list<juce::Component*>{row.titleLabel.get(),
                                                                      row.valueLabel.get(), row.button.get()})
    {
        EXPECT_TRUE(c->isVisible());
        EXPECT_TRUE(c->getName().isEmpty());
    }
    EXPECT_EQ(row.titleLabel->getHeight(), 19);
    EXPECT_EQ(row.valueLabel->getHeight(), 21);
    EXPECT_EQ(row.button->getHeight(), 28);

    row.setSize(375, 70);
    EXPECT_EQ(row.valueLabel->getHeight(), 25);

    row.setTitle("Firmware");
    row.setValue("1.4.2.0");
    row.setButtonText("Checking...");
    row.setButtonTextColour(juce::Colour(0xffe4af09));
    row.setButtonVisible(false);
    EXPECT_EQ(row.titleLabel->getText(), "Firmware");
    EXPECT_EQ(row.valueLabel->getText(), "1.4.2.0");
    EXPECT_EQ(row.button->getButtonText(), "Checking...");
    EXPECT_EQ(row.button->findColour(juce::TextButton::textColourOffId).getARGB(), 0xffe4af09u);
    EXPECT_FALSE(row.button->isVisible());
}

TEST(ConnectedDeviceInfoView, Bounds)
{
    const struct
    {
        int w, h;
        int lastRowHeight;
    } cases[] = {
        {375, 280, 120}, // in the window's default 375 x 667
        {375, 667, 507},
        {480, 200, 70}, // too short: the last row keeps its 70
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        ConnectedDeviceInfoView view;
        view.setSize(c.w, c.h);
        EXPECT_EQ(view.rows[0]->getBounds(), Rect(0, 20, c.w, 70));
        EXPECT_EQ(view.rows[1]->getBounds(), Rect(0, 90, c.w, 70));
        EXPECT_EQ(view.rows[2]->getBounds(), Rect(0, 160, c.w, c.lastRowHeight));
        for (auto& row : view.rows)
        {
            EXPECT_EQ(row->titleLabel->getBounds(), Rect(21, 0, 185, 19));
            EXPECT_EQ(row->valueLabel->getBounds(), Rect(21, 24, 185, 25));
            EXPECT_EQ(row->button->getBounds(), Rect(c.w - 109, 10, 90, 28));
        }
    }
}

TEST(ConnectedDeviceInfoView, RenderedPixels)
{
    ConnectedDeviceInfoView view;
    view.setSize(375, 280);
    const juce::Image image = render(view);

    for (int i = 0; i < 3; ++i)
    {
        SCOPED_TRACE(i);
        const int top = 20 + 70 * i;
        // The separator: one row at y 63, 333 pixels from x 21.
        EXPECT_EQ(countPixels(image, {0, top + 63, 375, 1}, opaque), 333);
        EXPECT_TRUE(pixelIs(image, 21, top + 63, 0x80424242, 1));
        EXPECT_TRUE(pixelIs(image, 353, top + 63, 0x80424242, 1));
        EXPECT_EQ(countPixels(image, {0, top + 62, 375, 1}, opaque), 0);
        EXPECT_EQ(countPixels(image, {0, top + 64, 375, 6}, opaque), 0);
        // Title and value text.
        EXPECT_GT(countPixels(image, {21, top, 185, 19}, tintOf(colourTitleGrey)), 20);
        EXPECT_GT(countPixels(image, {21, top + 24, 185, 25}, tintOf(colourTextGrey)), 20);
    }
    // Rows 0 and 2 carry a dark pill right, row 1 none.
    EXPECT_TRUE(pixelIs(image, 266 + 12, 20 + 10 + 3, 0xff282828));
    EXPECT_TRUE(pixelIs(image, 266 + 12, 160 + 10 + 3, 0xff282828));
    EXPECT_EQ(countPixels(image, {206, 90, 169, 63}, opaque), 0);
    // "Eject" in orange-red, "Check to update" in white.
    EXPECT_GT(countPixels(image, {266, 30, 90, 28}, tintOf(juce::Colour(0xffff431d), 40)), 10);
    EXPECT_GT(countPixels(image, {266, 170, 90, 28}, tintOf(juce::Colours::white, 40)), 10);

    writeSnapshot(render(view, backdrop), "ConnectedDeviceInfoView.png");

    // Busy, as while updating.
    view.rows[0]->button->setEnabled(false);
    view.rows[2]->button->setEnabled(false);
    view.rows[2]->setButtonTextColour(juce::Colour(0xffe4af09));
    view.rows[2]->setButtonText("Updating...");
    writeSnapshot(render(view, backdrop), "ConnectedDeviceInfoView-updating.png");
}
