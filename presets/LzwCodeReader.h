#pragma once

// The decoder's LSB-first code reader. It never reads past the stream's end.

#include "presets/LzwCodeWidth.h"

#include <cstdint>
#include <cstring>

namespace mvhw
{

class LzwCodeReader
{
public:
    LzwCodeReader(const uint8_t* begin, const uint8_t* end) : pos(begin), stop(end) {}

    // Reads a code of width bits (at most lzwMaxCodeBits); false when the
    // stream ends first.
    bool read(uint32_t width, uint32_t& code)
    {
        if (available < width)
        {
            if (stop - pos >= 8)
            {
                // Take as many whole bytes as fit. The bits of the next,
                // partly taken byte land above `available` in `bits`; the
                // next refill ORs the same bits there again.
                bits |= loadLittleEndian64(pos) << available;
                pos += (63 - available) >> 3;
                available |= refilledBits;
            }
            else
            {
                while (available < width)
                {
                    if (pos == stop)
                        return false;
                    bits |= uint64_t(*pos++) << available;
                    available += 8;
                }
            }
        }
        code = uint32_t(bits & ((uint64_t(1) << width) - 1));
        bits >>= width;
        available -= width;
        return true;
    }

private:
    // A refill leaves at least this many bits: whole bytes of a 64-bit word
    // above fewer than 8 bits left.
    static constexpr uint32_t refilledBits = 56;
    static_assert(lzwMaxCodeBits <= refilledBits, "one refill holds the widest code");
    static_assert(lzwMaxCodeBits <= 32, "a code fits uint32_t");

    // Eight bytes as a little-endian word.
    static uint64_t loadLittleEndian64(const uint8_t* p)
    {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        word = __builtin_bswap64(word);
#endif
        return word;
    }

    const uint8_t* pos;
    const uint8_t* stop;
    uint64_t bits = 0; // `available` bits not yet read, then possibly bits of the next byte
    uint32_t available = 0;
};

} // namespace mvhw
