// The driver that tries several caps, and compressString's framing.
#include "presets/LzwCompress.h"
#include "presets/LzwCodec.h"

#include "LzwTestInputs.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>

using namespace mvhw;
using namespace lzwtest;
using testbytes::toHex;

TEST(LzwCompress, CompressStringFrames)
{
    EXPECT_EQ(toHex(compressString("abc")), "07 00 00 00 10 03 61 62 63 88 06 00");
    EXPECT_EQ(toHex(compressString("a")), "04 00 00 00 10 01 61 04");
    EXPECT_EQ(toHex(compressString("")), "04 00 00 00 10 01 00 01");
}

TEST(LzwCompress, CapsAboveTwentyAreRefused)
{
    LzwOptions options;
    options.maxBits = 21;
    std::vector<uint8_t> out;
    EXPECT_THROW(lzwCompress(options, bytesOf("abc"), out), std::invalid_argument);
}

TEST(LzwCompress, CompressDriverAttempts)
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

TEST(LzwCompress, TimingPrintsSeconds)
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
