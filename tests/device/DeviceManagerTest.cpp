#include "EmulatorFixture.h"

#include "device/DeviceManager.h"
#include "device/Discovery.h"

#include <future>

namespace
{

struct DeviceManagerTest : EmulatorFixture
{
    mv::DeviceManager manager;
    int notified = 0;

    void SetUp() override
    {
        EmulatorFixture::SetUp();
        manager.setProbeWait(testProbeWaitMs);
        manager.setPollInterval(20);
    }

    void TearDown() override
    {
        manager.stopTimer();
        manager.disconnect();
        EmulatorFixture::TearDown();
    }

    // Serves the message loop until the poll has ticked again, or run one
    // more discovery: whatever it would have noticed by then, it has.
    void waitForAPoll()
    {
        waitForMore([this] { return layer->getInputListings(); });
    }
    void waitForADiscovery()
    {
        waitForMore([this] { return layer->getOutputListings(); });
    }
    void waitForMore(const std::function<int()>& count)
    {
        const int before = count();
        ASSERT_TRUE(pumpUntil([&] { return count() > before; }));
    }

    void listen()
    {
        manager.setListener(
            [this](mv::DeviceManager* owner)
            {
                EXPECT_EQ(owner, &manager);
                ++notified;
            });
    }
};

} // namespace

TEST_F(DeviceManagerTest, ScanConnectDisconnect)
{
    auto amp = addAmp("Tolvo K7", 0x55);
    EXPECT_EQ(manager.getCurrentDevice(), nullptr);
    ASSERT_EQ(manager.scanDevices(), 1);
    const std::vector<DeviceKey> keys = manager.getDeviceKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0], (DeviceKey{0x55, 12}));

    MVDevice* device = manager.connect(keys[0]);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(manager.getCurrentDevice(), device);
    EXPECT_EQ(*device->getDeviceKey(), keys[0]);
    EXPECT_EQ(amp->getOpenInputCount(), 1);

    manager.disconnect();
    EXPECT_EQ(manager.getCurrentDevice(), nullptr);
    EXPECT_EQ(amp->getOpenInputCount(), 0);
    EXPECT_EQ(amp->getOpenOutputCount(), 0);
    manager.disconnect();
}

TEST_F(DeviceManagerTest, ConnectFailsForUnknownKeyOrClosedPorts)
{
    auto amp = addAmp("Tolvo K7", 0x55);
    ASSERT_EQ(manager.scanDevices(), 1);
    EXPECT_EQ(manager.connect(DeviceKey{0x56, 12}), nullptr);
    EXPECT_EQ(manager.getCurrentDevice(), nullptr);
    emu::AmplifierFaults f;
    f.failOpenInput = true;
    amp->setFaults(f);
    EXPECT_EQ(manager.connect(DeviceKey{0x55, 12}), nullptr);
    EXPECT_EQ(manager.getCurrentDevice(), nullptr);
}

TEST_F(DeviceManagerTest, ConnectWhileAnotherDeviceIsCurrent)
{
    auto a = addAmp("Tolvo K7 a", 1);
    auto b = addAmp("Tolvo K7 b", 2);
    ASSERT_EQ(manager.scanDevices(), 2);
    ASSERT_NE(manager.connect(DeviceKey{1, 12}), nullptr);
    EXPECT_EQ(a->getOpenInputCount(), 1);

    MVDevice* second = manager.connect(DeviceKey{2, 12});
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(manager.getCurrentDevice(), second);
    EXPECT_EQ(a->getOpenInputCount(), 0);
    EXPECT_EQ(a->getOpenOutputCount(), 0);
    EXPECT_EQ(b->getOpenInputCount(), 1);

    // Reconnecting the same amplifier closes the old ports before opening.
    ASSERT_NE(manager.connect(DeviceKey{2, 12}), nullptr);
    EXPECT_EQ(b->getOpenInputCount(), 1);

    // A failing connect leaves no device, and the old one is gone.
    emu::AmplifierFaults f;
    f.failOpenOutput = true;
    a->setFaults(f);
    EXPECT_EQ(manager.connect(DeviceKey{1, 12}), nullptr);
    EXPECT_EQ(manager.getCurrentDevice(), nullptr);
    EXPECT_EQ(b->getOpenInputCount(), 0);
    EXPECT_EQ(a->getOpenInputCount(), 0);
}

TEST_F(DeviceManagerTest, ScanFromABackgroundTask)
{
    addAmp("Tolvo K7", 3);
    manager.stopTimer();
    auto task = std::async(std::launch::async, [this] { return manager.scanDevices(); });
    ASSERT_TRUE(
        pumpUntil([&] { return task.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(task.get(), 1);
}

TEST_F(DeviceManagerTest, PollSeesPlugAndUnplugOnce)
{
    addAmp("Synth", 6);
    auto amp = addAmp("Tolvo K7", 7);
    amp->unplug();
    listen();
    manager.startTimer();
    waitForADiscovery();
    EXPECT_EQ(notified, 0) << "names changed, but no devices before and after";

    amp->plug();
    ASSERT_TRUE(pumpUntil([&] { return notified == 1; }));
    waitForAPoll();
    EXPECT_EQ(notified, 1) << "the same set again";
    EXPECT_EQ(manager.getDeviceKeys(), (std::vector<DeviceKey>{{7, 12}}));

    amp->unplug();
    ASSERT_TRUE(pumpUntil([&] { return notified == 2; }));
    waitForAPoll();
    EXPECT_EQ(notified, 2);
    EXPECT_TRUE(manager.getDeviceKeys().empty());
}

TEST_F(DeviceManagerTest, PollIgnoresNameChangesThatKeepTheDevices)
{
    addAmp("Tolvo K7", 7);
    listen();
    manager.startTimer();
    ASSERT_TRUE(pumpUntil([&] { return notified == 1; })) << "first poll finds the amplifier";

    // Another port appears: a scan runs, the set is the same.
    auto synth = addAmp("Synth", 8);
    waitForADiscovery();
    EXPECT_EQ(notified, 1);
    synth->unplug();
    waitForADiscovery();
    EXPECT_EQ(notified, 1);

    // A port with no amplifier behind it appears and goes: no devices before
    // and after the change apart from the one.
    auto silentOne = emu::Amplifier::create(emu::AmplifierConfig{"Tolvo K7 b", "Tolvo K7 b", 9});
    emu::AmplifierFaults f;
    f.silent = true;
    silentOne->setFaults(f);
    layer->addAmplifier(silentOne);
    waitForADiscovery();
    EXPECT_EQ(notified, 1);
}

TEST_F(DeviceManagerTest, PollWithoutListenerDoesNotThrow)
{
    auto amp = addAmp("Tolvo K7", 7);
    manager.startTimer();
    waitForADiscovery(); // the records are the process's: an earlier test's may still be there
    EXPECT_EQ(manager.getDeviceKeys().size(), 1u);
    amp->unplug();
    EXPECT_TRUE(pumpUntil([&] { return manager.getDeviceKeys().empty(); }));
}

TEST_F(DeviceManagerTest, SingletonIsOne)
{
    EXPECT_EQ(mv::DeviceManager::getInstance(), mv::DeviceManager::getInstance());
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
}
