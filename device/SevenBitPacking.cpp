#include "device/SevenBitPacking.h"

int encodeSevenBit(uint8_t* out, const uint8_t* in, int n)
{
    int written = 0;
    for (int start = 0; start < n; start += 7)
    {
        const int run = (n - start < 7) ? n - start : 7;
        uint8_t flags = 0;
        uint8_t* flagsByte = out + written++;
        for (int i = 0; i < run; ++i)
        {
            const uint8_t b = in[start + i];
            if (b & 0x80)
                flags |= static_cast<uint8_t>(1u << i);
            out[written++] = static_cast<uint8_t>(b & 0x7F);
        }
        *flagsByte = flags;
    }
    return written;
}

unsigned decodeSevenBit(const uint8_t* in, uint8_t* out, unsigned n)
{
    unsigned written = 0;
    unsigned pos = 0;
    while (n - pos >= 2)
    {
        const uint8_t flags = in[pos];
        const unsigned run = (n - pos - 1 < 7) ? n - pos - 1 : 7;
        for (unsigned i = 0; i < run; ++i)
        {
            uint8_t b = in[pos + 1 + i];
            if (flags & (1u << i))
                b |= 0x80;
            out[written++] = b;
        }
        pos += run + 1;
    }
    return written;
}
