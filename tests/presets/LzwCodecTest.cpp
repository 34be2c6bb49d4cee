#include "presets/LzwBitWriter.h"
#include "presets/LzwCodec.h"
#include "presets/LzwCompress.h"

#include "TestBytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <set>
#include <tuple>
#include <unordered_map>

using namespace mvhw;
using testbytes::hex;
using testbytes::toHex;

namespace
{

std::vector<uint8_t> bytesOf(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> encode(const std::vector<uint8_t>& input, uint32_t cap)
{
    std::vector<uint8_t> out{0xEE}; // must be cleared
    lzwEncode(input, out, cap);
    return out;
}

std::vector<uint8_t> decode(const std::vector<uint8_t>& stream, size_t limit = SIZE_MAX)
{
    std::vector<uint8_t> out{0xEE}; // must be cleared
    lzwDecode(stream, out, limit);
    return out;
}

// An independent model of the stream, written from the format's rule in terms
// of the run's code count t, with a std::map dictionary. It also reports the
// input positions after which the width grows or the dictionary resets.
struct Reference
{
    std::vector<uint8_t> stream;
    std::vector<size_t> widenings; // input lengths at which the width grew
    std::vector<size_t> resets;    // input lengths at which the dictionary reset
};

Reference referenceEncode(const std::vector<uint8_t>& input, uint32_t cap)
{
    Reference ref;
    std::set<uint8_t> present(input.begin(), input.end());
    const uint32_t a = present.empty() ? 1 : uint32_t(present.size());
    uint32_t w0 = 1;
    while ((1u << w0) <= a + 1)
        ++w0;
    const uint32_t m = std::max(cap, w0);
    ref.stream.push_back(uint8_t(m));
    ref.stream.push_back(uint8_t(a));
    std::map<uint8_t, int> symbol;
    if (present.empty())
        ref.stream.push_back(0);
    for (uint8_t v : present)
    {
        symbol[v] = int(symbol.size());
        if (a < 256)
            ref.stream.push_back(v);
    }
    uint64_t acc = 0;
    unsigned accBits = 0;
    auto emit = [&](uint32_t code, uint32_t width)
    {
        acc |= uint64_t(code) << accBits;
        accBits += width;
        while (accBits >= 8)
        {
            ref.stream.push_back(uint8_t(acc));
            acc >>= 8;
            accBits -= 8;
        }
    };
    std::unordered_map<int64_t, int> dict; // (code, symbol) -> code
    uint32_t t = 0;
    uint32_t w = w0;
    int next = int(a) + 1;
    int cur = -1;
    for (size_t i = 0; i < input.size(); ++i)
    {
        const int s = symbol[input[i]];
        if (cur < 0)
        {
            cur = s;
            continue;
        }
        const int64_t key = int64_t(cur) * 256 + s;
        auto found = dict.find(key);
        if (found != dict.end())
        {
            cur = found->second;
            continue;
        }
        dict[key] = next++;
        emit(uint32_t(cur), w);
        cur = s;
        ++t;
        if (a + t + 2 >= (1u << w))
        {
            if (w < m)
            {
                ref.widenings.push_back(i);
                ++w;
            }
            else
            {
                ref.resets.push_back(i);
                dict.clear();
                next = int(a) + 1;
                t = 0;
                w = w0;
            }
        }
    }
    if (cur >= 0)
    {
        emit(uint32_t(cur), w);
        ++t;
    }
    emit(a, cur >= 0 && a + t + 2 >= (1u << w) ? w + 1 : w);
    if (accBits > 0)
        ref.stream.push_back(uint8_t(acc));
    return ref;
}

// Uniform pseudo-random input over `alphabet` distinct values spread over
// 0..255, starting with every value once.
std::vector<uint8_t> sample(uint32_t alphabet, size_t length, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> values;
    for (uint32_t i = 0; i < alphabet; ++i)
        values.push_back(uint8_t(alphabet == 256 ? i : (i * 37 + 11) % 256));
    std::vector<uint8_t> out;
    for (size_t i = 0; i < length; ++i)
        out.push_back(i < alphabet ? values[i] : values[rng() % alphabet]);
    return out;
}

} // namespace

TEST(Lzw, BitsNeeded)
{
    const uint32_t cases[][2] = {{0, 1}, {1, 1},   {2, 2},   {3, 2},      {4, 3},      {7, 3},
                                 {8, 4}, {256, 9}, {257, 9}, {65535, 16}, {65536, 17}, {0xFFFFFFFFu, 32}};
    for (const auto& c : cases)
        EXPECT_EQ(bitsNeeded(c[0]), c[1]) << c[0];
}

TEST(Lzw, AlphabetMapAndBitWriter)
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

TEST(Lzw, GoldenStreams)
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

TEST(Lzw, CompressStringFrames)
{
    EXPECT_EQ(toHex(compressString("abc")), "07 00 00 00 10 03 61 62 63 88 06 00");
    EXPECT_EQ(toHex(compressString("a")), "04 00 00 00 10 01 61 04");
    EXPECT_EQ(toHex(compressString("")), "04 00 00 00 10 01 00 01");
}

TEST(Lzw, SweepsCrossEveryWidthChangeAndReset)
{
    // Per alphabet size and cap, one input long enough for several resets.
    // Checked byte for byte against the model and round trip: the whole
    // input, every length up to 300, and every length that ends next to a
    // width change or a reset (caps 12 and 16: those round trip only, at
    // cap 16 up to 120 kB).
    const struct
    {
        uint32_t alphabet;
        uint32_t cap;
        size_t length;
    } cases[] = {
        {1, 2, 40},      {1, 3, 200},     {1, 4, 800},     {1, 5, 3000},      {2, 2, 100},
        {2, 3, 300},     {2, 5, 2000},    {2, 12, 85000},  {3, 3, 200},       {3, 4, 600},
        {3, 6, 3000},    {3, 12, 55000},  {7, 4, 300},     {7, 5, 800},       {7, 12, 30000},
        {7, 16, 400000}, {255, 9, 3000},  {255, 10, 5000}, {255, 12, 9000},   {255, 16, 300000},
        {256, 9, 3000},  {256, 10, 5000}, {256, 12, 9000}, {256, 16, 300000},
    };
    for (const auto& c : cases)
    {
        const std::string where = "A=" + std::to_string(c.alphabet) + " cap=" + std::to_string(c.cap);
        const std::vector<uint8_t> input = sample(c.alphabet, c.length, c.alphabet * 100 + c.cap);
        const Reference full = referenceEncode(input, c.cap);
        EXPECT_GE(full.resets.size(), c.cap == 16 ? 1u : 2u) << where;
        EXPECT_GE(full.widenings.size(), c.cap - bitsNeeded(c.alphabet + 1)) << where;
        const std::vector<uint8_t> stream = encode(input, c.cap);
        ASSERT_EQ(stream, full.stream) << where;
        ASSERT_EQ(decode(stream), input) << where;

        std::set<size_t> lengths;
        for (size_t n = 0; n <= std::min<size_t>(300, input.size()); ++n)
            lengths.insert(n);
        for (const std::vector<size_t>* events : {&full.resets, &full.widenings})
            for (size_t e : *events)
                for (size_t n = e; n <= e + 3 && n <= input.size(); ++n)
                    lengths.insert(n);
        for (size_t n : lengths)
        {
            if (c.cap == 16 && n > 120000 && n > full.resets[0] + 3)
                continue;
            const std::vector<uint8_t> prefix(input.begin(), input.begin() + long(n));
            const std::vector<uint8_t> s = encode(prefix, c.cap);
            if (c.cap < 12)
            {
                ASSERT_EQ(s, referenceEncode(prefix, c.cap).stream) << where << " n=" << n;
            }
            ASSERT_EQ(decode(s), prefix) << where << " n=" << n;
        }
    }
}

TEST(Lzw, ThousandsOfResets)
{
    // Caps at or just above the first width reset every few codes, for
    // thousands of runs.
    std::vector<std::pair<std::vector<uint8_t>, uint32_t>> inputs;
    const uint32_t sampled[][3] = {
        {1, 2, 20000}, {2, 2, 30000}, {3, 3, 40000}, {7, 4, 80000}, {7, 5, 200000}};
    for (const auto& c : sampled)
        inputs.push_back({sample(c[0], c[2], c[0] + c[1]), c[1]});
    // The strings of the first run come back after 4093 to 4097 runs
    // without them (the encoder's tables count runs modulo 4095): pairs of
    // symbols, and at cap 4 longer strings too.
    for (const auto& [opening, fillerLength, cap] :
         {std::make_tuple("abcacbbca", 20000, 3u), std::make_tuple("abababababab", 300000, 4u)})
    {
        std::vector<uint8_t> quiet = bytesOf(opening);
        const long openingLength = long(quiet.size());
        quiet.insert(quiet.end(), size_t(fillerLength), 'z');
        const Reference quietRef = referenceEncode(quiet, cap);
        ASSERT_GT(quietRef.resets.size(), 4098u) << opening;
        for (size_t k = 4093; k <= 4097; ++k)
        {
            for (size_t n : {quietRef.resets[k] + 1, quietRef.resets[k + 1]})
            {
                std::vector<uint8_t> input(quiet.begin(), quiet.begin() + long(n));
                input.insert(input.end(), quiet.begin(), quiet.begin() + openingLength);
                inputs.push_back({input, cap});
            }
        }
    }
    for (const auto& in : inputs)
    {
        const std::string where =
            toHex({in.first.begin(), in.first.begin() + 9}) + " cap=" + std::to_string(in.second);
        const Reference ref = referenceEncode(in.first, in.second);
        EXPECT_GT(ref.resets.size(), 4090u) << where;
        const std::vector<uint8_t> stream = encode(in.first, in.second);
        EXPECT_EQ(stream, ref.stream) << where;
        EXPECT_EQ(decode(stream), in.first) << where;
    }
}

TEST(Lzw, LargeInput)
{
    // 1.5 MB of word-like text: many resets at cap 16.
    std::mt19937 rng(7);
    const char* words[] = {"amp",   "preset", "gain", "tone",  "reverb",
                           "delay", "cab",    "mix",  "level", "drive"};
    std::string text;
    while (text.size() < 1500000)
    {
        text += words[rng() % 10];
        text += rng() % 5 == 0 ? '\n' : ' ';
        if (rng() % 50 == 0)
            text += std::to_string(rng());
    }
    const std::vector<uint8_t> input = bytesOf(text);
    const std::vector<uint8_t> stream = encode(input, 16);
    EXPECT_EQ(stream, referenceEncode(input, 16).stream);
    EXPECT_LT(stream.size(), input.size() / 3);
    EXPECT_EQ(decode(stream), input);
}

TEST(Lzw, MalformedStreamsAreRefused)
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

TEST(Lzw, EveryPrefixOfAValidStreamIsRefused)
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

TEST(Lzw, OutputLimit)
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

TEST(Lzw, CapsAboveTwentyAreRefused)
{
    EXPECT_THROW(encode(bytesOf("abc"), 21), std::invalid_argument);
    EXPECT_EQ(decode(encode(bytesOf("abcabc"), 20)), bytesOf("abcabc"));
    LzwOptions options;
    options.maxBits = 21;
    std::vector<uint8_t> out;
    EXPECT_THROW(lzwCompress(options, bytesOf("abc"), out), std::invalid_argument);
}

TEST(Lzw, CompressDriverAttempts)
{
    LzwOptions defaults;
    EXPECT_FALSE(defaults.verbose);
    EXPECT_FALSE(defaults.timing);
    EXPECT_EQ(defaults.maxBits, 16u);
    EXPECT_EQ(defaults.maxBitsLimit, 0u);

    std::vector<uint8_t> out;
    LzwOptions options;
    options.verbose = true;
    testing::internal::CaptureStdout();
    lzwCompress(options, bytesOf("abc"), out);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "LZW: maxBits=16, size=         7\n");
    EXPECT_EQ(options.maxBitsLimit, 16u);
    EXPECT_EQ(toHex(out), "10 03 61 62 63 88 06");

