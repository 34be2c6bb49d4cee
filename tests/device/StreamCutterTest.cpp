// The receive stream cutter: messages cut out of the bytes however they
// arrive, and the cap on the bytes it keeps.
#include "device/StreamCutter.h"
#include "tests/device/ReferenceCut.h"
#include "tests/device/TestDevice.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace mvdevice_test;

namespace
{
// A cutter and the messages it handed out, also as "message <hex>".
struct Cutter
{
    StreamCutter cutter;
    std::vector<Bytes> messages;
    std::vector<std::string> events;

    void feed(const Bytes& bytes)
    {
        cutter.feed(bytes.data(), static_cast<int>(bytes.size()),
                    [this](const uint8_t* m, int n)
                    {
                        messages.emplace_back(m, m + n);
                        events.push_back("message " + Recorder::hex(m, n));
                    });
    }
    std::size_t bufferedSize() const { return cutter.bufferedSize(); }
};
} // namespace

TEST(StreamCutter, Cuts)
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
        // A refusal cut by a controller would read as result 1 if stitched.
        {"SysEx cut by a controller is dropped",
         {Bytes{0xF0, 'R', 'e', 't', 'W', 'r', 'i', 't', 'e', 'F', 'l', 'a', 's', 'h', 0x00, 0x00},
          Bytes{0xB0, 0x07, 0x01}, Bytes{0x00, 0x00, 0x00, 0xF7}},
         {{}, {"message B0 07 01"}, {}},
         4},
        {"SysEx cut by a note-on, then a frame",
         {Bytes{0xF0, 0x01, 0x02, 0x90, 0x3C, 0x40} + f},
         {{"message " + F}},
         0},
        {"real-time bytes inside a SysEx are no part of it",
         {Bytes{0xF0, 0x01, 0xF8}, Bytes{0xFE, 0x02, 0xFF, 0xF7}},
         {{}, {"message F0 01 02 F7"}},
         0},
        {"an unfinished SysEx keeps no real-time byte", {Bytes{0xF0, 0x01, 0xF8, 0x02}}, {{}}, 3},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Cutter cutter;
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < c.chunks.size(); ++i)
        {
            cutter.feed(c.chunks[i]);
            expected.insert(expected.end(), c.eventsAfterEachChunk[i].begin(),
                            c.eventsAfterEachChunk[i].end());
            EXPECT_EQ(cutter.events, expected) << "after chunk " << i;
        }
        EXPECT_EQ(cutter.bufferedSize(), c.bufferLeft);
    }
}

// Inside a SysEx every status byte but the real-time ones (F8-FF), F0 and
// F7 cuts it short; the real-time ones are taken out of it.
TEST(StreamCutter, StatusBytesInsideASysex)
{
    for (int status = 0x80; status <= 0xFF; ++status)
    {
        if (status == 0xF0 || status == 0xF7)
            continue;
        SCOPED_TRACE(status);
        Cutter cutter;
        cutter.feed(Bytes{0xF0, 0x01, static_cast<uint8_t>(status), 0x02, 0x03, 0xF7});
        std::vector<Bytes> sysex;
        for (const Bytes& m : cutter.messages)
            if (m.front() == 0xF0)
                sysex.push_back(m);
        if (status >= 0xF8)
            EXPECT_EQ(sysex, (std::vector<Bytes>{{0xF0, 0x01, 0x02, 0x03, 0xF7}}));
        else
            EXPECT_TRUE(sysex.empty());
    }
}

// Cutting does not depend on how the stream is split into callbacks.
TEST(StreamCutter, IgnoresChunking)
{
    std::mt19937 rng(42);
    const uint8_t alphabet[] = {0xF0, 0xF7, 0xB0, 0xC0, 0x00, 0x01, 0x12, 0x40, 0x7F, 0x90, 0x80, 0xF8, 0xF3};
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

        Cutter whole;
        whole.feed(stream);

        Cutter split;
        for (std::size_t pos = 0; pos < stream.size();)
        {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 9, stream.size() - pos);
            split.feed(
                Bytes(stream.begin() + static_cast<long>(pos), stream.begin() + static_cast<long>(pos + n)));
            pos += n;
        }
        ASSERT_EQ(split.messages, whole.messages) << "round " << round;
        ASSERT_EQ(split.bufferedSize(), whole.bufferedSize());
        std::size_t left = 0;
        ASSERT_EQ(whole.messages, stream_reference::referenceCut(stream, left)) << "round " << round;
        ASSERT_EQ(whole.bufferedSize(), left);
    }
}

TEST(StreamCutter, BufferIsCapped)
{
    const std::size_t limit = StreamCutter::bufferLimit;
    const Bytes f = frame(1, MessageClass::Data, 35, {7});
    {
        SCOPED_TRACE("below the limit every byte is kept");
        Cutter cutter;
        cutter.feed(Bytes(1000, 0x11) + Bytes{0xF0, 0x01});
        EXPECT_EQ(cutter.bufferedSize(), 1002u);
    }
    {
        SCOPED_TRACE("garbage before the last F0 is dropped");
        Cutter cutter;
        cutter.feed(Bytes(limit, 0x11));
        EXPECT_EQ(cutter.bufferedSize(), limit);
        cutter.feed(Bytes(f.begin(), f.begin() + 4));
        EXPECT_EQ(cutter.bufferedSize(), 4u);
        cutter.feed(Bytes(f.begin() + 4, f.end()));
        EXPECT_EQ(cutter.messages, std::vector<Bytes>{f});
        EXPECT_EQ(cutter.bufferedSize(), 0u);
    }
    {
        SCOPED_TRACE("an unterminated message past the limit is dropped");
        Cutter cutter;
        Bytes endless{0xF0};
        endless.resize(limit + 10, 0x01);
        for (std::size_t pos = 0; pos < endless.size(); pos += 4096)
        {
            cutter.feed(Bytes(endless.begin() + static_cast<long>(pos),
                              endless.begin() + static_cast<long>(std::min(pos + 4096, endless.size()))));
            ASSERT_LE(cutter.bufferedSize(), limit);
        }
        cutter.feed(Bytes{0xF7} + f);
        EXPECT_EQ(cutter.messages, std::vector<Bytes>{f});
    }
    {
        SCOPED_TRACE("a channel message cut by the cap still completes");
        Cutter cutter;
        cutter.feed(Bytes(limit + 5, 0x22) + Bytes{0xB0, 0x07});
        EXPECT_EQ(cutter.bufferedSize(), 2u);
        cutter.feed({0x64});
        EXPECT_EQ(cutter.events, std::vector<std::string>{"message B0 07 64"});
    }
    {
        SCOPED_TRACE("the two bytes kept of an endless message are scanned at once");
        Cutter cutter;
        cutter.feed(Bytes{0xF0} + Bytes(limit, 0x11) + Bytes{0xC0, 0x05});
        EXPECT_EQ(cutter.events, std::vector<std::string>{"message C0 05"});
        EXPECT_EQ(cutter.bufferedSize(), 0u);
    }
    {
        SCOPED_TRACE("complete messages in one large callback all arrive");
        Cutter cutter;
        const Bytes big = frame(1, MessageClass::Data, 36, Bytes(500, 0x55));
        Bytes stream;
        for (int i = 0; i < 150; ++i)
            stream = stream + big;
        ASSERT_GT(stream.size(), limit);
        cutter.feed(stream + Bytes{0xF0});
        EXPECT_EQ(cutter.messages.size(), 150u);
        EXPECT_EQ(cutter.bufferedSize(), 1u);
    }
}
