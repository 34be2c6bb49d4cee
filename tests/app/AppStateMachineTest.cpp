// The window's state machine on the full stack: emulated amplifiers, the
// device manager singleton, the real message loop, shortened waits.
#include "AppTestRig.h"
#include "SignalTestSupport.h"
#include "StdoutCapture.h"

#include "app/AppState.h"
#include "app/ConnectedDeviceInfoView.h"
#include "app/InitialDeviceInfoView.h"
#include "app/MainComponent.h"
#include "app/MessageToast.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <future>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace apptest;

namespace
{

AppSettings testSettings()
{
    AppSettings settings;
    settings.reopenWaitMs = reopenWaitMs;
    settings.readTimeoutMs = 400;
    return settings;
}

template <typename T> bool isState(const MainComponent& component)
{
    return dynamic_cast<T*>(component.getState()) != nullptr;
}

class AppStateMachineTest : public testing::Test
{
protected:
    void SetUp() override { component = std::make_unique<MainComponent>(testSettings()); }

    void TearDown() override { component.reset(); }

    // The device view shows what the read got, with both buttons enabled.
    bool showsDeviceInfo()
    {
        return isState<ConnectedAppState>(*component) && component->getConnectedView().isVisible() &&
               component->getCheckButton().isEnabled() && component->getEjectButton().isEnabled() &&
               component->getCheckButton().getButtonText() == "Check to update";
    }

    void connectByClick()
    {
        component->getConnectButton().triggerClick();
        ASSERT_TRUE(pumpUntil([this] { return showsDeviceInfo(); }));
    }

    juce::String rowValue(int row) { return component->getRow(row).valueLabel->getText(); }

    juce::String toastText() { return component->getToast().label->getText(); }