    // Caps 9 to 16 on data that needs a few kilobytes: one line per attempt,
    // stop after the first stream shorter than 2^w bytes, keep the smallest.
    const std::vector<uint8_t> input = sample(256, 20000, 5);
    std::map<uint32_t, size_t> sizes;
    uint32_t expectedLast = 0;
    for (uint32_t w = 9; w <= 16; ++w)
    {
        sizes[w] = encode(input, w).size();
        expectedLast = w;
        if (sizes[w] < (size_t(1) << w))
            break;
    }
    uint32_t best = 9;
    for (const auto& s : sizes)
        if (s.second <= sizes[best])
            best = s.first;
    ASSERT_LT(expectedLast, 16u);
    LzwOptions range;
    range.verbose = true;
    range.maxBits = 9;
    range.maxBitsLimit = 16;
    testing::internal::CaptureStdout();
    lzwCompress(range, input, out);
    const std::string lines = testing::internal::GetCapturedStdout();
    std::string expected;
    for (const auto& s : sizes)
    {
        char line[64];
        std::snprintf(line, sizeof line, "LZW: maxBits=%2u, size=%10zu\n", s.first, s.second);
        expected += line;
    }
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(out, encode(input, best));

    // A tie goes to the wider cap: "a" gives the same size at every cap.
    LzwOptions tie;
    tie.maxBits = 2;
    tie.maxBitsLimit = 4;
    testing::internal::CaptureStdout();
    tie.verbose = true;
    lzwCompress(tie, bytesOf("aa"), out);
    // 4 bytes at cap 2 (not below 2^2), 4 bytes at cap 3 (below 2^3): stop.
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "LZW: maxBits= 2, size=         4\nLZW: maxBits= 3, size=         4\n");
    EXPECT_EQ(toHex(out), toHex(encode(bytesOf("aa"), 3)));
}

TEST(Lzw, TimingPrintsSeconds)
{
    LzwOptions options;
    options.verbose = true;
    options.timing = true;
    std::vector<uint8_t> out;
    testing::internal::CaptureStdout();
    const auto start = std::chrono::steady_clock::now();
    lzwCompress(options, sample(256, 200000, 3), out);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string line = testing::internal::GetCapturedStdout();
    const std::string head = "LZW: maxBits=16, size=";
    const size_t open = line.find("  (");
    const std::string tail = " seconds)\n";
    ASSERT_EQ(line.compare(0, head.size(), head), 0) << line;
    ASSERT_NE(open, std::string::npos) << line;
    ASSERT_GE(line.size(), open + 3 + tail.size()) << line;
    ASSERT_EQ(line.substr(line.size() - tail.size()), tail) << line;
    const std::string seconds = line.substr(open + 3, line.size() - tail.size() - open - 3);
    ASSERT_EQ(seconds.find_first_not_of("0123456789."), std::string::npos) << line;
    // Processor seconds of one thread, rounded to hundredths: never above the
    // wall time (clock ticks taken as milliseconds would be 1000 times that).
    EXPECT_LE(std::stod(seconds), wall + 0.006) << line;
}
