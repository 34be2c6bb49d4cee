#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The 8-bit sum (modulo 256) that closes a chunked block, an addressed block
// and a blob; 0 for no bytes.
inline uint8_t sumBytes(const uint8_t* bytes, std::size_t length)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(sum);
}

inline uint8_t sumBytes(const std::vector<uint8_t>& bytes)
{
    return sumBytes(bytes.data(), bytes.size());
}
