#pragma once

// Inputs and checked encode/decode calls shared by the LZW tests.

#include "presets/LzwCodec.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace lzwtest
{

inline std::vector<uint8_t> bytesOf(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

inline std::vector<uint8_t> encode(const std::vector<uint8_t>& input, uint32_t cap)
{
    std::vector<uint8_t> out{0xEE}; // must be cleared
    mvhw::lzwEncode(input, out, cap);
    return out;
}

inline std::vector<uint8_t> decode(const std::vector<uint8_t>& stream, size_t limit = SIZE_MAX)
{
    std::vector<uint8_t> out{0xEE}; // must be cleared
    mvhw::lzwDecode(stream, out, limit);
    return out;
}

// Uniform pseudo-random input over `alphabet` distinct values spread over
// 0..255, starting with every value once.
inline std::vector<uint8_t> sample(uint32_t alphabet, size_t length, uint32_t seed)
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

} // namespace lzwtest
