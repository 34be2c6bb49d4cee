#pragma once

// Code widths of the LZW stream and the rule both sides apply after every data
// code of a run. With t the run's data codes so far (the end code does not
// count) and W the current width: when A + t + 2 >= 2^W the width grows by
// one, or, at W = M, the run ends and the next code starts a new run at W0.

#include <cstdint>
#include <limits>

namespace mvhw
{

// The widest code either side accepts; the dictionary has 2^M entries.
constexpr uint32_t lzwMaxCodeBits = 20;

// The number of bits of x; 1 for 0 and 1.
constexpr uint32_t bitsNeeded(uint32_t x)
{
    uint32_t bits = 1;
    while (bits < 32 && (x >> bits) != 0)
        ++bits;
    return bits;
}

// Codes are uint32_t, and so is 2^W. The end code after a full run at W = M
// is M + 1 bits wide.
static_assert(lzwMaxCodeBits + 1 < std::numeric_limits<uint32_t>::digits, "codes and 2^M fit uint32_t");
// The header stores M in one byte.
static_assert(lzwMaxCodeBits <= std::numeric_limits<uint8_t>::max(), "M fits its header byte");
// Every alphabet, up to all 256 byte values plus the end code, has a first
// width the reader accepts.
static_assert(bitsNeeded(256 + 1) <= lzwMaxCodeBits, "a full alphabet's first width is accepted");

// True when the rule fires after a data code; alphabetPlusCodes is A + t.
// Widths are at least bitsNeeded(2) = 2, so 2^W - 2 does not wrap.
constexpr bool lzwWidthIsFull(uint32_t alphabetPlusCodes, uint32_t width)
{
    return alphabetPlusCodes >= (uint32_t(1) << width) - 2;
}

// Applies the rule after a data code: widens `width` when it is full and
// below maxWidth; returns true when the run ends instead.
inline bool lzwRunEndsAfterCode(uint32_t alphabetPlusCodes, uint32_t& width, uint32_t maxWidth)
{
    if (!lzwWidthIsFull(alphabetPlusCodes, width))
        return false;
    if (width == maxWidth)
        return true;
    ++width;
    return false;
}

} // namespace mvhw
