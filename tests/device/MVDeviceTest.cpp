#include "device/MVDevice.h"
#include "device/CommandFrame.h"
#include "device/SessionIdGuard.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

namespace
{
using Bytes = std::vector<uint8_t>;

// A device whose output is a list of the packets written.
class TestDevice : public MVDevice
{
public:
    bool open() override { return true; }
    void close() override {}
    int writeRaw(const uint8_t* data, int length) override
    {
        packets.emplace_back(data, data + length);
        if (failAtPacket >= 0 && static_cast<int>(packets.size()) > failAtPacket)
            return -1;
        return length;
    }
    void setMaxPacketSize(int size) { maxPacketSize = size; }
    void feed(const Bytes& bytes) { appendReceivedBytes(bytes.data(), static_cast<int>(bytes.size())); }
    void dispatch(const Bytes& bytes) { dispatchMessage(bytes.data(), static_cast<int>(bytes.size())); }

    std::vector<Bytes> packets;
    int failAtPacket = -1; // index of the first writeRaw that fails
};

struct Recorder : mvhw::MVDeviceEventDelegate
{
    void handleMessage(const uint8_t* m, int n) override { events.push_back("message " + hex(m, n)); }
    void handleSysex(const uint8_t* m, int n) override { events.push_back("sysex " + hex(m, n)); }
    static std::string hex(const uint8_t* m, int n)
    {
        std::string s;
        char buf[4];
        for (int i = 0; i < n; ++i)
        {
            std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", m[i]);
            s += buf;
        }
        return s;
    }
    std::vector<std::string> events;
};

Bytes frame(uint8_t sid, uint8_t cls, uint8_t cmd, const Bytes& payload = {})
{
    Bytes out(1100);
    out.resize(static_cast<std::size_t>(
        buildCommandFrame(sid, cls, cmd, payload.data(), static_cast<int>(payload.size()), out.data())));
    return out;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes keywordMessage(const std::string& keyword, const Bytes& tail = {0xF7})
{
    Bytes m{0xF0};
    m.insert(m.end(), keyword.begin(), keyword.end());
    return m + tail;
}

// The cutter's result for a whole stream, the plain way: search with
// findMidiMessage from the start after every message.
std::vector<std::string> referenceCut(const Bytes& stream, std::size_t& left)
{
    std::vector<std::string> events;
    int last = -1;
    for (auto found = MVDevice::findMidiMessage(stream, 0); found.first >= 0;
         found = MVDevice::findMidiMessage(stream, found.second + 1))
    {
        Recorder recorder;
        TestDevice device;
        device.setEventDelegate(&recorder);
        device.dispatch(Bytes(stream.begin() + found.first, stream.begin() + found.second + 1));
        events.insert(events.end(), recorder.events.begin(), recorder.events.end());
        last = found.second;
    }
    left = stream.size() - static_cast<std::size_t>(last + 1);
    return events;
}

// Receives whatever is queued on the id without waiting.
std::vector<Bytes> drain(MVDevice& device, unsigned id)
{
    std::vector<Bytes> out;
    uint8_t buffer[2048];
    for (int n; (n = device.receive(id, buffer, -1, sizeof buffer)) >= 0;)
        out.emplace_back(buffer, buffer + n);
    return out;
}
} // namespace

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
TEST(MVDevice, StreamCutter)
{
    const Bytes f = frame(0x40, MessageClass::Data, 18, {1, 2, 3, 4});
    const Bytes g = frame(0x41, MessageClass::Ack, 6);
    const std::string F = Recorder::hex(f.data(), static_cast<int>(f.size()));
    const std::string G = Recorder::hex(g.data(), static_cast<int>(g.size()));
    struct Case
    {
        const char* name;
        std::vector<Bytes> chunks;
        std::vector<std::vector<std::string>> eventsAfterEachChunk;
        std::size_t bufferLeft;
    };
    const Case cases[] = {
        {"whole frame", {f}, {{"message " + F}}, 0},
        {"two frames in one callback", {f + g}, {{"message " + F, "message " + G}}, 0},
        {"split over three callbacks",
         {Bytes(f.begin(), f.begin() + 3), Bytes(f.begin() + 3, f.end() - 1), Bytes{0xF7}},
         {{}, {}, {"message " + F}},
         0},
        {"restart at the last F0 before F7",
         {Bytes{0xF0, 0x01, 0x02} + Bytes{0xF0, 0x01, 0x40, 0x00, 0x02, 0x12, 0xF7}},
         {{"message F0 01 40 00 02 12 F7"}},
         0},
        {"controller and program change",
         {Bytes{0xB0, 0x07, 0x64, 0xC0, 0x05}},
         {{"message B0 07 64", "message C0 05"}},
         0},
        {"controller waits for its third byte",
         {Bytes{0xB0, 0x07}, Bytes{0x64}},
         {{}, {"message B0 07 64"}},
         0},
        {"program change waits for its data byte", {Bytes{0xC0}, Bytes{0x05}}, {{}, {"message C0 05"}}, 0},
        {"channel message bytes taken whatever their value",
         {Bytes{0xB0, 0xF0, 0xF7}},
         {{"message B0 F0 F7"}},
         0},
        {"stray bytes stay until a message follows", {Bytes{0x90, 0x3C, 0x40}, f}, {{}, {"message " + F}}, 0},
        {"frame followed by the start of another", {f + Bytes{0x00, 0xF0, 0x01}}, {{"message " + F}}, 3},
        {"garbage-laden stream",
         {Bytes{0x90, 0x3C, 0x40, 0xF7} + f + Bytes{0x00, 0x7F, 0xE0, 0x01} + Bytes{0xB0, 0x01, 0x02} +
          Bytes{0xF0, 0x11, 0x22} + g + Bytes{0x80}},
         {{"message " + F, "message B0 01 02", "message " + G}},
         1},
        {"invalid SysEx goes to the delegate as SysEx",
         {Bytes{0xF0, 0x01, 0x00, 0x05, 0x02, 0x12, 0xF7}},
         {{"sysex F0 01 00 05 02 12 F7", "message F0 01 00 05 02 12 F7"}},
         0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        TestDevice device;
        Recorder recorder;
        device.setEventDelegate(&recorder);
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < c.chunks.size(); ++i)
        {
            device.feed(c.chunks[i]);
            expected.insert(expected.end(), c.eventsAfterEachChunk[i].begin(),
                            c.eventsAfterEachChunk[i].end());
            EXPECT_EQ(recorder.events, expected) << "after chunk " << i;
        }
        EXPECT_EQ(device.getReceiveBufferSize(), c.bufferLeft);
    }
}

// Cutting does not depend on how the stream is split into callbacks.
TEST(MVDevice, StreamCutterIgnoresChunking)
{
    std::mt19937 rng(42);
    const uint8_t alphabet[] = {0xF0, 0xF7, 0xB0, 0xC0, 0x00, 0x01, 0x12, 0x40, 0x7F, 0x90, 0x80};
    for (int round = 0; round < 200; ++round)
    {
        Bytes stream;
        const int pieces = 1 + static_cast<int>(rng() % 12);
        for (int p = 0; p < pieces; ++p)
        {
            if (rng() % 2)
            {
                const Bytes fr = frame(static_cast<uint8_t>(64 + rng() % 64), static_cast<uint8_t>(rng() % 8),
                                       18, Bytes(rng() % 20, static_cast<uint8_t>(rng())));
                stream = stream + fr;
            }
            else
            {
                for (unsigned k = rng() % 6; k > 0; --k)
                    stream.push_back(alphabet[rng() % sizeof alphabet]);
            }
        }

        TestDevice whole;
        Recorder wholeEvents;
        whole.setEventDelegate(&wholeEvents);
        whole.feed(stream);

        TestDevice split;
        Recorder splitEvents;
        split.setEventDelegate(&splitEvents);
        for (std::size_t pos = 0; pos < stream.size();)
        {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 9, stream.size() - pos);
            split.feed(
                Bytes(stream.begin() + static_cast<long>(pos), stream.begin() + static_cast<long>(pos + n)));
            pos += n;
        }
        ASSERT_EQ(splitEvents.events, wholeEvents.events) << "round " << round;
        ASSERT_EQ(split.getReceiveBufferSize(), whole.getReceiveBufferSize());
        std::size_t left = 0;
        ASSERT_EQ(wholeEvents.events, referenceCut(stream, left)) << "round " << round;
        ASSERT_EQ(whole.getReceiveBufferSize(), left);
    }
}

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

