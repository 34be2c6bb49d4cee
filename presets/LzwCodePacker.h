#pragma once

// The encoder's LSB-first code packer into output, four bytes at a time.
// While packing, output runs ahead of the `used` bytes written, by at least
// the 4 bytes that finish() may still write; finish() must run before output
// is used.

#include "common/LittleEndianWord.h"
#include "presets/LzwCodeWidth.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace mvhw
{

class LzwCodePacker
{
public:
    // The widest code: the end code after a full run at M.
    static constexpr uint32_t maxWidth = lzwMaxCodeBits + 1;

    explicit LzwCodePacker(std::vector<uint8_t>& output) : out(output), used(output.size())
    {
        out.resize(std::max(used + roomBytes, std::min(out.capacity(), used + 4096)));
    }

    // width is at most maxWidth bits.
    void put(uint32_t code, uint32_t width)
    {
        pending |= uint64_t(code) << pendingBits;
        pendingBits += width;
        if (pendingBits >= flushBits)
        {
            if (out.size() - used < roomBytes)
                grow();
            writeLe32(out.data() + used, uint32_t(pending));
            used += flushBits / 8;
            pending >>= flushBits;
            pendingBits -= flushBits;
        }
    }

    // Writes the last partial bytes (unused high bits 0) and trims output.
    void finish()
    {
        for (; pendingBits > 0; pendingBits = pendingBits > 8 ? pendingBits - 8 : 0)
        {
            out[used++] = uint8_t(pending);
            pending >>= 8;
        }
        out.resize(used);
    }

private:
    // Whole 32-bit words leave pending; fewer bits than that stay behind,
    // and the next code lands above them.
    static constexpr uint32_t flushBits = std::numeric_limits<uint32_t>::digits;
    static_assert((flushBits - 1) + maxWidth <= 64, "pending holds the bits left behind and one more code");
    // Bytes kept ahead of `used`: one word, and the bytes finish() may write.
    static constexpr size_t roomBytes = 8;
    static_assert(flushBits / 8 + (flushBits - 1 + 7) / 8 <= roomBytes, "a word and finish() fit the room");

    // Grows output by a quarter: zero-filling touches every page, so the
    // size stays close to what is written (the vector's own reallocations,
    // past the reserved capacity, are geometric).
    __attribute__((noinline)) void grow()
    {
        out.resize(std::max(used + roomBytes, out.size() + out.size() / 4));
    }

    std::vector<uint8_t>& out;
    size_t used;
    uint64_t pending = 0;
    uint32_t pendingBits = 0;
};

} // namespace mvhw
