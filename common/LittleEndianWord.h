#pragma once

// Little-endian words, the byte order of the firmware image and its info
// block, the packed command payloads, the packed preset forms and the LZW
// code packer: byte 0 holds the lowest 8 bits. JUCE-free and header-only,
// for every library of the project.

#include <cstdint>
#include <vector>

// The 32-bit word in the four bytes at `at`.
inline uint32_t readLe32(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

// Writes the low `bytes` bytes (at most 4) of value at `at`, least
// significant first.
inline void writeLe(uint8_t* at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = uint8_t(value >> (8 * i));
}

inline void writeLe32(uint8_t* at, uint32_t word)
{
    at[0] = uint8_t(word);
    at[1] = uint8_t(word >> 8);
    at[2] = uint8_t(word >> 16);
    at[3] = uint8_t(word >> 24);
}

// Appends the word's four bytes in one insert (faster than four push_backs
// in a loop of words).
inline void appendLe32(std::vector<uint8_t>& out, uint32_t word)
{
    uint8_t bytes[4];
    writeLe32(bytes, word);
    out.insert(out.end(), bytes, bytes + 4);
}
