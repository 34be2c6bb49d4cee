#include "device/CommandFrame.h"
#include "device/SevenBitPacking.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace
{
using Bytes = std::vector<uint8_t>;

// Frames computed from the format's definition alone, bit by bit, to check
// the code under test against something it did not produce.
Bytes referencePack(const Bytes& raw)
{
    Bytes packed;
    for (std::size_t group = 0; group * 7 < raw.size(); ++group)
    {
        unsigned flags = 0;
        Bytes data;
        for (std::size_t i = 0; i < 7 && group * 7 + i < raw.size(); ++i)
        {
            const unsigned b = raw[group * 7 + i];
            flags += ((b >> 7) & 1u) * (1u << i);
            data.push_back(static_cast<uint8_t>(b % 128));
        }
        packed.push_back(static_cast<uint8_t>(flags));
        packed.insert(packed.end(), data.begin(), data.end());
    }
    return packed;
}

Bytes referenceFrame(uint8_t sid, uint8_t cls, uint8_t cmd, const Bytes& raw)
{
    const Bytes packed = referencePack(raw);
    unsigned sum = 0;
    for (uint8_t b : packed)
        sum ^= b;
    Bytes frame(packed.size() + 7);
    frame[0] = 0xF0;
    frame[1] = 0x01;
    frame[2] = sid;
    frame[3] = static_cast<uint8_t>(sum % 128);
    frame[4] = cls;
    frame[5] = cmd;
    for (std::size_t i = 0; i < packed.size(); ++i)
        frame[6 + i] = packed[i];
    frame.back() = 0xF7;
    return frame;
}

Bytes randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

Bytes build(uint8_t sid, uint8_t cls, uint8_t cmd, const Bytes& payload)
{
    Bytes out(2048, 0xEE);
    const int n = buildCommandFrame(sid, cls, cmd, payload.empty() ? nullptr : payload.data(),
                                    static_cast<int>(payload.size()), out.data());
    EXPECT_GE(n, 7);
    EXPECT_EQ(out[n], 0xEE) << "wrote past the frame";
    out.resize(n);
    return out;
}
} // namespace

TEST(CommandFrame, HandWrittenFrames)
{
    struct Case
    {
        const char* name;
        uint8_t sid, cls, cmd;
        Bytes payload;
        Bytes frame;
    };
    const Case cases[] = {
        {"probe", 5, MessageClass::Get, CommandId::Probe, {}, {0xF0, 0x01, 0x05, 0x00, 0x02, 0x12, 0xF7}},
        {"one byte 0x80",
         3,
         MessageClass::Set,
         9,
         {0x80},
         {0xF0, 0x01, 0x03, 0x01, 0x01, 0x09, 0x01, 0x00, 0xF7}},
        {"probe reply word",
         0,
         MessageClass::Data,
         CommandId::Probe,
         {0x12, 0x34, 0x56, 0x78},
         {0xF0, 0x01, 0x00, 0x08, 0x03, 0x12, 0x00, 0x12, 0x34, 0x56, 0x78, 0xF7}},
        {"two groups with high bits",
         1,
         MessageClass::AltSet,
         2,
         {0xFF, 0x01, 0x80, 0x7F, 0x81, 0x00, 0xAA, 0x55},
         {0xF0, 0x01, 0x01, 0x2A, 0x06, 0x02, 0x55, 0x7F, 0x01, 0x00, 0x7F, 0x01, 0x00, 0x2A, 0x00, 0x55,
          0xF7}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(build(c.sid, c.cls, c.cmd, c.payload), c.frame);
        EXPECT_EQ(referenceFrame(c.sid, c.cls, c.cmd, c.payload), c.frame);
        EXPECT_TRUE(validateCommandFrame(c.frame.data(), static_cast<unsigned>(c.frame.size())));
    }
}

TEST(CommandFrame, PayloadSizesMatchTheDefinition)
{
    struct Case
    {
        int payload;
        int frame;
    };
    const Case cases[] = {{0, 7},   {1, 9},   {6, 14},     {7, 15},    {8, 17},
                          {14, 23}, {15, 25}, {889, 1023}, {890, 1025}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.payload);
        const Bytes payload =
            randomBytes(static_cast<std::size_t>(c.payload), static_cast<unsigned>(c.payload));
        const Bytes frame = build(7, MessageClass::Set, 4, payload);
        ASSERT_EQ(static_cast<int>(frame.size()), c.frame);
        EXPECT_EQ(frame, referenceFrame(7, MessageClass::Set, 4, payload));
        EXPECT_TRUE(validateCommandFrame(frame.data(), static_cast<unsigned>(frame.size())));
        EXPECT_EQ(checkCommandFrame(frame.data(), static_cast<unsigned>(frame.size())), 0);
        for (std::size_t i = 1; i + 1 < frame.size(); ++i)
            EXPECT_LT(frame[i], 0x80) << "byte " << i;

        Bytes decoded(frame.size(), 0xEE);
        const unsigned n =
            decodeCommandFramePayload(frame.data(), static_cast<unsigned>(frame.size()), decoded.data());
        ASSERT_EQ(n, payload.size());
        decoded.resize(n);
        EXPECT_EQ(decoded, payload);
        EXPECT_EQ(getCommandFrameSessionId(frame.data()), 7);
        EXPECT_EQ(getCommandFrameClass(frame.data()), MessageClass::Set);
        EXPECT_EQ(getCommandFrameCommand(frame.data()), 4);
    }
    EXPECT_EQ(getCommandFrameMaxSize(), 1024);
    EXPECT_EQ(getCommandFrameHeaderSize(), 6);
}

