#pragma once

// The command payloads written from the wire format alone, apart from the
// library's packers: little-endian fields and the few MessagePack items the
// bodies use (big-endian). Frames and 7-bit groups come from
// tests/device/ScriptedDevice.h.

#include "tests/device/ScriptedDevice.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace wire
{

using Bytes = std::vector<uint8_t>;

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes le(uint64_t value, int bytes)
{
    Bytes out;
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
    return out;
}

inline Bytes u32(uint32_t value)
{
    return le(value, 4);
}

inline uint32_t floatBits(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

// MessagePack items.
inline Bytes mpUint(uint64_t v)
{
    if (v <= 0x7F)
        return {uint8_t(v)};
    if (v <= 0xFF)
        return {0xCC, uint8_t(v)};
    if (v <= 0xFFFF)
        return {0xCD, uint8_t(v >> 8), uint8_t(v)};
    return {0xCE, uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

inline Bytes mpFloat(float f)
{
    const uint32_t b = floatBits(f);
    return {0xCA, uint8_t(b >> 24), uint8_t(b >> 16), uint8_t(b >> 8), uint8_t(b)};
}

inline Bytes mpBool(bool b)
{
    return {uint8_t(b ? 0xC3 : 0xC2)};
}

inline Bytes mpArray(uint32_t n)
{
    if (n <= 15)
        return {uint8_t(0x90 | n)};
    return {0xDC, uint8_t(n >> 8), uint8_t(n)};
}

// A 32-byte string field: its length with the NUL (at most 31 characters
// travel), then a str of exactly that many bytes.
inline Bytes mpField(const std::string& text)
{
    const std::string cut = text.substr(0, 31);
    const uint8_t length = uint8_t(cut.size() + 1);
    Bytes out = mpUint(length);
    if (length < 32)
        out.push_back(uint8_t(0xA0 | length));
    else
        out.insert(out.end(), {0xD9, length});
    out.insert(out.end(), cut.begin(), cut.end());
    out.push_back(0);
    return out;
}

// A list payload: the count, then the entries.
inline Bytes list(uint32_t count, const Bytes& entries)
{
    return cat({u32(count), entries});
}

inline uint8_t sum8(const Bytes& b)
{
    uint8_t s = 0;
    for (uint8_t x : b)
        s = uint8_t(s + x);
    return s;
}

// The chunks of an addressed block (command 1): total, index, [A, B on
// chunk 0], L, data, [the block's sum on the last].
inline std::vector<Bytes> blockChunks(const Bytes& block, size_t chunkSize, uint8_t a, uint8_t b)
{
    const size_t total = (block.size() + chunkSize - 1) / chunkSize;
    std::vector<Bytes> chunks;
    for (size_t i = 0; i < total; ++i)
    {
        const size_t from = i * chunkSize;
        const size_t n = std::min(chunkSize, block.size() - from);
        Bytes c{uint8_t(total), uint8_t(i)};
        if (i == 0)
            c = cat({c, {a, b}});
        c = cat({c, {uint8_t(n)}, Bytes(block.begin() + long(from), block.begin() + long(from + n))});
        if (i + 1 == total)
            c.push_back(sum8(block));
        chunks.push_back(c);
    }
    return chunks;
}

// The chunks of a chunked-data block (command 45): the data and its sum in
// pieces of 255, each led by total, index and length.
inline std::vector<Bytes> chunkedChunks(const Bytes& data)
{
    const Bytes all = cat({data, {sum8(data)}});
    const size_t total = (all.size() + 254) / 255;
    std::vector<Bytes> chunks;
    for (size_t i = 0; i < total; ++i)
    {
        const size_t from = i * 255;
        const size_t n = std::min<size_t>(255, all.size() - from);
        chunks.push_back(cat({{uint8_t(total), uint8_t(i), uint8_t(n)},
                              Bytes(all.begin() + long(from), all.begin() + long(from + n))}));
    }
    return chunks;
}

// Bytes a reply frame of n decoded payload bytes takes.
inline size_t frameSizeFor(size_t n)
{
    return n + (n + 6) / 7 + 7;
}

} // namespace wire