TEST(MVDevice, ReceiveBufferIsCapped)
{
    const std::size_t limit = MVDevice::receiveBufferLimit;
    const Bytes f = frame(1, MessageClass::Data, 35, {7});
    {
        SCOPED_TRACE("below the limit every byte is kept");
        TestDevice device;
        device.feed(Bytes(1000, 0x11) + Bytes{0xF0, 0x01});
        EXPECT_EQ(device.getReceiveBufferSize(), 1002u);
    }
    {
        SCOPED_TRACE("garbage before the last F0 is dropped");
        TestDevice device;
        device.acquireSessionId();
        device.feed(Bytes(limit, 0x11));
        EXPECT_EQ(device.getReceiveBufferSize(), limit);
        device.feed(Bytes(f.begin(), f.begin() + 4));
        EXPECT_EQ(device.getReceiveBufferSize(), 4u);
        device.feed(Bytes(f.begin() + 4, f.end()));
        EXPECT_EQ(drain(device, 1), std::vector<Bytes>{f});
        EXPECT_EQ(device.getReceiveBufferSize(), 0u);
    }
    {
        SCOPED_TRACE("an unterminated message past the limit is dropped");
        TestDevice device;
        device.acquireSessionId();
        Bytes endless{0xF0};
        endless.resize(limit + 10, 0x01);
        for (std::size_t pos = 0; pos < endless.size(); pos += 4096)
        {
            device.feed(Bytes(endless.begin() + static_cast<long>(pos),
                              endless.begin() + static_cast<long>(std::min(pos + 4096, endless.size()))));
            ASSERT_LE(device.getReceiveBufferSize(), limit);
        }
        device.feed(Bytes{0xF7} + f);
        EXPECT_EQ(drain(device, 1), std::vector<Bytes>{f});
    }
    {
        SCOPED_TRACE("a channel message cut by the cap still completes");
        TestDevice device;
        Recorder recorder;
        device.setEventDelegate(&recorder);
        device.feed(Bytes(limit + 5, 0x22) + Bytes{0xB0, 0x07});
        EXPECT_EQ(device.getReceiveBufferSize(), 2u);
        device.feed({0x64});
        EXPECT_EQ(recorder.events, std::vector<std::string>{"message B0 07 64"});
    }
    {
        SCOPED_TRACE("complete messages in one large callback all arrive");
        TestDevice device;
        device.acquireSessionId();
        const Bytes big = frame(1, MessageClass::Data, 36, Bytes(500, 0x55));
        Bytes stream;
        for (int i = 0; i < 150; ++i)
            stream = stream + big;
        ASSERT_GT(stream.size(), limit);
        device.feed(stream + Bytes{0xF0});
        EXPECT_EQ(drain(device, 1).size(), 150u);
        EXPECT_EQ(device.getReceiveBufferSize(), 1u);
    }
}
