// The codec: its stream bytes, its helpers, and the streams it refuses.
#include "presets/LzwCodec.h"
#include "presets/LzwBitWriter.h"

#include "LzwTestInputs.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

using namespace mvhw;
using namespace lzwtest;
using testbytes::hex;
using testbytes::toHex;

TEST(LzwCodec, BitsNeeded)
{
    const uint32_t cases[][2] = {{0, 1}, {1, 1},   {2, 2},   {3, 2},      {4, 3},      {7, 3},
                                 {8, 4}, {256, 9}, {257, 9}, {65535, 16}, {65536, 17}, {0xFFFFFFFFu, 32}};
    for (const auto& c : cases)
        EXPECT_EQ(bitsNeeded(c[0]), c[1]) << c[0];
}

TEST(LzwCodec, AlphabetMapAndBitWriter)
{
    std::array<uint8_t, 256> table;
    EXPECT_EQ(buildAlphabetMap(bytesOf("cabbac"), table), 3u);
    EXPECT_EQ(table['a'], 0);
    EXPECT_EQ(table['b'], 1);
    EXPECT_EQ(table['c'], 2);
    EXPECT_EQ(table['d'], 255);
    EXPECT_EQ(buildAlphabetMap({}, table), 0u);
    EXPECT_EQ(table[0], 255);

    std::vector<uint8_t> out{0x01};
    LzwBitWriter writer(out);
    writer.write(0x5, 3);
    writer.write(0xFFFF, 0);
    writer.write(0x1FF, 9);
    writer.write(0xFFFFF, 20);
    writer.write(0x1, 1);
    EXPECT_EQ(toHex(out), "01 fd ff ff ff 01");
}

