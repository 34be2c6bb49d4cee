// Session ids: handed out circularly, released, guarded.
#include "device/SessionIdGuard.h"
#include "tests/device/TestDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

using namespace mvdevice_test;

TEST(MVDevice, SessionIdsAreHandedOutCircularly)
{
    TestDevice device;
    EXPECT_EQ(device.getOwnSessionId(), 0);
    EXPECT_EQ(device.getMaxPacketSize(), 0);
    EXPECT_EQ(device.getDeviceKey(), nullptr);
    for (int id = 1; id < 64; ++id)
        ASSERT_EQ(device.acquireSessionId(), id);
    EXPECT_EQ(device.acquireSessionId(), -1);
    device.releaseSessionId(5);
    EXPECT_EQ(device.acquireSessionId(), 5);
    device.releaseSessionId(3);
    device.releaseSessionId(7);
    EXPECT_EQ(device.acquireSessionId(), 7) << "the search goes on after the id handed out last";
    EXPECT_EQ(device.acquireSessionId(), 3);
    EXPECT_EQ(device.acquireSessionId(), -1);
}

TEST(MVDevice, ReleaseIgnoresBadIdsAndTheOwnId)
{
    TestDevice device;
    const int id = device.acquireSessionId();
    device.releaseSessionId(64);
    device.releaseSessionId(static_cast<unsigned>(-1));
    device.releaseSessionId(0);

    // The own id still takes bootloader replies, the acquired one its frames.
    device.dispatch(keywordMessage("RetFwStatus", {0x01, 0xF7}));
    device.dispatch(frame(static_cast<uint8_t>(id), MessageClass::Ack, 4));
    EXPECT_EQ(drain(device, 0).size(), 1u);
    EXPECT_EQ(drain(device, static_cast<unsigned>(id)).size(), 1u);
    EXPECT_EQ(device.acquireSessionId(), 2);
}

TEST(MVDevice, SessionIdGuardReleasesOnScopeExitAndOnException)
{
    TestDevice device;
    uint8_t buffer[16];
    int id = -1;
    {
        SessionIdGuard guard(&device, device.acquireSessionId());
        id = guard.sessionId;
        ASSERT_EQ(id, 1);
        EXPECT_EQ(device.receive(static_cast<unsigned>(id), buffer, -1, sizeof buffer), -1);
        device.dispatch(frame(1, MessageClass::Data, 35));
        EXPECT_EQ(device.receive(1, buffer, -1, sizeof buffer), 7);
    }
    device.dispatch(frame(1, MessageClass::Data, 35));
    EXPECT_EQ(device.receive(1, buffer, 1000, sizeof buffer), -1) << "released: no queue, no wait";

    try
    {
        SessionIdGuard guard(&device, device.acquireSessionId());
        EXPECT_EQ(guard.sessionId, 2);
        throw std::runtime_error("boom");
    }
    catch (const std::runtime_error&)
    {
    }
    device.dispatch(frame(2, MessageClass::Data, 35));
    EXPECT_EQ(device.receive(2, buffer, -1, sizeof buffer), -1);
    {
        SessionIdGuard noId(&device, -1);
    }
    EXPECT_EQ(device.receive(0, buffer, -1, sizeof buffer), -1) << "own id still in use, just empty";
    device.dispatch(keywordMessage("RetFwInfo", {0x00, 0xF7}));
    EXPECT_EQ(device.receive(0, buffer, -1, sizeof buffer), 12);
}
