#pragma once

// The LZW driver: tries one or more caps and keeps the smallest stream.

#include <cstdint>
#include <string>
#include <vector>

namespace mvhw
{

struct LzwOptions
{
    LzwOptions() : verbose(false), timing(false), maxBits(16), maxBitsLimit(0) {}

    bool verbose;          // one line per attempt on standard output
    bool timing;           // add each attempt's processor seconds to its line
    uint32_t maxBits;      // the first cap tried
    uint32_t maxBitsLimit; // the last cap tried; raised to maxBits when smaller
};

// Encodes input with caps maxBits, maxBits + 1, ... until a stream is smaller
// than 2^cap bytes or the cap reaches maxBitsLimit; output holds the smallest
// stream (the wider cap on a tie). Throws std::invalid_argument for a cap
// above lzwMaxCodeBits.
void lzwCompress(LzwOptions& options, const std::vector<uint8_t>& input, std::vector<uint8_t>& output);

// The stream of text at cap 16, framed as its length (u32, little-endian),
// the stream and zero bytes up to a multiple of 4. Empty after any exception.
std::vector<uint8_t> compressString(const std::string& text);

} // namespace mvhw
