// The road JUCE takes on SIGINT: the quit message ends the loop and the
// window goes straight away, in the middle of a flash. The component waits
// for the update task, which finishes the flash, then disconnects. Alone in
// its own executable, since the message loop cannot be used after the quit.
#include "AppTestRig.h"

#include "app/AppState.h"
#include "app/MainComponent.h"

#include <gtest/gtest.h>

using namespace apptest;

TEST(ShutdownDuringFlashTest, QuitDuringAFlashWaitsForTheFlashThenDisconnects)
{
    Rig rig;
    auto amp = rig.addAmplifier();
    AppSettings settings;
    settings.reopenWaitMs = reopenWaitMs;
    auto component = std::make_unique<MainComponent>(settings);

    component->getConnectButton().triggerClick();
    ASSERT_TRUE(pumpUntil(
        [&]
        {
            return component->getCheckButton().isEnabled() &&
                   dynamic_cast<ConnectedAppState*>(component->getState()) != nullptr;
        }));
    component->getCheckButton().triggerClick();
    ASSERT_TRUE(pumpUntil([&] { return amp->getBootloader().getBlockRequests() > 0; }));

    juce::MessageManager::getInstance()->stopDispatchLoop();
    juce::MessageManager::getInstance()->runDispatchLoopUntil(50);
    component.reset();

    EXPECT_EQ(amp->getBootloader().getBlockRequests(), (embeddedImageSize() + 255) / 256);
    EXPECT_EQ(amp->getBootloader().getStatusWrites(), (std::vector<int>{0, 1}));
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
    EXPECT_EQ(amp->getOpenInputCount(), 0);
}
