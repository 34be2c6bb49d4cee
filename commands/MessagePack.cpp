#include "commands/MessagePack.h"

#include <cstring>

namespace
{

// Bytes between current and end; 0 for a context whose pointers are unset.
template <typename Pointer> uint64_t bytesLeft(Pointer current, Pointer end)
{
    return (current != nullptr && current < end) ? static_cast<uint64_t>(end - current) : 0;
}

// Makes sure n bytes can be written at current. The size is compared as a
// 64-bit count against what is left, so a header plus a 32-bit length never
// wraps.
bool reserve(PackContext& context, uint64_t n)
{
    if (context.returnCode != MPK_RC_OK)
        return false;
    if (n <= bytesLeft(context.current, context.end))
        return true;
    if (context.overflowHandler == nullptr || n > UINT32_MAX)
    {
        context.returnCode = MPK_RC_BUFFER_OVERFLOW;
        return false;
    }
    const int result = context.overflowHandler(context, static_cast<uint32_t>(n));
    if (result != 0)
    {
        context.returnCode = result;
        return false;
    }
    return true;
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

inline uint64_t getBigEndian(const uint8_t* p, unsigned size)
{
    uint64_t v = 0;
    for (unsigned i = 0; i < size; ++i)
        v = (v << 8) | p[i];
    return v;
}

void failRead(UnpackContext& context, int32_t code)
{
    context.returnCode = code;
    context.item.type = PackedItemType::NotAnItem;
}

// Makes sure k more bytes of the current item can be read at current.
bool need(UnpackContext& context, uint32_t k)
{
    if (k <= bytesLeft(context.current, context.end))
        return true;
    if (context.underflowHandler == nullptr)
    {
        failRead(context, MPK_RC_BUFFER_UNDERFLOW);
        return false;
    }
    const int result = context.underflowHandler(context, k);
    if (result != 0)
    {
        // The input ended inside an item, whatever the handler calls it.
        failRead(context, result == MPK_RC_END_OF_INPUT ? MPK_RC_BUFFER_UNDERFLOW : result);
        return false;
    }
    return true;
}

// Reads a big-endian unsigned field of `size` bytes.
bool readUnsigned(UnpackContext& context, unsigned size, uint64_t& out)
{
    if (!need(context, size))
        return false;
    out = getBigEndian(context.current, size);
    context.current += size;
    return true;
}

bool readSigned(UnpackContext& context, unsigned size)
{
    uint64_t raw = 0;
    if (!readUnsigned(context, size, raw))
        return false;
    const unsigned shift = 64 - 8 * size;
    // Sign-extend through the top bits.
    const int64_t value = static_cast<int64_t>(raw << shift) >> shift;
    if (value < 0)
    {
        context.item.type = PackedItemType::NegativeInteger;
        context.item.value.asSigned = value;
    }
    else
    {
        context.item.type = PackedItemType::PositiveInteger;
        context.item.value.asUnsigned = static_cast<uint64_t>(value);
    }
    return true;
}

// Points the item's blob at the next `length` bytes and skips them.
bool readBlob(UnpackContext& context, uint32_t length)
{
    if (!need(context, length))
        return false;
    context.item.value.asBlob.start = context.current;
    context.item.value.asBlob.length = length;
    context.current += length;
    return true;
}

// A str or bin item whose length field has `lengthSize` bytes.
void readSizedBlob(UnpackContext& context, int32_t type, unsigned lengthSize)
{
    uint64_t length = 0;
    if (!readUnsigned(context, lengthSize, length))
        return;
    context.item.type = type;
    readBlob(context, static_cast<uint32_t>(length));
}

// An ext item: `lengthSize` length bytes (0 for fixext with fixedLength),
// then the type byte, then the data.
void readExt(UnpackContext& context, unsigned lengthSize, uint32_t fixedLength)
{
    uint64_t length = fixedLength;
    if (lengthSize != 0 && !readUnsigned(context, lengthSize, length))
        return;
    context.item.type = PackedItemType::Ext;
    uint64_t extType = 0;
    if (!readUnsigned(context, 1, extType))
        return;
    if (!readBlob(context, static_cast<uint32_t>(length)))
        return;
    context.item.type = static_cast<int8_t>(static_cast<uint8_t>(extType));
}

void readCount(UnpackContext& context, int32_t type, unsigned size)
{
    uint64_t count = 0;
    if (!readUnsigned(context, size, count))
        return;
    context.item.type = type;
    context.item.value.asCount = static_cast<uint32_t>(count);
}

} // namespace

int initPackContext(PackContext& context, uint8_t* buffer, uint32_t length)
{
    context.start = buffer;
    context.current = buffer;
    context.end = buffer != nullptr ? buffer + length : nullptr;
    context.compatible = false;
    context.returnCode = MPK_RC_OK;
    context.errorNumber = 0;
    context.overflowHandler = nullptr;
    return MPK_RC_OK;
}

void packUnsigned(PackContext& context, uint64_t value)
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

void packString(PackContext& context, const void* data, uint32_t length)
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
    uint8_t*& p = context.current;
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
    if (length != 0)
        std::memcpy(p, data, length);
    p += length;
}

