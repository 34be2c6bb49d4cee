#pragma once

// Read position in a packed preset buffer. Every read is bounded by the
// buffer's size: a read that does not fit fails and leaves the offset alone.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace mvhw
{

struct PresetReadCursor
{
    uint32_t offset = 0;
    const std::vector<uint8_t>* bytes = nullptr;

    // Bytes left after the offset; 0 without a buffer or past its end. The
    // offset is 32 bits, so a larger buffer is read only up to 4 GiB - 1.
    uint64_t remaining() const
    {
        if (bytes == nullptr)
            return 0;
        const uint64_t end = std::min<uint64_t>(bytes->size(), UINT32_MAX);
        return offset >= end ? 0 : end - offset;
    }

    // The next unread byte; only valid while remaining() > 0.
    const uint8_t* position() const { return bytes->data() + offset; }

    // Reads one little-endian 32-bit word and steps over it.
    bool readWord(uint32_t& word)
    {
        if (remaining() < 4)
            return false;
        const uint8_t* p = position();
        word = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        offset += 4;
        return true;
    }

    // Reads one IEEE 754 single-precision value stored little-endian.
    bool readFloat(float& value)
    {
        uint32_t word = 0;
        if (!readWord(word))
            return false;
        std::memcpy(&value, &word, sizeof value);
        return true;
    }

    // Steps over count bytes when they are all there.
    bool skip(uint64_t count)
    {
        if (remaining() < count)
            return false;
        offset += uint32_t(count);
        return true;
    }
};

} // namespace mvhw
