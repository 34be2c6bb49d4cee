// The main window on a display (run under xvfb-run): its size, title and
// layout, the first poll connecting to an emulated amplifier, a clean close,
// and PNG screenshots of both views in this build folder.
#include "AppTestRig.h"

#include "app/ConnectedDeviceInfoView.h"
#include "app/InitialDeviceInfoView.h"
#include "app/MainComponent.h"
#include "app/MainWindow.h"
#include "app/MessageToast.h"

#include <gtest/gtest.h>

using namespace apptest;

namespace
{

void saveScreenshot(juce::Component& component, const char* name)
{
    const juce::Image image = component.createComponentSnapshot(component.getLocalBounds());
    const juce::File file = juce::File(TOLVO_SCREENSHOT_DIR).getChildFile(name);
    file.deleteFile();
    juce::FileOutputStream out(file);
    ASSERT_TRUE(out.openedOk());
    ASSERT_TRUE(juce::PNGImageFormat().writeImageToStream(image, out));
}

juce::JUCEApplicationBase* noApplication()
{
    return nullptr;
}

TEST(MainWindowTest, OpensConnectsOnTheFirstPollAndClosesCleanly)
{
    // Makes JUCE's X11 layer set itself up as it does in the program (threads
    // and error handlers); a bare Xvfb lacks the window manager's atoms.
    juce::JUCEApplicationBase::createInstance = &noApplication;

    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
        GTEST_SKIP() << "no display; run under xvfb-run";

    Rig rig;
    auto amp = rig.addAmplifier(false);
    auto window = std::make_unique<OstrelFwUpgradeLauncherApplication::MainWindow>("Tolvo Firmware Updater");
    MainComponent* component = window->getMainComponent();
    ASSERT_NE(component, nullptr);

    EXPECT_EQ(window->getName(), "Tolvo Firmware Updater");
    EXPECT_TRUE(window->isUsingNativeTitleBar());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(component->getWidth(), 375);
    EXPECT_EQ(component->getHeight(), 667);
    EXPECT_EQ(component->getInitialView().getBounds(), juce::Rectangle<int>(0, 200, 375, 280));
    EXPECT_EQ(component->getToast().getBounds(), juce::Rectangle<int>(32, 496, 311, 64));
    const auto area = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
    EXPECT_LE(std::abs(window->getBounds().getCentreX() - area.getCentreX()), 1);

    rig.waitForPolls(2);
    saveScreenshot(*component, "main_window_initial.png");

    amp->plug();
    ASSERT_TRUE(pumpUntil([&] { return component->getConnectedView().isVisible(); }));
    EXPECT_EQ(component->getConnectedView().getBounds(), juce::Rectangle<int>(0, 200, 375, 280));
    component->getToast().setText("Your firmware is up-to-date.");
    component->getToast().show();
    ASSERT_TRUE(pumpUntil(
        [&] { return component->getToast().isShowing() && component->getToast().getAlpha() == 1.0f; }));
    saveScreenshot(*component, "main_window_connected.png");

    window->setSize(500, 600);
    runPostedMessages();
    EXPECT_EQ(component->getConnectedView().getWidth(), component->getWidth());
    EXPECT_EQ(component->getToast().getX(), 32);
    EXPECT_EQ(component->getToast().getWidth(), component->getWidth() - 64);

    window->closeButtonPressed();
    EXPECT_TRUE(component->isClosed());
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
    window.reset();
    runPostedMessages();
    EXPECT_EQ(amp->getOpenInputCount(), 0);
}

} // namespace