void packArraySize(PackContext& context, uint32_t count)
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

void packFloat(PackContext& context, float value)
{
    if (!reserve(context, 5))
        return;
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    put8(context.current, 0xCA);
    put32(context.current, bits);
}

void packBoolean(PackContext& context, bool value)
{
    if (reserve(context, 1))
        put8(context.current, value ? 0xC3 : 0xC2);
}

int initUnpackContext(UnpackContext& context, const void* data, uint32_t length)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    context.start = bytes;
    context.current = bytes;
    context.end = bytes != nullptr ? bytes + length : nullptr;
    context.returnCode = MPK_RC_OK;
    context.errorNumber = 0;
    context.underflowHandler = nullptr;
    return MPK_RC_OK;
}

void unpackNext(UnpackContext& context)
{
    if (context.returnCode != MPK_RC_OK)
        return;

    if (bytesLeft(context.current, context.end) < 1)
    {
        if (context.underflowHandler == nullptr)
        {
            failRead(context, MPK_RC_END_OF_INPUT);
            return;
        }
        const int result = context.underflowHandler(context, 1);
        if (result != 0)
        {
            failRead(context, result);
            return;
        }
    }

    const uint8_t typeByte = *context.current++;
    PackedItem& item = context.item;
    uint64_t raw = 0;

    if (typeByte <= 0x7F)
    {
        item.type = PackedItemType::PositiveInteger;
        item.value.asUnsigned = typeByte;
    }
    else if (typeByte <= 0x8F)
    {
        item.type = PackedItemType::Map;
        item.value.asCount = typeByte & 0x0Fu;
    }
    else if (typeByte <= 0x9F)
    {
        item.type = PackedItemType::Array;
        item.value.asCount = typeByte & 0x0Fu;
    }
    else if (typeByte <= 0xBF)
    {
        item.type = PackedItemType::Str;
        readBlob(context, typeByte & 0x1Fu);
    }
    else if (typeByte >= 0xE0)
    {
        item.type = PackedItemType::NegativeInteger;
        item.value.asSigned = static_cast<int8_t>(typeByte);
    }
    else
    {
        switch (typeByte)
        {
            case 0xC0:
                item.type = PackedItemType::Nil;
                break;
            case 0xC1:
                failRead(context, MPK_RC_MALFORMED_INPUT);
                break;
            case 0xC2:
            case 0xC3:
                item.type = PackedItemType::Boolean;
                item.value.asBool = typeByte == 0xC3;
                break;
            case 0xC4:
                readSizedBlob(context, PackedItemType::Bin, 1);
                break;
            case 0xC5:
                readSizedBlob(context, PackedItemType::Bin, 2);
                break;
            case 0xC6:
                readSizedBlob(context, PackedItemType::Bin, 4);
                break;
            case 0xC7:
                readExt(context, 1, 0);
                break;
            case 0xC8:
                readExt(context, 2, 0);
                break;
            case 0xC9:
                readExt(context, 4, 0);
                break;
            case 0xCA:
                if (readUnsigned(context, 4, raw))
                {
                    const uint32_t bits = static_cast<uint32_t>(raw);
                    item.type = PackedItemType::Float;
                    std::memcpy(&item.value.asFloat, &bits, sizeof bits);
                }
                break;
            case 0xCB:
                if (readUnsigned(context, 8, raw))
                {
                    item.type = PackedItemType::Double;
                    std::memcpy(&item.value.asDouble, &raw, sizeof raw);
                }
                break;
            case 0xCC:
            case 0xCD:
            case 0xCE:
            case 0xCF:
                if (readUnsigned(context, 1u << (typeByte - 0xCC), raw))
                {
                    item.type = PackedItemType::PositiveInteger;
                    item.value.asUnsigned = raw;
                }
                break;
            case 0xD0:
            case 0xD1:
            case 0xD2:
            case 0xD3:
                readSigned(context, 1u << (typeByte - 0xD0));
                break;
            case 0xD4:
            case 0xD5:
            case 0xD6:
            case 0xD7:
            case 0xD8:
                readExt(context, 0, 1u << (typeByte - 0xD4));
                break;
            case 0xD9:
                readSizedBlob(context, PackedItemType::Str, 1);
                break;
            case 0xDA:
                readSizedBlob(context, PackedItemType::Str, 2);
                break;
            case 0xDB:
                readSizedBlob(context, PackedItemType::Str, 4);
                break;
            case 0xDC:
                readCount(context, PackedItemType::Array, 2);
                break;
            case 0xDD:
                readCount(context, PackedItemType::Array, 4);
                break;
            case 0xDE:
                readCount(context, PackedItemType::Map, 2);
                break;
            default: // 0xDF
                readCount(context, PackedItemType::Map, 4);
                break;
        }
    }
}