    Rig rig;
    std::unique_ptr<MainComponent> component;
};

TEST_F(AppStateMachineTest, NoAmplifierStaysInitial)
{
    rig.waitForPolls(3);
    EXPECT_TRUE(isState<InitialAppState>(*component));
    EXPECT_TRUE(component->getInitialView().isVisible());
    EXPECT_FALSE(component->getConnectedView().isVisible());
    EXPECT_EQ(component->getConnectButton().getButtonText(), "Connect Hardware");
    EXPECT_TRUE(component->getConnectButton().isEnabled());
}

TEST_F(AppStateMachineTest, ScanWithoutAmplifierReturnsToInitial)
{
    // Its ports match, but it never answers the probe.
    auto amp = rig.addAmplifier();
    emu::AmplifierFaults faults;
    faults.silent = true;
    amp->setFaults(faults);
    component->getConnectButton().triggerClick();
    ASSERT_TRUE(pumpUntil([this] { return isState<ConnectingAppState>(*component); }));
    ASSERT_TRUE(pumpUntil([this] { return isState<InitialAppState>(*component); }));
    ASSERT_TRUE(pumpUntil([this] { return component->getConnectButton().isEnabled(); }));
    EXPECT_EQ(component->getConnectButton().getButtonText(), "Connect Hardware");
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
}

TEST_F(AppStateMachineTest, PluggingInAnAmplifierConnectsByItself)
{
    auto amp = rig.addAmplifier(false);
    rig.waitForPolls(2);
    EXPECT_TRUE(isState<InitialAppState>(*component));

    amp->plug();
    ASSERT_TRUE(pumpUntil([this] { return showsDeviceInfo(); }));
    EXPECT_FALSE(component->getInitialView().isVisible());
    EXPECT_EQ(rowValue(1), juce::String(amp->getInputName().replace("Tolvo K7 ", "K7AP-")));
    EXPECT_EQ(rowValue(2), "1.0.0.1");
    EXPECT_EQ(component->getRow(2).button->findColour(juce::TextButton::textColourOffId),
              juce::Colour(0xffffffff));
    EXPECT_NE(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
}

// Counts the clicks a button delivers.
struct ClickCounter : juce::Button::Listener
{
    void buttonClicked(juce::Button*) override { ++count; }
    int count = 0;
};

// An amplifier already there at start: the first poll finds it, and the click
// it posts on the enabled connect button connects without a user action.
TEST_F(AppStateMachineTest, AmplifierThereAtStartConnectsByItself)
{
    component.reset();
    auto amp = rig.addAmplifier();
    component = std::make_unique<MainComponent>(testSettings());
    ClickCounter clicks;
    component->getConnectButton().addListener(&clicks);

    bool connecting = false;
    EXPECT_TRUE(pumpUntil(
        [&]
        {
            connecting = connecting || isState<ConnectingAppState>(*component);
            return showsDeviceInfo();
        }));
    component->getConnectButton().removeListener(&clicks);
    EXPECT_TRUE(connecting);
    EXPECT_EQ(clicks.count, 1);
    EXPECT_EQ(Rig::probeCount(*amp), 2) << "the poll's discovery and the connect's scan";
    EXPECT_EQ(rowValue(1), juce::String(amp->getInputName().replace("Tolvo K7 ", "K7AP-")));
    EXPECT_EQ(rowValue(2), "1.0.0.1");
    EXPECT_EQ(amp->getOpenInputCount(), 1);
}

TEST_F(AppStateMachineTest, CheckToUpdateFlashesTheEmbeddedImageAndReadsTheNewVersion)
{
    auto amp = rig.addAmplifier();
    connectByClick();

    component->buttonClicked(&component->getCheckButton());
    ASSERT_TRUE(isState<FirmwareCheckingAppState>(*component));
    component->handleAsyncUpdate();
    EXPECT_EQ(component->getCheckButton().getButtonText(), "Checking...");
    EXPECT_FALSE(component->getCheckButton().isEnabled());
    EXPECT_FALSE(component->getEjectButton().isEnabled());
    EXPECT_EQ(component->getRow(2).button->findColour(juce::TextButton::textColourOffId),
              juce::Colour(0xffe4af09));

    ASSERT_TRUE(pumpUntil([this] { return component->getCheckButton().getButtonText() == "Updating..."; }));
    EXPECT_FALSE(component->getCheckButton().isEnabled());
    EXPECT_FALSE(component->getEjectButton().isEnabled());

    ASSERT_TRUE(pumpUntil([this] { return component->getToast().isVisible(); }, 30000));
    EXPECT_EQ(toastText(), "Your firmware is up-to-date.");
    ASSERT_TRUE(pumpUntil([this] { return showsDeviceInfo(); }));
    EXPECT_EQ(rowValue(2), embeddedVersion());

    const auto flash = amp->getBootloader().getFlash();
    ASSERT_GE(flash.size(), size_t(embeddedImageSize()));
    EXPECT_TRUE(std::equal(embeddedImage(), embeddedImage() + embeddedImageSize(), flash.begin()));
    EXPECT_EQ(amp->getBootloader().getStatusWrites(), (std::vector<int>{0, 1}));
}

TEST_F(AppStateMachineTest, BlockFailingTwiceShowsFailureAndReturnsToTheDeviceView)
{
    auto amp = rig.addAmplifier();
    emu::BootloaderFaults faults;
    faults.refuseBlock = 3;
    faults.refuseCount = 2;
    amp->getBootloader().setFaults(faults);
    connectByClick();

    component->getCheckButton().triggerClick();
    ASSERT_TRUE(pumpUntil([this] { return component->getToast().isVisible(); }, 30000));
    EXPECT_EQ(toastText(), "Firmware updating failed!");
    ASSERT_TRUE(pumpUntil([this] { return showsDeviceInfo(); }));
    EXPECT_EQ(amp->getBootloader().getBlockRequests(), 3 + 2);
    EXPECT_EQ(amp->getBootloader().getStatusWrites(), (std::vector<int>{0}));
}

// The device-information read after an update holds the message thread; the
// toast must still be seen at full alpha for its hold once the read is over.
// Silent commands 17 and 35 make the read outlast the hold.
TEST_F(AppStateMachineTest, ToastAfterAFailedUpdateIsSeenAtFullAlphaAfterTheRead)
{
    AppSettings settings = testSettings();
    settings.readTimeoutMs = MessageToast::holdMs / 2 + 500;
    component.reset();
    component = std::make_unique<MainComponent>(settings);
    auto amp = rig.addAmplifier();
    connectByClick();

    emu::CommandFaults silent;
    silent.silent = true;
    amp->setCommandFaults(silent);
    emu::BootloaderFaults faults;
    faults.refuseBlock = 3;
    faults.refuseCount = 2;
    amp->getBootloader().setFaults(faults);
    component->getCheckButton().triggerClick();
    ASSERT_TRUE(pumpUntil([this] { return isState<FirmwareUpdatingAppState>(*component); }));

    // The rows are shown when the read is over.
    ASSERT_TRUE(pumpUntil([this] { return showsDeviceInfo(); }, 30000));
    using Clock = std::chrono::steady_clock;
    const auto readEnd = Clock::now();
    const MessageToast& toast = component->getToast();
    struct Sample
    {
        double ms; // after the read's end
        bool full;
    };
    std::vector<Sample> samples;
    const bool hidden = pumpUntil(
        [&]
        {
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - readEnd).count();
            samples.push_back({ms, toast.isVisible() && toast.getAlpha() == 1.0f});
            return !toast.isVisible();
        },
        MessageToast::holdMs + 10000);
    ASSERT_TRUE(hidden) << "the hold never ended";
    EXPECT_EQ(toastText(), "Firmware updating failed!");
    EXPECT_EQ(amp->getBootloader().getStatusWrites(), (std::vector<int>{0}));

    const auto firstFull =
        std::find_if(samples.begin(), samples.end(), [](const Sample& s) { return s.full; });
    ASSERT_TRUE(firstFull != samples.end()) << "never at full alpha in " << samples.size() << " samples";
    const auto pastFull = std::find_if(firstFull, samples.end(), [](const Sample& s) { return !s.full; });
    EXPECT_TRUE(std::none_of(pastFull, samples.end(), [](const Sample& s) { return s.full; }))
        << "full alpha in one stretch";
    // The fade-in runs after the read, and the hold counts from then. JUCE's
    // timer thread may fire a timer started just after a long stall a few
    // hundred milliseconds early; the margin covers that and the sampling.
    EXPECT_GE(firstFull->ms, MessageToast::fadeInMs - 50);
    EXPECT_GE(std::prev(pastFull)->ms, MessageToast::holdMs - 1000);
}

// Only an amplifier that comes back from its restart shows that the update
// took: one that stays away fails it, although every block was written.
TEST_F(AppStateMachineTest, AmplifierNotBackAfterTheFlashShowsFailure)
{
    auto amp = rig.addAmplifier();
    emu::BootloaderFaults faults;
    faults.stayAwayAfterStatus = 1;
    amp->getBootloader().setFaults(faults);
    connectByClick();

    component->getCheckButton().triggerClick();
    ASSERT_TRUE(pumpUntil([this] { return component->getToast().isVisible(); }, 30000));
    EXPECT_EQ(toastText(), "Firmware updating failed!");
    const auto flash = amp->getBootloader().getFlash();
    ASSERT_GE(flash.size(), size_t(embeddedImageSize()));
    EXPECT_TRUE(std::equal(embeddedImage(), embeddedImage() + embeddedImageSize(), flash.begin()));
    EXPECT_EQ(amp->getBootloader().getStatusWrites(), (std::vector<int>{0, 1}));
}

// Amplifiers of one name cannot be told apart when one comes back from its
// restart, so with two connected neither is flashed.
TEST_F(AppStateMachineTest, TwoAmplifiersAreNotFlashed)
{
    auto first = rig.addAmplifier();
    auto second = rig.addAmplifier();
    connectByClick();

    component->getCheckButton().triggerClick();
    ASSERT_TRUE(pumpUntil([this] { return component->getToast().isVisible(); }, 30000));
    EXPECT_EQ(toastText(), "Firmware updating failed!");
    ASSERT_TRUE(pumpUntil([this] { return showsDeviceInfo(); }));
    for (const auto& amp : {first, second})
    {
        EXPECT_EQ(amp->getBootloader().getBlockRequests(), 0);
        EXPECT_TRUE(amp->getBootloader().getStatusWrites().empty());
    }
}

TEST_F(AppStateMachineTest, EjectReturnsToInitialAndClosesTheDevice)
{
    auto amp = rig.addAmplifier();
    connectByClick();
    ASSERT_EQ(amp->getOpenInputCount(), 1);

    component->getEjectButton().triggerClick();
    ASSERT_TRUE(pumpUntil(
        [this] { return isState<InitialAppState>(*component) && component->getInitialView().isVisible(); }));
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
    EXPECT_EQ(amp->getOpenInputCount(), 0);
    EXPECT_TRUE(component->getConnectButton().isEnabled());
}

TEST_F(AppStateMachineTest, DeviceChangeWhileConnectedReturnsToInitialWithoutReconnecting)
{
    auto first = rig.addAmplifier();
    connectByClick();

    rig.addAmplifier();
    ASSERT_TRUE(pumpUntil([this] { return isState<InitialAppState>(*component); }));
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
    rig.waitForPolls(3);
    runPostedMessages();
    EXPECT_TRUE(isState<InitialAppState>(*component));
    EXPECT_EQ(first->getOpenInputCount(), 0);
}

TEST_F(AppStateMachineTest, DoubleConnectScansOnce)
{
    auto amp = rig.addAmplifier();
    // The click a device change posts, and the user's own before the button
    // is disabled.
    component->getConnectButton().triggerClick();
    component->getConnectButton().triggerClick();
    ASSERT_TRUE(pumpUntil([this] { return showsDeviceInfo(); }));
    rig.waitForPolls(2);
    runPostedMessages();
    EXPECT_TRUE(isState<ConnectedAppState>(*component));
    EXPECT_EQ(Rig::probeCount(*amp), 1);
}

TEST_F(AppStateMachineTest, DeviceChangeWhileCheckingCancelsTheUpdate)
{
    auto amp = rig.addAmplifier();
    connectByClick();

    component->buttonClicked(&component->getCheckButton());
    component->devicesChanged(mv::DeviceManager::getInstance());
    ASSERT_TRUE(isState<InitialAppState>(*component));
    // The check task has returned (its state is gone); its closure is posted.
    runPostedMessages();
    EXPECT_TRUE(isState<InitialAppState>(*component));
    EXPECT_EQ(amp->getBootloader().getStatusWrites(), std::vector<int>{});
    EXPECT_EQ(amp->getBootloader().getBlockRequests(), 0);
}

TEST_F(AppStateMachineTest, ClicksThatDoNotFitTheStateAreIgnored)
{
    auto amp = rig.addAmplifier();
    // Eject and check in the initial state.
    component->buttonClicked(&component->getEjectButton());
    component->buttonClicked(&component->getCheckButton());
    EXPECT_TRUE(isState<InitialAppState>(*component));

    connectByClick();
    // Connect while connected.
    component->buttonClicked(&component->getConnectButton());
    EXPECT_TRUE(isState<ConnectedAppState>(*component));

    // A device change without an open device: only the initial state connects.
    auto* manager = mv::DeviceManager::getInstance();
    manager->disconnect();
    component->devicesChanged(manager);
    EXPECT_TRUE(isState<ConnectedAppState>(*component));
    runPostedMessages();
    EXPECT_TRUE(isState<ConnectedAppState>(*component));
    EXPECT_EQ(Rig::probeCount(*amp), 1);
}

// The close waits for the update, whose outcome, with no toast left to show
// it, is printed as the command line prints it.
TEST_F(AppStateMachineTest, CloseDuringAFlashFinishesTheFlashThenQuits)
{
    struct Case
    {
        const char* name;
        int refusedBlock; // refused twice; -1: none
        std::vector<std::string> lastLines;
        std::vector<int> statusWrites;
    };
    const Case cases[] = {
        {"written", -1, {"Firmware upgraded!"}, {0, 1}},
        {"a block refused twice",
         5,
         {"Firmware upgrade failed! Error code is 16",
          "The amplifier is in its bootloader; running the updater again finishes the update"},
         {0}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        component = std::make_unique<MainComponent>(testSettings());
        auto amp = rig.addAmplifier();
        emu::BootloaderFaults faults;
        faults.refuseBlock = c.refusedBlock;
        faults.refuseCount = 2;
        amp->getBootloader().setFaults(faults);
        connectByClick();
        component->getCheckButton().triggerClick();
        // The update has begun; its reopen wait comes before any block.
        ASSERT_TRUE(pumpUntil([&] { return isState<FirmwareUpdatingAppState>(*component); }));

        StdoutCapture capture;
        bool quit = false;
        component->requestClose([&] { quit = true; });
        EXPECT_TRUE(component->isClosePending());
        EXPECT_FALSE(quit);
        EXPECT_NE(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);

        ASSERT_TRUE(pumpUntil([&] { return quit; }, 30000));
        const auto output = capture.finish();
        ASSERT_GE(output.size(), c.lastLines.size());
        EXPECT_EQ(std::vector<std::string>(output.end() - long(c.lastLines.size()), output.end()),
                  c.lastLines);
        EXPECT_TRUE(component->isClosed());
        EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
        EXPECT_EQ(amp->getBootloader().getStatusWrites(), c.statusWrites);
        if (c.refusedBlock < 0)
        {
            const auto flash = amp->getBootloader().getFlash();
            EXPECT_TRUE(std::equal(embeddedImage(), embeddedImage() + embeddedImageSize(), flash.begin()));
        }
        // The update's result closure closed; no toast, no new read, no poll.
        EXPECT_FALSE(component->getToast().isVisible());
        runPostedMessages();
        EXPECT_FALSE(mv::DeviceManager::getInstance()->isPolling());
        EXPECT_EQ(amp->getOpenInputCount(), 0);
        component.reset();
        rig.emulated->removeAmplifier(amp);
    }
}

// SIGINT or SIGTERM during the window's update stops it at its next safe
// point, as in the command line: the line naming the step and where the
// amplifier is left, then the program ends with exit code 1.
TEST_F(AppStateMachineTest, SignalDuringAnUpdateStopsItAtASafePointAndEndsWithOneLine)
{
    enum class At
    {
        Block,        // as the block's "WriteFlash" arrives
        ReopenBefore, // once the ports are closed after "SetFwStatus" 0
        ReopenAfter,  // once the ports are closed after "SetFwStatus" 1
    };
    struct Case
    {
        const char* name;
        int signal;
        At at;
        int block;
        std::string lastLine;
        std::vector<int> statusWrites;
        int blocks; // "WriteFlash" requests, each answered 1
    };
    const std::string inBootloader =
        ": the amplifier is in its bootloader; running the updater again finishes the update";
    const Case cases[] = {
        {"SIGINT in the reopen wait before the flash",
         SIGINT,
         At::ReopenBefore,
         0,
         "Update interrupted while waiting for the amplifier to restart" + inBootloader,
         {0},
         0},
        {"SIGTERM during block 3",
         SIGTERM,
         At::Block,
         2,
         "Update interrupted after writing block 3 of 2769" + inBootloader,
         {0},
         3},
        {"SIGINT in the reopen wait after the flash",
         SIGINT,
         At::ReopenAfter,
         0,
         "Update interrupted after the last block while waiting for the amplifier to come back: every block "
         "was written and the amplifier was told to start the new firmware",
         {0, 1},
         2769},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CountedSignals counted;
        component = std::make_unique<MainComponent>(testSettings());
        int exitCode = -1;
        component->setExitHandler([&](int code) { exitCode = code; });
        auto amp = rig.addAmplifier<RaisingAmplifier>(false);
        amp->signal = c.signal;
        if (c.at == At::Block)
        {
            auto seen = std::make_shared<int>(0); // the amplifier's thread only
            amp->raiseOn = [seen, block = c.block](const std::vector<uint8_t>& m)
            { return hasKeyword(m, "WriteFlash") && (*seen)++ == block; };
        }
        amp->plug();
        connectByClick();

        std::thread watcher;
        if (c.at != At::Block)
        {
            const size_t writes = c.at == At::ReopenBefore ? 1 : 2;
            watcher = std::thread(
                [amp, writes, signal = c.signal]
                {
                    if (testsupport::waitUntil(
                            [&] {
                                return amp->getBootloader().getStatusWrites().size() == writes &&
                                       amp->getOpenInputCount() == 0;
                            },
                            30000))
                        std::raise(signal);
                });
        }
        StdoutCapture capture;
        component->getCheckButton().triggerClick();
        const bool ended = pumpUntil([&] { return exitCode != -1; }, 30000);
        const auto output = capture.finish();
        if (watcher.joinable())
            watcher.join();
        ASSERT_TRUE(ended);

        EXPECT_EQ(exitCode, 1);
        ASSERT_FALSE(output.empty());
        EXPECT_EQ(output.back(), c.lastLine);
        const auto ends = std::count_if(output.begin(), output.end(),
                                        [](const std::string& line) {
                                            return line.rfind("Firmware upgrade", 0) == 0 ||
                                                   line.rfind("Update interrupted", 0) == 0;
                                        });
        EXPECT_EQ(ends, 1) << "one line ends the update";
        EXPECT_EQ(uncaughtSignals.exchange(0), 0) << "the update handles the signal while it runs";
        EXPECT_TRUE(component->isClosed());
        EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
        amp->settle();
        EXPECT_EQ(amp->getBootloader().getStatusWrites(), c.statusWrites);
        EXPECT_EQ(amp->getBootloader().getBlockRequests(), c.blocks)
            << "the block in flight finished, no block after it";
        EXPECT_EQ(amp->getBootloader().getRefusedBlocks(), 0);
        component.reset();
        EXPECT_TRUE(CountedSignals::inPlace()) << "the handlers from before the update are back";
        rig.emulated->removeAmplifier(amp);
    }
}

TEST_F(AppStateMachineTest, CloseWhileConnectingQuitsWhenTheScanEnds)
{
    auto amp = rig.addAmplifier();
    component->getConnectButton().triggerClick();
    ASSERT_TRUE(pumpUntil([this] { return isState<ConnectingAppState>(*component); }));

    bool quit = false;
    component->requestClose([&] { quit = true; });
    ASSERT_TRUE(pumpUntil([&] { return quit; }));
    runPostedMessages();
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
    EXPECT_TRUE(isState<ConnectingAppState>(*component));
    EXPECT_EQ(amp->getOpenInputCount(), 0);
}

TEST_F(AppStateMachineTest, CloseWhileIdleQuitsAtOnce)
{
    rig.addAmplifier();
    connectByClick();
    bool quit = false;
    component->requestClose([&] { quit = true; });
    EXPECT_TRUE(quit);
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
    // Neither a device change nor a click does anything afterwards.
    component->devicesChanged(mv::DeviceManager::getInstance());
    component->buttonClicked(&component->getCheckButton());
    EXPECT_TRUE(isState<ConnectedAppState>(*component));
}

TEST_F(AppStateMachineTest, DestroyingTheComponentDuringAScanDoesNotDeadlock)
{
    auto amp = rig.addAmplifier();
    component->getConnectButton().triggerClick();
    ASSERT_TRUE(pumpUntil([this] { return isState<ConnectingAppState>(*component); }));
    component.reset();
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
    runPostedMessages();
    EXPECT_EQ(amp->getOpenInputCount(), 0);
}

TEST_F(AppStateMachineTest, CommandTimeoutsLeaveTheProgramRunning)
{
    auto amp = rig.addAmplifier();
    emu::CommandFaults faults;
    faults.silent = true;
    amp->setCommandFaults(faults);
    connectByClick();
    EXPECT_EQ(rowValue(1), "");
    EXPECT_EQ(rowValue(2), "1.0.0.1");

    // The poll runs again: a device change still returns to initial.
    rig.addAmplifier();
    ASSERT_TRUE(pumpUntil([this] { return isState<InitialAppState>(*component); }));
}

TEST_F(AppStateMachineTest, UnreadInformationShowsEmptyTexts)
{
    auto amp = rig.addAmplifier();
    emu::CommandFaults commandFaults;
    commandFaults.badChecksum = true;
    amp->setCommandFaults(commandFaults);
    emu::BootloaderFaults faults;
    faults.infoDelayMs = 2000;
    amp->getBootloader().setFaults(faults);
    connectByClick();
    EXPECT_EQ(rowValue(1), "");
    EXPECT_EQ(rowValue(2), "");
}

TEST_F(AppStateMachineTest, DeviceTextsAreSanitised)
{
    auto amp = rig.addAmplifier();
    amp->setSerialNumber("SN\x1b[31m\xff" + std::string(1, '\0'));
    connectByClick();
    EXPECT_EQ(rowValue(1), juce::String::fromUTF8("SN\xEF\xBF\xBD[31m\xEF\xBF\xBD"));
}

TEST_F(AppStateMachineTest, FailedConnectStillShowsTheDeviceViewWithFailingReads)
{
    rig.addAmplifier();
    rig.layer->failInputOpensFrom = 2; // the discovery's two opens pass
    connectByClick();
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
    EXPECT_EQ(rowValue(1), "");
    EXPECT_EQ(rowValue(2), "");

    component->getCheckButton().triggerClick();
    ASSERT_TRUE(pumpUntil([this] { return component->getToast().isVisible(); }));
    EXPECT_EQ(toastText(), "Firmware updating failed!");

    // No reconnection on a device change while no device is open; eject works.
    rig.layer->failInputOpensFrom = -1;
    rig.addAmplifier();
    rig.waitForADiscovery();
    runPostedMessages();
    EXPECT_TRUE(isState<ConnectedAppState>(*component));
    component->getEjectButton().triggerClick();
    ASSERT_TRUE(pumpUntil([this] { return isState<InitialAppState>(*component); }));
}

TEST_F(AppStateMachineTest, FailedReopenBeforeTheFlashFailsAndReadsOnClosedPortsFail)
{
    auto amp = rig.addAmplifier();
    connectByClick();
    // The discovery's two opens and the connect's passed; the reopen fails.
    rig.layer->failInputOpensFrom = rig.layer->inputOpens.load();
    component->getCheckButton().triggerClick();
    ASSERT_TRUE(pumpUntil([this] { return component->getToast().isVisible(); }));
    EXPECT_EQ(toastText(), "Firmware updating failed!");
    ASSERT_TRUE(pumpUntil([this] { return showsDeviceInfo(); }));
    EXPECT_EQ(rowValue(1), "");
    EXPECT_EQ(rowValue(2), "");
    EXPECT_EQ(amp->getBootloader().getBlockRequests(), 0);
}

TEST_F(AppStateMachineTest, WebLinksOpenThroughTheSeamWithoutChangingState)
{
    // No poll tick has run yet (the loop has not been served); none may, as
    // the manager still lists the earlier test's amplifier and would scan.
    mv::DeviceManager::getInstance()->stopTimer();
    std::vector<juce::String> opened;
    component->setUrlOpener([&](const juce::URL& url) { opened.push_back(url.toString(false)); });
    component->getInitialView().learnMoreButton->triggerClick();
    component->getInitialView().helpButton->triggerClick();
    runPostedMessages();
    EXPECT_EQ(opened, (std::vector<juce::String>{"https://tolvo.example/",
                                                 "https://support.tolvo.example/hc/en-us/requests/new"}));
    EXPECT_TRUE(isState<InitialAppState>(*component));
}

TEST_F(AppStateMachineTest, UiQueueRunsInOrderUnlockedAndSkipsEmptyClosures)
{
    runPostedMessages();
    std::vector<int> order;
    component->queueUiClosure([&] { order.push_back(1); });
    component->queueUiClosure({});
    component->queueUiClosure(
        [&]
        {
            order.push_back(2);
            // Queuing from inside a closure must not deadlock.
            component->queueUiClosure([&] { order.push_back(3); });
            component->triggerAsyncUpdate();
        });
    component->handleAsyncUpdate();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_TRUE(pumpUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

// The states' steps alone, called directly on the component. Where a test
// stops the poll, nothing but the step changes the state.

// A state whose enter does nothing; a busy one holds a close back until its
// result closure runs.
struct IdleState : AppState
{
    void enter(MainComponent*) override {}
};
struct BusyState : TaskAppState
{
    void enter(MainComponent*) override {}
};

using StepCalls = std::vector<std::pair<MainComponent*, int>>;
StepCalls stepCalls;
void recordStep(MainComponent* component, int value)
{
    stepCalls.emplace_back(component, value);
}

enum class Between
{
    Nothing,
    StateReplaced,
    CloseRequested,
    ComponentGone,
};

struct GuardCase
{
    const char* name;
    bool busy;       // the state the step is bound in
    Between between; // what happens between binding and calling
    bool runs;
    int quitsBeforeCall;
    int quitsAfterCall;
};

TEST_F(AppStateMachineTest, BoundStepRunsOnlyWhileItsStateIsCurrentAndCarriesOutAPendingClose)
{
    const GuardCase cases[] = {
        {"Current", true, Between::Nothing, true, 0, 0},
        {"StateReplaced", true, Between::StateReplaced, false, 0, 0},
        {"ClosePending", true, Between::CloseRequested, false, 0, 1},
        {"Closed", false, Between::CloseRequested, false, 1, 1},
        {"ComponentGone", true, Between::ComponentGone, false, 0, 0},
    };
    for (const GuardCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        component = std::make_unique<MainComponent>(testSettings());
        mv::DeviceManager::getInstance()->stopTimer();
        if (c.busy)
            component->setState(std::make_unique<BusyState>());
        else
            component->setState(std::make_unique<IdleState>());
        stepCalls.clear();
        int quits = 0;
        MainComponent* const bound = component.get();
        const auto step = component->forCurrentState(&recordStep);

        switch (c.between)
        {
            case Between::Nothing:
                break;
            case Between::StateReplaced:
                component->setState(std::make_unique<BusyState>());
                break;
            case Between::CloseRequested:
                component->requestClose([&] { ++quits; });
                break;
            case Between::ComponentGone:
                component.reset();
                break;
        }
        EXPECT_EQ(quits, c.quitsBeforeCall);
        step(7);
        const StepCalls expected = c.runs ? StepCalls{{bound, 7}} : StepCalls{};
        EXPECT_EQ(stepCalls, expected);
        EXPECT_EQ(quits, c.quitsAfterCall);
        if (component != nullptr && c.between == Between::CloseRequested)
        {
            EXPECT_TRUE(component->isClosed());
        }
    }
}

struct ScanCase
{
    const char* name;
    bool amplifierThere; // for the discovery before the step
    int found;
    bool connectFails;
    bool connected; // the device view's state follows
};

TEST_F(AppStateMachineTest, OnScanFinishedConnectsTheFirstListedAmplifierOrReturnsToTheConnectView)
{
    const ScanCase cases[] = {
        {"NoneFound", false, 0, false, false},
        {"CountedButNoneListed", false, 1, false, false},
        {"FirstListedConnects", true, 1, false, true},
        {"FailedConnectStillGoesToTheDeviceView", true, 1, true, true},
    };
    for (const ScanCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        Rig caseRig;
        component = std::make_unique<MainComponent>(testSettings());
        auto* manager = mv::DeviceManager::getInstance();
        manager->stopTimer();
        std::shared_ptr<emu::K7Amplifier> amp;
        if (c.amplifierThere)
            amp = caseRig.addAmplifier();
        manager->scanDevices();
        if (c.connectFails)
            caseRig.layer->failInputOpensFrom = caseRig.layer->inputOpens.load();
        ConnectingAppState::onScanFinished(component.get(), c.found);

        if (c.connected)
        {
            EXPECT_TRUE(isState<ConnectedAppState>(*component));
            EXPECT_EQ(manager->getCurrentDevice() != nullptr, !c.connectFails);
            EXPECT_EQ(amp->getOpenInputCount(), c.connectFails ? 0 : 1);
            EXPECT_TRUE(pumpUntil([this] { return showsDeviceInfo(); }));
        }
        else
        {
            EXPECT_TRUE(isState<InitialAppState>(*component));
            EXPECT_EQ(manager->getCurrentDevice(), nullptr);
            component->handleAsyncUpdate();
            EXPECT_TRUE(component->getInitialView().isVisible());
            EXPECT_TRUE(component->getConnectButton().isEnabled());
            EXPECT_EQ(component->getConnectButton().getButtonText(), "Connect Hardware");
        }
        component.reset();
    }
}

TEST_F(AppStateMachineTest, ReadDeviceInfoQueuesTheTextsReadThenTheToastAndRestartsThePoll)
{
    auto amp = rig.addAmplifier();
    amp->setSerialNumber("K7AP-read");
    auto* manager = mv::DeviceManager::getInstance();
    for (const std::string toast : {"", "Your firmware is up-to-date."})
    {
        SCOPED_TRACE(toast);
        component = std::make_unique<MainComponent>(testSettings());
        manager->stopTimer();
        manager->scanDevices();
        manager->connect(manager->getDeviceKeys().front());
        component->handleAsyncUpdate();

        ConnectedAppState::readDeviceInfo(component.get(), toast);
        EXPECT_TRUE(manager->isPolling());
        // Nothing is shown while the read holds the message thread.
        EXPECT_FALSE(component->getConnectedView().isVisible());
        EXPECT_FALSE(component->getToast().isVisible());

        component->handleAsyncUpdate();
        EXPECT_TRUE(component->getConnectedView().isVisible());
        EXPECT_EQ(rowValue(1), "K7AP-read");
        EXPECT_EQ(rowValue(2), "1.0.0.1");
        EXPECT_EQ(component->getToast().isVisible(), !toast.empty());
        if (!toast.empty())
        {
            EXPECT_EQ(toastText(), juce::String(toast));
        }
        manager->stopTimer();
        component.reset();
    }
}

TEST_F(AppStateMachineTest, ShowDeviceInfoShowsTheSerialAndVersionWithBothButtonsReady)
{
    mv::DeviceManager::getInstance()->stopTimer();
    component->handleAsyncUpdate();
    FirmwareUpdatingAppState::showUpdating(component.get());
    const juce::String deviceRow = rowValue(0);

    ConnectedAppState::showDeviceInfo(component.get(), {"Command 17 text", "K7AP-\xC3\xBC", "1.4.1.0"});
    EXPECT_FALSE(component->getInitialView().isVisible());
    EXPECT_TRUE(component->getConnectedView().isVisible());
    EXPECT_EQ(rowValue(0), deviceRow) << "the command-17 text is not shown";
    EXPECT_EQ(rowValue(1), juce::String::fromUTF8("K7AP-\xC3\xBC"));
    EXPECT_EQ(rowValue(2), "1.4.1.0");
    EXPECT_TRUE(component->getEjectButton().isEnabled());
    EXPECT_TRUE(component->getCheckButton().isEnabled());
    EXPECT_EQ(component->getCheckButton().getButtonText(), "Check to update");
    EXPECT_EQ(component->getRow(2).button->findColour(juce::TextButton::textColourOffId),
              juce::Colour(0xffffffff));
}

TEST_F(AppStateMachineTest, CheckTaskStopsThePollThenPostsItsResultToTheMessageThread)
{
    auto* manager = mv::DeviceManager::getInstance();
    manager->startTimer();
    std::atomic<bool> ran{false};
    std::atomic<bool> onMessageThread{false};
    std::async(std::launch::async,
               [&]
               {
                   FirmwareCheckingAppState::checkTask(
                       [&]
                       {
                           onMessageThread = juce::MessageManager::existsAndIsCurrentThread();
                           ran = true;
                       });
               })
        .wait();
    EXPECT_FALSE(manager->isPolling());
    EXPECT_FALSE(ran.load()) << "posted, not run on the task's thread";
    ASSERT_TRUE(pumpUntil([&] { return ran.load(); }));
    EXPECT_TRUE(onMessageThread.load());
}

TEST_F(AppStateMachineTest, OnUpdateFinishedReadsTheDeviceAgainThenShowsTheOutcome)
{
    auto amp = rig.addAmplifier();
    connectByClick();
    for (const bool ok : {true, false})
    {
        SCOPED_TRACE(ok);
        const std::string serial = ok ? "K7AP-after-ok" : "K7AP-after-failure";
        amp->setSerialNumber(serial);
        FirmwareUpdatingAppState::Outcome outcome;
        outcome.ok = ok;
        FirmwareUpdatingAppState::onUpdateFinished(component.get(), outcome);
        EXPECT_TRUE(isState<ConnectedAppState>(*component));
        EXPECT_FALSE(component->getToast().isVisible()) << "shown before the read";

        ASSERT_TRUE(pumpUntil([this] { return component->getToast().isVisible(); }));
        EXPECT_EQ(toastText(),
                  juce::String(ok ? "Your firmware is up-to-date." : "Firmware updating failed!"));
        EXPECT_EQ(rowValue(1), juce::String(serial));
        component->getToast().setVisible(false); // for the next case
    }
}

TEST(WriteVersionTest, JoinsUnsignedDecimalsWithDots)
{
    std::ostringstream a, b;
    writeVersion(a, 1, 2, 3, 37);
    writeVersion(b, 255, 0, 10, 0);
    EXPECT_EQ(a.str(), "1.2.3.37");
    EXPECT_EQ(b.str(), "255.0.10.0");
}

} // namespace
