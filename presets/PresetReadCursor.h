#pragma once

// Bounded reads in a packed preset buffer: a read that does not fit fails and
// leaves the position alone. PresetReadCursor is the read position in a byte
// vector; the free functions read caller buffers of a given size.

#include "common/LittleEndianWord.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace mvhw
{

// Bytes after position in a buffer of size bytes; 0 at or past its end.
inline uint64_t bytesAfter(uint64_t size, uint64_t position)
{
    return position >= size ? 0 : size - position;
}

// The little-endian word at data + position, when all four bytes are there.
// The position is 64 bits wide, so sums of lengths read from the data never
// wrap onto other bytes.
inline bool wordAt(const uint8_t* data, uint64_t size, uint64_t position, uint32_t& word)
{
    if (data == nullptr || bytesAfter(size, position) < 4)
        return false;
    word = readLe32(data + position);
    return true;
}

// A running 32-bit read offset reaches only the first 4 GiB - 1 of a buffer.
inline uint64_t offsetReach(uint64_t size)
{
    return std::min<uint64_t>(size, UINT32_MAX);
}

// Reads the word at data + offset and steps the offset over it.
inline bool readWordAt(const uint8_t* data, uint64_t size, uint32_t& offset, uint32_t& word)
{
    if (!wordAt(data, offsetReach(size), offset, word))
        return false;
    offset += 4;
    return true;
}

// Reads one IEEE 754 single-precision value stored little-endian.
inline bool readFloatAt(const uint8_t* data, uint64_t size, uint32_t& offset, float& value)
{
    uint32_t word = 0;
    if (!readWordAt(data, size, offset, word))
        return false;
    std::memcpy(&value, &word, sizeof value);
    return true;
}

struct PresetReadCursor
{
    uint32_t offset = 0;
    const std::vector<uint8_t>* bytes = nullptr;

    // Bytes left after the offset; 0 without a buffer or past its end. The
    // offset is 32 bits, so a larger buffer is read only up to 4 GiB - 1.
    uint64_t remaining() const
    {
        return bytes == nullptr ? 0 : bytesAfter(offsetReach(bytes->size()), offset);
    }

    // The next unread byte; only valid while remaining() > 0.
    const uint8_t* position() const { return bytes->data() + offset; }

    // Reads one little-endian 32-bit word and steps over it.
    bool readWord(uint32_t& word)
    {
        return bytes != nullptr && readWordAt(bytes->data(), bytes->size(), offset, word);
    }

    // Reads one IEEE 754 single-precision value stored little-endian.
    bool readFloat(float& value)
    {
        return bytes != nullptr && readFloatAt(bytes->data(), bytes->size(), offset, value);
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
