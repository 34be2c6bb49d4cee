// Sending through writeRaw, whole or in packets, and receiving on a session id.
#include "tests/device/TestDevice.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

using namespace mvdevice_test;

TEST(MVDevice, ReceiveResults)
{
    TestDevice device;
    const int id = device.acquireSessionId();
    uint8_t buffer[1024];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device.receive(64, buffer, 5000, sizeof buffer), -1);
    EXPECT_EQ(device.receive(9, buffer, 5000, sizeof buffer), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "no wait for bad ids";

    const Bytes reply = frame(static_cast<uint8_t>(id), MessageClass::Data, 17, {'K', '7'});
    device.feed(reply);
    EXPECT_EQ(device.receive(static_cast<unsigned>(id), nullptr, 0, 0), 0);
    EXPECT_EQ(device.receive(static_cast<unsigned>(id), buffer, 1, sizeof buffer),
              static_cast<int>(reply.size()))
        << "the null-buffer receive left the reply queued";
    EXPECT_EQ(Bytes(buffer, buffer + reply.size()), reply);
    EXPECT_EQ(device.receive(static_cast<unsigned>(id), buffer, 10, sizeof buffer), -1) << "timeout";
}

TEST(MVDevice, ReceiveDropsAMessageLongerThanTheBuffer)
{
    TestDevice device;
    const int id = device.acquireSessionId();
    const Bytes big = frame(static_cast<uint8_t>(id), MessageClass::Data, 36, Bytes(600, 0x42));
    const Bytes small = frame(static_cast<uint8_t>(id), MessageClass::Data, 36, {1});
    device.feed(big + small);

    uint8_t buffer[520];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(device.receive(static_cast<unsigned>(id), buffer, 1, 512), MVQueue::messageTooLong);
    for (uint8_t b : buffer)
        ASSERT_EQ(b, 0xEE);
    EXPECT_EQ(device.receive(static_cast<unsigned>(id), buffer, 1, 512), static_cast<int>(small.size()));
}

TEST(MVDevice, ReceiveAcrossThreads)
{
    TestDevice device;
    const int id = device.acquireSessionId();
    const Bytes reply = frame(static_cast<uint8_t>(id), MessageClass::Ack, 6);
    std::thread input(
        [&]
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            device.feed(reply);
        });
    uint8_t buffer[1024];
    EXPECT_EQ(device.receive(static_cast<unsigned>(id), buffer, 5000, sizeof buffer), 7);
    input.join();

    // A receive that waits keeps its queue alive while the id is released.
    std::thread waiter(
        [&] { EXPECT_EQ(device.receive(static_cast<unsigned>(id), buffer, 200, sizeof buffer), -1); });
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return device.getWaiterCount(static_cast<unsigned>(id)) == 1; }));
    device.releaseSessionId(static_cast<unsigned>(id));
    waiter.join();
}

TEST(MVDevice, SendWholeOrInPackets)
{
    const Bytes data = frame(1, MessageClass::Set, 34, Bytes(260, 0x99));
    ASSERT_EQ(data.size(), 305u);
    {
        TestDevice device;
        EXPECT_EQ(device.send(data.data(), static_cast<int>(data.size())), 305);
        ASSERT_EQ(device.packets.size(), 1u);
        EXPECT_EQ(device.packets[0], data);
    }
    {
        TestDevice device;
        device.setMaxPacketSize(64);
        EXPECT_EQ(device.send(data.data(), static_cast<int>(data.size())), 305);
        ASSERT_EQ(device.packets.size(), 5u);
        Bytes joined;
        for (const auto& p : device.packets)
        {
            EXPECT_LE(p.size(), 64u);
            joined = joined + p;
        }
        EXPECT_EQ(joined, data);
        EXPECT_EQ(device.send(data.data(), 0), 0);
    }
}

TEST(MVDevice, SendReportsAFailedWrite)
{
    const Bytes data(300, 0x11);
    {
        TestDevice device;
        device.failAtPacket = 0;
        EXPECT_EQ(device.send(data.data(), 300), -1);
    }
    {
        TestDevice device;
        device.setMaxPacketSize(100);
        device.failAtPacket = 1;
        EXPECT_EQ(device.send(data.data(), 300), -1);
        EXPECT_EQ(device.packets.size(), 2u) << "nothing is sent after the failed packet";
    }
}

// The stream cutter. Every message here goes to the delegate (frames for ids
// of 64 or more, channel messages, other SysEx), so the record shows every
// dispatch in order.
