#pragma once

// The MessagePack writer's item encoders, inline so that the message bodies
// pack their runs of items (an array's elements above all) without a call per
// item. The pack functions of MessagePack.h are these, called out of line.
// Integers, strings and array headers take their shortest form, strings of
// 32..255 bytes aside in a compatible context. Not part of the library's
// interface.

#include "commands/MessagePack.h"
#include "commands/MessagePackDetail.h"

#include <cstdint>
#include <cstring>

namespace mpk_detail
{

// The slow path of reserve(): the item does not fit, so ask the handler if
// any. A size beyond 32 bits cannot be handed to it and always overflows.
[[gnu::noinline]] bool reserveFromHandler(PackContext& context, uint64_t n);

// Makes sure n bytes can be written at current. The size is compared as a
// 64-bit count against what is left, so a header plus a 32-bit length never
// wraps.
inline bool reserve(PackContext& context, uint64_t n)
{
    return (context.returnCode == MPK_RC_OK && n <= bytesLeft(context.current, context.end)) ||
           reserveFromHandler(context, n);
}

inline void put8(uint8_t*& p, uint8_t v)
{
    *p++ = v;
}

inline void put16(uint8_t*& p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
    p += 2;
}

inline void put32(uint8_t*& p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
    p += 4;
}

inline void put64(uint8_t*& p, uint64_t v)
{
    put32(p, static_cast<uint32_t>(v >> 32));
    put32(p, static_cast<uint32_t>(v));
}

// The shortest unsigned form: positive fixint, then uint8 to uint64.
inline void writeUnsigned(PackContext& context, uint64_t value)
{
    if (value < 128)
    {
        if (reserve(context, 1))
            put8(context.current, static_cast<uint8_t>(value));
    }
    else if (value < 256)
    {
        if (reserve(context, 2))
        {
            put8(context.current, 0xCC);
            put8(context.current, static_cast<uint8_t>(value));
        }
    }
    else if (value < 65536)
    {
        if (reserve(context, 3))
        {
            put8(context.current, 0xCD);
            put16(context.current, static_cast<uint16_t>(value));
        }
    }
    else if (value <= UINT32_MAX)
    {
        if (reserve(context, 5))
        {
            put8(context.current, 0xCE);
            put32(context.current, static_cast<uint32_t>(value));
        }
    }
    else if (reserve(context, 9))
    {
        put8(context.current, 0xCF);
        put64(context.current, value);
    }
}

inline void writeString(PackContext& context, const void* data, uint32_t length)
{
    unsigned header;
    if (length < 32)
        header = 1;
    else if (length < 256 && !context.compatible)
        header = 2;
    else if (length < 65536)
        header = 3;
    else
        header = 5;
    if (!reserve(context, uint64_t(header) + length))
        return;
    // Work on a local pointer: the byte stores may alias the context.
    uint8_t* p = context.current;
    if (length != 0)
        std::memcpy(p + header, data, length);
    switch (header)
    {
        case 1:
            put8(p, static_cast<uint8_t>(0xA0 | length));
            break;
        case 2:
            put8(p, 0xD9);
            put8(p, static_cast<uint8_t>(length));
            break;
        case 3:
            put8(p, 0xDA);
            put16(p, static_cast<uint16_t>(length));
            break;
        default:
            put8(p, 0xDB);
            put32(p, length);
            break;
    }
    context.current = p + length;
}

inline void writeArraySize(PackContext& context, uint32_t count)
{
    if (count < 16)
    {
        if (reserve(context, 1))
            put8(context.current, static_cast<uint8_t>(0x90 | count));
    }
    else if (count < 65536)
    {
        if (reserve(context, 3))
        {
            put8(context.current, 0xDC);
            put16(context.current, static_cast<uint16_t>(count));
        }
    }
    else if (reserve(context, 5))
    {
        put8(context.current, 0xDD);
        put32(context.current, count);
    }
}

inline void writeFloat(PackContext& context, float value)
{
    if (!reserve(context, 5))
        return;
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    put8(context.current, 0xCA);
    put32(context.current, bits);
}

inline void writeBoolean(PackContext& context, bool value)
{
    if (reserve(context, 1))
        put8(context.current, value ? 0xC3 : 0xC2);
}

} // namespace mpk_detail
