// The encoder against an independent model of the stream, written from the
// format's rule: byte for byte across width changes and resets, and round
// trips through the decoder.
#include "presets/LzwCodec.h"

#include "LzwTestInputs.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <tuple>
#include <unordered_map>

using namespace mvhw;
using namespace lzwtest;
using testbytes::toHex;

namespace
{

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

} // namespace

TEST(LzwReferenceEncoder, SweepsCrossEveryWidthChangeAndReset)
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

TEST(LzwReferenceEncoder, ThousandsOfResets)
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

TEST(LzwReferenceEncoder, LargeInput)
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
