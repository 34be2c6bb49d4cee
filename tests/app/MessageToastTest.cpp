// The toast: its look, fade-in on show, and hiding when its timer fires. The
// timer callback is driven directly; only the 200 ms fade-in is waited for.
#include "app/MessageToast.h"
#include "app/StyleConstants.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "RenderTestHelpers.h"
#include "tests/support/PumpUntil.h"

using namespace rendertest;
using testsupport::pumpUntil;

namespace
{

// A toast where the main component puts it, in a parent of the window's size.
struct ToastFixture : ::testing::Test
{
    ToastFixture()
    {
        parent.setSize(375, 667);
        parent.addChildComponent(toast);
        toast.setBounds(32, 496, 311, 64);
    }
    ~ToastFixture() override { juce::Desktop::getInstance().getAnimator().cancelAllAnimations(false); }

    juce::Component parent;
    MessageToast toast;
};

} // namespace

TEST_F(ToastFixture, LabelAndLook)
{
    EXPECT_FALSE(toast.isVisible()) << "hidden until shown";
    EXPECT_FALSE(toast.isTimerRunning());
    ASSERT_NE(toast.label, nullptr);
    EXPECT_EQ(toast.label->getParentComponent(), &toast);
    EXPECT_TRUE(toast.label->isVisible());
    EXPECT_TRUE(toast.label->getName().isEmpty());
    EXPECT_EQ(toast.label->getBounds(), toast.getLocalBounds());
    EXPECT_EQ(toast.label->findColour(juce::Label::textColourId), colourTextGrey);
    EXPECT_EQ(toast.label->getJustificationType(), juce::Justification::centred);
    EXPECT_EQ(toast.label->getFont().getTypefaceStyle(), "Regular");
    EXPECT_EQ(toast.label->getFont().getHeight(), 16.0f);

    toast.setText("Your firmware is up-to-date.");
    EXPECT_EQ(toast.label->getText(), "Your firmware is up-to-date.");

    const juce::Image image = render(toast);
    EXPECT_TRUE(pixelIs(image, 12, 32, 0xff404040));
    EXPECT_TRUE(pixelIs(image, 155, 2, 0xff404040));
    // Corners of radius 8.
    EXPECT_TRUE(isTransparent(image, 0, 0));
    EXPECT_TRUE(isTransparent(image, 310, 63));
    EXPECT_TRUE(pixelIs(image, 4, 4, 0xff404040));
    EXPECT_TRUE(pixelIs(image, 0, 32, 0xff404040));
    // Centred light text, none near the ends.
    EXPECT_GT(countPixels(image, {60, 16, 191, 32}, tintOf(colourTextGrey)), 40);
    EXPECT_EQ(countPixels(image, {0, 8, 40, 48}, [](juce::Colour c) { return c.getARGB() != 0xff404040u; }),
              0);

    writeSnapshot(render(toast, juce::Colour(0xff171717)), "MessageToast.png");
    toast.setText("Firmware updating failed!");
    writeSnapshot(render(toast, juce::Colour(0xff171717)), "MessageToast-failed.png");
}

TEST_F(ToastFixture, ShowFadesInAndTimerHides)
{
    toast.setText("Your firmware is up-to-date.");
    toast.show();
    EXPECT_TRUE(toast.isVisible());
    EXPECT_EQ(toast.getAlpha(), 0.0f) << "the fade-in starts from transparent";
    EXPECT_TRUE(toast.isTimerRunning());
    EXPECT_EQ(toast.getTimerInterval(), 4000);
    EXPECT_TRUE(juce::Desktop::getInstance().getAnimator().isAnimating(&toast));

    EXPECT_TRUE(pumpUntil([this] { return toast.getAlpha() == 1.0f; }, 2000))
        << "fully shown after the fade-in";
    EXPECT_TRUE(toast.isVisible());

    toast.timerCallback();
    EXPECT_FALSE(toast.isVisible());
    EXPECT_FALSE(toast.isTimerRunning()) << "fires once per show";
}

TEST_F(ToastFixture, ShowWhileFullyShownRestartsTheHoldWithoutANewFade)
{
    toast.show();
    ASSERT_TRUE(pumpUntil([this] { return toast.getAlpha() == 1.0f; }, 2000));

    toast.stopTimer(); // as if part of the 4000 ms had passed
    toast.show();
    EXPECT_EQ(toast.getAlpha(), 1.0f);
    EXPECT_FALSE(juce::Desktop::getInstance().getAnimator().isAnimating(&toast));
    EXPECT_TRUE(toast.isTimerRunning());
    EXPECT_EQ(toast.getTimerInterval(), 4000);

    toast.timerCallback();
    EXPECT_FALSE(toast.isVisible());
    EXPECT_FALSE(toast.isTimerRunning());
}

TEST_F(ToastFixture, ShowDuringTheFadeInStartsItAgain)
{
    auto& animator = juce::Desktop::getInstance().getAnimator();
    toast.show();
    ASSERT_TRUE(animator.isAnimating(&toast));
    // Half faded in, as the animator leaves it between two of its steps.
    toast.setAlpha(0.5f);
    toast.stopTimer(); // as if part of the 4000 ms had passed

    toast.show();
    EXPECT_EQ(toast.getAlpha(), 0.0f) << "the fade-in starts again from transparent";
    EXPECT_TRUE(toast.isVisible());
    EXPECT_TRUE(animator.isAnimating(&toast));
    EXPECT_TRUE(toast.isTimerRunning());
    EXPECT_EQ(toast.getTimerInterval(), 4000);
    EXPECT_TRUE(pumpUntil([this] { return toast.getAlpha() == 1.0f; }, 2000));
}

TEST_F(ToastFixture, TimerWhileNotShowingOnlyHides)
{
    parent.setVisible(false);
    toast.show();
    ASSERT_TRUE(pumpUntil([this] { return toast.getAlpha() == 1.0f; }, 2000));
    ASSERT_FALSE(toast.isShowing());
    const int children = parent.getNumChildComponents();

    toast.timerCallback();
    EXPECT_FALSE(toast.isVisible());
    EXPECT_FALSE(toast.isTimerRunning());
    EXPECT_EQ(parent.getNumChildComponents(), children) << "no fading proxy was added";
    EXPECT_FALSE(juce::Desktop::getInstance().getAnimator().isAnimating());
}

TEST_F(ToastFixture, TimerAfterHiddenByItsOwnerStillStops)
{
    toast.show();
    toast.setVisible(false);
    toast.timerCallback();
    EXPECT_FALSE(toast.isVisible());
    EXPECT_FALSE(toast.isTimerRunning());
}
