#include "device/SevenBitPacking.h"

#include <cstring>

// Whole groups move eight bytes at a time on little-endian machines: bit 7 of
// the group's seven bytes is gathered into the flags byte, or spread back,
// with one multiplication. Every partial group, and any group whose eight-byte
// load or store would leave the caller's buffers, takes the byte loop.

namespace
{

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool wordAtATime = true;
#else
constexpr bool wordAtATime = false;
#endif

constexpr int groupBytes = 7;
// Bit 0 of each of the group's seven bytes (byte 7 of the word is the next group's).
constexpr uint64_t lowBitOfGroupBytes = 0x0001010101010101ull;
// Moves bit 8i to bit 56 + i (i < 7): seven one-bit products at distinct
// positions, so no carries.
constexpr uint64_t gatherToTopByte = 0x0102040810204080ull;
// Moves bit i of the flags to bit 8i + 7 (i < 7), again without carries.
constexpr uint64_t spreadToBitSeven = 0x0002040810204080ull;
constexpr uint64_t bitSevenOfGroupBytes = 0x0080808080808080ull;
constexpr uint64_t lowSevenBits = 0x7F7F7F7F7F7F7F7Full;

uint64_t load(const uint8_t* p)
{
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

void store(uint8_t* p, uint64_t w)
{
    std::memcpy(p, &w, sizeof w);
}

int encodeGroup(uint8_t* out, const uint8_t* in, int run)
{
    uint8_t flags = 0;
    for (int i = 0; i < run; ++i)
    {
        const uint8_t b = in[i];
        if (b & 0x80)
            flags |= static_cast<uint8_t>(1u << i);
        out[1 + i] = static_cast<uint8_t>(b & 0x7F);
    }
    out[0] = flags;
    return run + 1;
}

unsigned decodeGroup(const uint8_t* in, uint8_t* out, unsigned run)
{
    const uint8_t flags = in[0];
    for (unsigned i = 0; i < run; ++i)
    {
        uint8_t b = in[1 + i];
        if (flags & (1u << i))
            b |= 0x80;
        out[i] = b;
    }
    return run;
}

} // namespace

int encodeSevenBit(uint8_t* out, const uint8_t* in, int n)
{
    int written = 0;
    int start = 0;
    if (wordAtATime)
    {
        // Eight bytes are loaded and stored; the eighth is the next group's
        // first input byte and its flags byte, which the next group writes.
        for (; n - start >= groupBytes + 1; start += groupBytes, written += groupBytes + 1)
        {
            const uint64_t w = load(in + start);
            out[written] = static_cast<uint8_t>((((w >> 7) & lowBitOfGroupBytes) * gatherToTopByte) >> 56);
            store(out + written + 1, w & lowSevenBits);
        }
    }
    for (; start < n; start += groupBytes)
        written += encodeGroup(out + written, in + start, n - start < groupBytes ? n - start : groupBytes);
    return written;
}

unsigned decodeSevenBit(const uint8_t* in, uint8_t* out, unsigned n)
{
    unsigned written = 0;
    unsigned pos = 0;
    if (wordAtATime)
    {
        // The eight bytes loaded after the flags end with the next group's
        // flags byte; the eighth byte stored is overwritten by the next group,
        // which holds at least one data byte.
        constexpr unsigned wordGroupNeeds = (groupBytes + 1) + 2;
        for (; n - pos >= wordGroupNeeds; pos += groupBytes + 1, written += groupBytes)
        {
            const uint64_t flags = in[pos] & 0x7F;
            const uint64_t spread = (flags * spreadToBitSeven) & bitSevenOfGroupBytes;
            store(out + written, load(in + pos + 1) | spread);
        }
    }
    while (n - pos >= 2)
    {
        const unsigned run = (n - pos - 1 < groupBytes) ? n - pos - 1 : groupBytes;
        written += decodeGroup(in + pos, out + written, run);
        pos += run + 1;
    }
    return written;
}