TEST(CommandFrame, NoPayloadWhateverTheOtherArgumentSays)
{
    const uint8_t data[] = {0x11, 0x22};
    const Bytes empty{0xF0, 0x01, 0x05, 0x00, 0x02, 0x12, 0xF7};
    for (int length : {0, -1, -100})
    {
        uint8_t out[16];
        ASSERT_EQ(buildCommandFrame(5, 2, 18, data, length, out), 7);
        EXPECT_EQ(Bytes(out, out + 7), empty);
    }
    uint8_t out[16];
    ASSERT_EQ(buildCommandFrame(5, 2, 18, nullptr, 5, out), 7);
    EXPECT_EQ(Bytes(out, out + 7), empty);
    EXPECT_EQ(buildCommandFrame(5, 2, 18, data, 2, nullptr), 0);
}

TEST(CommandFrame, HeaderBytesAreWrittenUnmasked)
{
    const Bytes frame = build(0x85, 0x90, 0xA0, {});
    EXPECT_EQ(frame, (Bytes{0xF0, 0x01, 0x85, 0x00, 0x90, 0xA0, 0xF7}));
}

TEST(CommandFrame, Validation)
{
    struct Case
    {
        const char* name;
        Bytes frame;
        bool valid;
    };
    const Case cases[] = {
        {"six bytes", {0xF0, 0x01, 0x00, 0x00, 0x02, 0xF7}, false},
        {"empty", {}, false},
        {"no F7 at the end", {0xF0, 0x01, 0x00, 0x00, 0x02, 0x12, 0xF6}, false},
        {"no F0 at the start", {0xF1, 0x01, 0x00, 0x00, 0x02, 0x12, 0xF7}, false},
        {"any device byte, class, command", {0xF0, 0x55, 0x7F, 0x00, 0x66, 0x77, 0xF7}, true},
        {"checksum 0x81 over XOR 0x01", {0xF0, 0x01, 0x00, 0x81, 0x03, 0x12, 0x00, 0x01, 0xF7}, false},
        {"checksum 0x01 over XOR 0x01", {0xF0, 0x01, 0x00, 0x01, 0x03, 0x12, 0x00, 0x01, 0xF7}, true},
        // Bytes between the ends are not checked; the XOR is masked to 7 bits.
        {"unmasked data byte, masked XOR", {0xF0, 0x01, 0x00, 0x01, 0x03, 0x12, 0x81, 0xF7}, true},
        {"wrong checksum", {0xF0, 0x01, 0x00, 0x02, 0x03, 0x12, 0x00, 0x01, 0xF7}, false},
        {"checksum set without payload", {0xF0, 0x01, 0x00, 0x01, 0x02, 0x12, 0xF7}, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(validateCommandFrame(c.frame.data(), static_cast<unsigned>(c.frame.size())), c.valid);
        EXPECT_EQ(checkCommandFrame(c.frame.data(), static_cast<unsigned>(c.frame.size())), c.valid ? 0 : -1);
    }
    EXPECT_FALSE(validateCommandFrame(nullptr, 7));
}

TEST(CommandFrame, ShortFramesDecodeToNothing)
{
    const uint8_t frame[] = {0xF0, 0x01, 0x00, 0x00, 0x02, 0xF7};
    uint8_t out[8] = {};
    for (unsigned n = 0; n <= 6; ++n)
        EXPECT_EQ(decodeCommandFramePayload(frame, n, out), 0u);
}

TEST(SevenBitPacking, Decode)
{
    struct Case
    {
        const char* name;
        Bytes packed;
        Bytes raw;
    };
    const Case cases[] = {
        {"nothing", {}, {}},
        {"lone flags byte", {0x7F}, {}},
        {"one group of one", {0x01, 0x00}, {0x80}},
        {"full group and a lone flags byte", {0x00, 1, 2, 3, 4, 5, 6, 7, 0x03}, {1, 2, 3, 4, 5, 6, 7}},
        {"bit 7 of flags ignored", {0x81, 0x05, 0x06}, {0x85, 0x06}},
        {"data byte not masked", {0x01, 0x90}, {0x90}},
        {"data byte not masked without flag", {0x00, 0x90}, {0x90}},
        {"two groups",
         {0x55, 0x7F, 0x01, 0x00, 0x7F, 0x01, 0x00, 0x2A, 0x00, 0x55},
         {0xFF, 0x01, 0x80, 0x7F, 0x81, 0x00, 0xAA, 0x55}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Bytes out(c.packed.size() + 4, 0xEE);
        const unsigned n =
            decodeSevenBit(c.packed.data(), out.data(), static_cast<unsigned>(c.packed.size()));
        ASSERT_EQ(n, c.raw.size());
        EXPECT_EQ(n, c.packed.size() - (c.packed.size() + 7) / 8);
        EXPECT_EQ(out[n], 0xEE);
        out.resize(n);
        EXPECT_EQ(out, c.raw);
    }
}

// The word-at-a-time paths against the byte loop of the definition, over
// every length up to beyond a full frame, in buffers of exactly the room the
// functions promise (a write or read past them shows under AddressSanitizer).
TEST(SevenBitPacking, EveryLengthMatchesTheByteLoop)
{
    const auto referenceUnpack = [](const Bytes& packed)
    {
        Bytes raw;
        for (std::size_t pos = 0; packed.size() - pos >= 2;)
        {
            const std::size_t run = std::min<std::size_t>(7, packed.size() - pos - 1);
            for (std::size_t i = 0; i < run; ++i)
                raw.push_back(static_cast<uint8_t>(packed[pos + 1 + i] | (((packed[pos] >> i) & 1) << 7)));
            pos += run + 1;
        }
        return raw;
    };
    for (int n = 0; n <= 1200; ++n)
    {
        SCOPED_TRACE(n);
        const auto size = static_cast<std::size_t>(n);
        const Bytes raw = randomBytes(size, 7000u + static_cast<unsigned>(n));
        Bytes packed(size + (size + 6) / 7);
        ASSERT_EQ(encodeSevenBit(packed.data(), raw.data(), n), static_cast<int>(packed.size()));
        ASSERT_EQ(packed, referencePack(raw));

        // Arbitrary packed bytes: flags and data bytes with bit 7 set too.
        const Bytes anyPacked = randomBytes(size, 9000u + static_cast<unsigned>(n));
        Bytes unpacked(size - (size + 7) / 8);
        ASSERT_EQ(decodeSevenBit(anyPacked.data(), unpacked.data(), static_cast<unsigned>(n)),
                  unpacked.size());
        ASSERT_EQ(unpacked, referenceUnpack(anyPacked));
    }
}

TEST(SevenBitPacking, EncodeMatchesTheDefinitionAndRoundTrips)
{
    for (int n = 0; n <= 64; ++n)
    {
        SCOPED_TRACE(n);
        const Bytes raw = randomBytes(static_cast<std::size_t>(n), 1000u + static_cast<unsigned>(n));
        Bytes packed(static_cast<std::size_t>(n) * 2 + 2, 0xEE);
        const int m = encodeSevenBit(packed.data(), raw.data(), n);
        ASSERT_EQ(m, n + (n + 6) / 7);
        EXPECT_EQ(packed[m], 0xEE);
        packed.resize(m);
        EXPECT_EQ(packed, referencePack(raw));

        Bytes back(static_cast<std::size_t>(n) + 1, 0xEE);
        ASSERT_EQ(decodeSevenBit(packed.data(), back.data(), static_cast<unsigned>(m)),
                  static_cast<unsigned>(n));
        back.resize(n);
        EXPECT_EQ(back, raw);
    }
    uint8_t out[4] = {0xEE};
    EXPECT_EQ(encodeSevenBit(out, nullptr, 0), 0);
    EXPECT_EQ(encodeSevenBit(out, nullptr, -3), 0);
    EXPECT_EQ(out[0], 0xEE);
}
