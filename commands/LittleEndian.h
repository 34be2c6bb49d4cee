#pragma once

#include <cstdint>

// The little-endian fields of the packed payloads.

// Writes the low `bytes` bytes of value, least significant first.
inline void putLittleEndian(uint8_t* out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void putU32(uint8_t* out, uint32_t value)
{
    putLittleEndian(out, value, 4);
}

inline uint32_t getU32(const uint8_t* in)
{
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}
