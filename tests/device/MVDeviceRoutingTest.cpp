// Routing: bootloader replies to the own id, frames to their id, the rest to the delegate; received bytes
// reach it through the stream cutter.
#include "tests/device/TestDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

using namespace mvdevice_test;

TEST(MVDevice, Routing)
{
    TestDevice device;
    Recorder recorder;
    device.setEventDelegate(&recorder);
    const int id = device.acquireSessionId();
    ASSERT_EQ(id, 1);

    const Bytes forOne = frame(1, MessageClass::Data, 35, {'S', 'N'});
    const Bytes forNine = frame(9, MessageClass::Data, 35);
    const Bytes for63 = frame(63, MessageClass::Ack, 5);
    const Bytes for64 = frame(64, MessageClass::Ack, 5);
    const Bytes status = keywordMessage("RetFwStatus", {0x01, 0xF7});
    const Bytes info = keywordMessage("RetFwInfo", {0x00, 0x11, 0xF7});
    const Bytes write = keywordMessage("RetWriteFlash", {0x00, 0x00, 0x01, 0xF7});
    device.feed(forOne + forNine + for63 + for64 + status + info + write);

    EXPECT_EQ(drain(device, 1), std::vector<Bytes>{forOne});
    EXPECT_EQ(drain(device, 0), (std::vector<Bytes>{status, info, write}));
    EXPECT_EQ(recorder.events, std::vector<std::string>{"message " + Recorder::hex(for64.data(), 7)})
        << "frames for unused ids below 64 are dropped; id 64 goes to handleMessage only";
}

TEST(MVDevice, InvalidSysexGoesToTheDelegateAsSysex)
{
    TestDevice device;
    Recorder recorder;
    device.setEventDelegate(&recorder);
    device.feed(Bytes{0xF0, 0x01, 0x00, 0x05, 0x02, 0x12, 0xF7});
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"sysex F0 01 00 05 02 12 F7", "message F0 01 00 05 02 12 F7"}));
    EXPECT_EQ(device.getReceiveBufferSize(), 0u);
}

TEST(MVDevice, BootloaderKeywords)
{
    struct Case
    {
        const char* name;
        Bytes message;
        bool toOwnId;
    };
    const Case cases[] = {
        {"RetFwStatus", keywordMessage("RetFwStatus"), true},
        {"byte 0 not examined", Bytes{0x00} + Bytes{'R', 'e', 't', 'F', 'w', 'I', 'n', 'f', 'o', 0x05}, true},
        {"keyword alone is too short", keywordMessage("RetFwInfo", {}), false},
        {"case-sensitive", keywordMessage("retFwStatus"), false},
        {"another keyword", keywordMessage("GetFwStatus"), false},
        {"RetWriteFlash", keywordMessage("RetWriteFlash", {0x01}), true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        TestDevice device;
        Recorder recorder;
        device.setEventDelegate(&recorder);
        device.dispatch(c.message);
        EXPECT_EQ(drain(device, 0).size(), c.toOwnId ? 1u : 0u);
        EXPECT_EQ(recorder.events.empty(), c.toOwnId);
    }
}

TEST(MVDevice, DelegateCalls)
{
    TestDevice device;
    // Without a delegate everything else is dropped quietly.
    device.dispatch({0xB0, 1, 2});
    device.dispatch(frame(70, 3, 18));
    device.dispatch({});
    device.dispatchMessage(nullptr, 5);

    Recorder recorder;
    device.setEventDelegate(&recorder);
    EXPECT_EQ(device.getEventDelegate(), &recorder);
    device.dispatch({0xF0, 0x10, 0x20});    // SysEx-like, last byte not 0
    device.dispatch({0xF0, 0x10, 0x00});    // last byte 0: no handleSysex
    device.dispatch({0xC0, 0x05});          // channel message
    device.dispatch(frame(70, 3, 18, {1})); // valid frame, id 70
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"sysex F0 10 20", "message F0 10 20", "message F0 10 00",
                                        "message C0 05", "message F0 01 46 01 03 12 00 01 F7"}));
}