TEST(LzwCodec, GoldenStreams)
{
    std::vector<uint8_t> abc5;
    for (int i = 0; i < 5; ++i)
        abc5.insert(abc5.end(), {0x61, 0x62, 0x63});
    const struct
    {
        std::vector<uint8_t> input;
        uint32_t cap;
        const char* stream;
    } cases[] = {
        {bytesOf("a"), 16, "10 01 61 04"},
        {bytesOf("aaaa"), 16, "10 01 61 08 01"},
        {bytesOf("abc"), 16, "10 03 61 62 63 88 06"},
        {abc5, 0, "03 03 61 62 63 88 10 21 42 84 68 00"},
        {bytesOf("abc"), 2, "03 03 61 62 63 88 06"}, // a cap below the first width gives it
        {{}, 16, "10 01 00 01"},                     // empty: one-symbol alphabet, bare end code
        {{}, 0, "02 01 00 01"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(toHex(encode(c.input, c.cap)), c.stream) << toHex(c.input);
        EXPECT_EQ(decode(hex(c.stream)), c.input) << c.stream;
    }

    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[size_t(i)] = uint8_t(255 - i);
    const std::vector<uint8_t> stream = encode(all, 9);
    EXPECT_EQ(stream[0], 9);
    EXPECT_EQ(stream[1], 0);
    // 256 nine-bit codes and the end code: no alphabet bytes.
    EXPECT_EQ(stream.size(), 2u + (257u * 9u + 7u) / 8u);
    EXPECT_EQ(decode(stream), all);
}

TEST(LzwCodec, MalformedStreamsAreRefused)
{
    using R = LzwStreamError::Reason;
    const struct
    {
        const char* stream;
        R reason;
    } cases[] = {
        {"", R::shortHeader},
        {"10", R::shortHeader},
        {"10 03 61 62", R::shortAlphabet},
        {"10 ff", R::shortAlphabet},
        {"01 01 61 04", R::badMaxBits}, // M below W0 = 2
        {"08 00 00", R::badMaxBits},    // 256 symbols need 9 bits
        {"00 01 61 04", R::badMaxBits},
        {"15 01 61 04", R::badMaxBits}, // 21 bits
        {"ff 01 61 04", R::badMaxBits},
        {"10 01 61", R::truncated},       // no codes at all
        {"10 01 61 02", R::badFirstCode}, // first code 2 with A = 1
        {"10 01 61 03", R::badFirstCode},
        {"10 00 ff 01", R::badFirstCode},   // 9-bit 0x101 with A = 256
        {"10 01 61 10", R::codeOutOfRange}, // code 4 after the first, next is 2
        {"10 01 61 0c", R::codeOutOfRange}, // code 3
        {"02 01 61 02", R::badFirstCode},   // M = W0: every code starts a run
        {"10 01 61 00", R::truncated},      // 0, then 3-bit 0 and then nothing
    };
    for (const auto& c : cases)
    {
        std::vector<uint8_t> out{0xEE};
        try
        {
            lzwDecode(hex(c.stream), out);
            ADD_FAILURE() << c.stream << " decoded to " << toHex(out);
        }
        catch (const LzwStreamError& e)
        {
            EXPECT_EQ(e.reason, c.reason) << c.stream << ": " << e.what();
            EXPECT_TRUE(out.empty()) << c.stream;
        }
    }
    // The code equal to the next free code is the one valid case above it.
    EXPECT_EQ(decode(hex("10 01 61 08 01")), bytesOf("aaaa"));
}

TEST(LzwCodec, EveryPrefixOfAValidStreamIsRefused)
{
    std::vector<uint8_t> abc5;
    for (int i = 0; i < 5; ++i)
        abc5.insert(abc5.end(), {0x61, 0x62, 0x63});
    const std::vector<std::pair<std::vector<uint8_t>, uint32_t>> inputs = {
        {sample(7, 3000, 1), 6}, {sample(256, 3000, 2), 9}, {abc5, 0}, {bytesOf("aaaa"), 16}, {{}, 16}};
    for (const auto& in : inputs)
    {
        const std::vector<uint8_t> stream = encode(in.first, in.second);
        for (size_t n = 0; n < stream.size(); ++n)
        {
            const std::vector<uint8_t> prefix(stream.begin(), stream.begin() + long(n));
            std::vector<uint8_t> out;
            try
            {
                lzwDecode(prefix, out);
                // Only the last byte may hold bits nobody reads: an end code
                // written wider than the reader reads it after a reset.
                EXPECT_EQ(n, stream.size() - 1) << toHex(prefix);
                EXPECT_EQ(out, in.first);
            }
            catch (const LzwStreamError&)
            {
                EXPECT_TRUE(out.empty());
            }
        }
    }
}

TEST(LzwCodec, OutputLimit)
{
    const std::vector<uint8_t> input(100000, 'x');
    const std::vector<uint8_t> stream = encode(input, 16);
    EXPECT_LT(stream.size(), 1000u);
    EXPECT_EQ(decode(stream, input.size()), input);
    for (size_t limit : {size_t(0), size_t(1), input.size() - 1})
    {
        try
        {
            decode(stream, limit);
            ADD_FAILURE() << limit;
        }
        catch (const LzwStreamError& e)
        {
            EXPECT_EQ(e.reason, LzwStreamError::Reason::outputLimit);
        }
    }
    EXPECT_TRUE(decode(encode({}, 16), 0).empty());
}

TEST(LzwCodec, CapsAboveTwentyAreRefused)
{
    EXPECT_THROW(encode(bytesOf("abc"), 21), std::invalid_argument);
    EXPECT_EQ(decode(encode(bytesOf("abcabc"), 20)), bytesOf("abcabc"));
}

TEST(LzwCodec, DefaultOutputLimit)
{
    // One byte past the default: every code the one just made, a stream of
    // about 20 KB.
    const std::vector<uint8_t> input(lzwDefaultOutputLimit + 1, 'x');
    const std::vector<uint8_t> stream = encode(input, 16);
    ASSERT_LT(stream.size(), 32768u);
    std::vector<uint8_t> out{0xEE};
    try
    {
        lzwDecode(stream, out);
        ADD_FAILURE() << "decoded " << out.size() << " bytes";
    }
    catch (const LzwStreamError& e)
    {
        EXPECT_EQ(e.reason, LzwStreamError::Reason::outputLimit);
        EXPECT_TRUE(out.empty());
        EXPECT_LE(out.capacity(), lzwDefaultOutputLimit + 16);
    }
    // The caller raises it.
    lzwDecode(stream, out, lzwDefaultOutputLimit + 1);
    EXPECT_TRUE(out == input);
    out.clear();
    out.shrink_to_fit();
    const std::vector<uint8_t> atLimit(input.begin(), input.end() - 1);
    lzwDecode(encode(atLimit, 16), out);
    EXPECT_TRUE(out == atLimit);
}

TEST(LzwCodec, OutputLimitRefusesBeforeTheBufferGrowsPastIt)
{
    // The buffer holds at most 16 bytes beyond the limit, also where it would
    // grow by more than what is left below it.
    const std::vector<uint8_t> inputs[] = {std::vector<uint8_t>(4u << 20, 'x'), sample(256, 1u << 20, 3),
                                           sample(5, 1u << 20, 4)};
    for (const std::vector<uint8_t>& input : inputs)
    {
        const std::vector<uint8_t> stream = encode(input, 16);
        for (size_t limit : {size_t(0), size_t(1), size_t(1000), size_t(65536), size_t(65537), size_t(300000),
                             input.size() * 3 / 4, input.size() - 1})
        {
            std::vector<uint8_t> out;
            try
            {
                lzwDecode(stream, out, limit);
                ADD_FAILURE() << limit;
            }
            catch (const LzwStreamError& e)
            {
                EXPECT_EQ(e.reason, LzwStreamError::Reason::outputLimit) << limit;
                EXPECT_TRUE(out.empty()) << limit;
                EXPECT_LE(out.capacity(), limit + 16) << limit << " of " << input.size();
            }
        }
    }
}

TEST(LzwCodec, PresetSizedStreamsDecodeWithTheDefaultLimit)
{
    // Far larger than a packed preset or its JSON text, at every cap.
    const std::vector<uint8_t> inputs[] = {std::vector<uint8_t>(1u << 20, 0), sample(256, 1u << 20, 5),
                                           sample(40, 1u << 20, 6)};
    for (const std::vector<uint8_t>& input : inputs)
    {
        for (uint32_t cap = 9; cap <= lzwMaxCodeBits; ++cap)
        {
            std::vector<uint8_t> out;
            lzwDecode(encode(input, cap), out);
            EXPECT_TRUE(out == input) << cap;
        }
    }
}
