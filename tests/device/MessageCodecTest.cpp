#include "device/MessageCodec.h"
#include "device/CommandFrame.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>

namespace
{
using Bytes = std::vector<uint8_t>;

Bytes randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

// Appends its tag on encode and strips it (checking it) on decode, so a
// stack's order shows in its output. Counts its destructions.
class TagCodec : public mv::MessageCodec
{
public:
    TagCodec(uint8_t tag_, int* destroyed_) : tag(tag_), destroyed(destroyed_) {}
    ~TagCodec() override { ++*destroyed; }

    Bytes encode(const Bytes& input) override
    {
        Bytes out = input;
        out.push_back(tag);
        return out;
    }
    Bytes decode(const Bytes& input) override
    {
        if (input.empty() || input.back() != tag)
            throw std::runtime_error("tag " + std::to_string(tag) + " missing");
        return Bytes(input.begin(), input.end() - 1);
    }
    unsigned encodedSize(unsigned n) const override { return n + 1; }
    unsigned decodedSize(unsigned n) const override { return n - 1; }

private:
    uint8_t tag;
    int* destroyed;
};

template <typename F> std::string thrownMessage(F&& f)
{
    try
    {
        f();
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return "";
}
} // namespace

TEST(MessageCodec, MavoStackMatchesTheFrameHelpersAndRoundTrips)
{
    for (int n : {0, 1, 6, 7, 8, 13, 14, 15, 100, 889})
    {
        SCOPED_TRACE(n);
        const Bytes body = randomBytes(static_cast<std::size_t>(n), static_cast<unsigned>(n) + 7u);
        mv::MavoSeriesStackCodec encoder(9, MessageClass::Get, CommandId::SerialNumber);
        const Bytes frame = encoder.encode(body);

        Bytes expected(1100);
        expected.resize(static_cast<std::size_t>(buildCommandFrame(
            9, MessageClass::Get, CommandId::SerialNumber, body.data(), n, expected.data())));
        EXPECT_EQ(frame, expected);
        EXPECT_EQ(frame.size(), encoder.encodedSize(static_cast<unsigned>(n)));

        // The decoder's own class and command are not compared with the frame.
        mv::MavoSeriesStackCodec decoder(0, MessageClass::Data, CommandId::String17);
        EXPECT_EQ(decoder.decode(frame), body);
    }
    mv::MavoSeriesStackCodec codec(4, 3, 18);
    EXPECT_EQ(codec.encode({}), (Bytes{0xF0, 0x01, 0x04, 0x00, 0x03, 0x12, 0xF7}));
}

TEST(MessageCodec, SizesInvert)
{
    mv::SevenBitsCodec seven;
    mv::SysExCommandCodec sysex(1, 2, 3);
    mv::MavoSeriesStackCodec stack(1, 2, 3);
    for (unsigned n = 0; n <= 2000; ++n)
    {
        ASSERT_EQ(seven.decodedSize(seven.encodedSize(n)), n);
        ASSERT_EQ(sysex.decodedSize(sysex.encodedSize(n)), n);
        ASSERT_EQ(stack.decodedSize(stack.encodedSize(n)), n);
        ASSERT_EQ(stack.encodedSize(n), seven.encodedSize(n) + 7);
    }
    EXPECT_EQ(seven.encodedSize(7), 8u);
    EXPECT_EQ(seven.encodedSize(8), 10u);
    EXPECT_EQ(seven.decodedSize(9), 7u);
    EXPECT_EQ(sysex.decodedSize(3), 0u);
}

TEST(MessageCodec, SevenBitsCodecDecodesShortInputToNothing)
{
    mv::SevenBitsCodec seven;
    EXPECT_TRUE(seven.decode({}).empty());
    EXPECT_TRUE(seven.decode({0x7F}).empty());
    EXPECT_EQ(seven.decode({0x01, 0x00}), Bytes{0x80});
    EXPECT_EQ(seven.encode({0x80}), (Bytes{0x01, 0x00}));
}

TEST(MessageCodec, SysExEncodeMasksTheChecksumOfUnpackedInput)
{
    mv::SysExCommandCodec sysex(2, 1, 6);
    EXPECT_EQ(sysex.encode({0x80, 0x01}), (Bytes{0xF0, 0x01, 0x02, 0x01, 0x01, 0x06, 0x80, 0x01, 0xF7}));
    // Each encode writes its own checksum into the header.
    EXPECT_EQ(sysex.encode({}), (Bytes{0xF0, 0x01, 0x02, 0x00, 0x01, 0x06, 0xF7}));
}

TEST(MessageCodec, DecodeFailures)
{
    mv::MavoSeriesStackCodec encoder(3, MessageClass::Data, 17);
    Bytes frame = encoder.encode({'a', 'b', 'c'});
    frame[3] ^= 0x01;
    for (int which = 0; which < 2; ++which)
    {
        SCOPED_TRACE(which);
        std::unique_ptr<mv::MessageCodec> decoder;
        if (which == 0)
            decoder = std::make_unique<mv::SysExCommandCodec>(3, 3, 17);
        else
            decoder = std::make_unique<mv::MavoSeriesStackCodec>(3, 3, 17);
        EXPECT_THROW(decoder->decode(frame), std::runtime_error);
        EXPECT_EQ(thrownMessage([&] { decoder->decode(frame); }), "checksum mismatched");

        for (std::size_t n = 0; n < 7; ++n)
        {
            const Bytes tooShort(n, 0xF0);
            EXPECT_THROW(decoder->decode(tooShort), std::length_error) << n;
        }
    }
}

TEST(MessageCodec, StackOrderAndOwnership)
{
    int destroyed = 0;
    {
        mv::MessageStackCodec stack;
        EXPECT_EQ(stack.encode({1, 2}), (Bytes{1, 2}));
        EXPECT_EQ(stack.decode({1, 2}), (Bytes{1, 2}));
        EXPECT_EQ(stack.encodedSize(5), 5u);

        stack.addCodec(std::make_unique<TagCodec>(0xA1, &destroyed));
        stack.addCodec(std::make_unique<TagCodec>(0xB2, &destroyed));
        EXPECT_EQ(stack.encode({1}), (Bytes{1, 0xA1, 0xB2}));
        EXPECT_EQ(stack.decode({1, 0xA1, 0xB2}), Bytes{1});
        EXPECT_THROW(stack.decode({1, 0xB2, 0xA1}), std::runtime_error);
        EXPECT_EQ(stack.encodedSize(5), 7u);
        EXPECT_EQ(stack.decodedSize(7), 5u);
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 2);
}

TEST(MessageCodec, MavoStackRefusesMoreCodecs)
{
    int destroyed = 0;
    mv::MavoSeriesStackCodec stack(1, 1, 1);
    EXPECT_EQ(thrownMessage([&] { stack.addCodec(std::make_unique<TagCodec>(0x11, &destroyed)); }),
              "MAVO series should not call this function");
    EXPECT_THROW(stack.addCodec(std::make_unique<TagCodec>(0x11, &destroyed)), std::logic_error);
    EXPECT_EQ(destroyed, 2) << "the refused codec is deleted";
    // Still exactly the two codecs.
    const Bytes body{0x80, 0x7F, 0x00};
    EXPECT_EQ(stack.encodedSize(3), 11u);
    EXPECT_EQ(stack.decode(stack.encode(body)), body);
}
