#pragma once

// 32-bit little-endian words, the byte order of the packed preset forms, their
// length words and the LZW code packer: byte 0 holds the lowest 8 bits.

#include <cstdint>
#include <vector>

namespace mvhw
{

// Writes word into the four bytes at `at`.
inline void storeWord(uint8_t* at, uint32_t word)
{
    at[0] = uint8_t(word);
    at[1] = uint8_t(word >> 8);
    at[2] = uint8_t(word >> 16);
    at[3] = uint8_t(word >> 24);
}

// The word in the four bytes at `at`.
inline uint32_t loadWord(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

inline void appendWord(std::vector<uint8_t>& out, uint32_t word)
{
    uint8_t bytes[4];
    storeWord(bytes, word);
    out.insert(out.end(), bytes, bytes + 4);
}

} // namespace mvhw
