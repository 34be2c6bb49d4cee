#include "commands/MessagePack.h"

#include <cstring>

namespace
{

// Bytes between current and end; 0 for a context whose pointers are unset.
template <typename Pointer> uint64_t bytesLeft(Pointer current, Pointer end)
{
    return (current != nullptr && current < end) ? static_cast<uint64_t>(end - current) : 0;
}

// The slow path of reserve(): the item does not fit, so ask the handler if
// any. A size beyond 32 bits cannot be handed to it and always overflows.
[[gnu::noinline]] bool reserveFromHandler(PackContext& context, uint64_t n)
{
    if (context.returnCode != MPK_RC_OK)
        return false;
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

template <unsigned Size> inline uint64_t loadBigEndian(const uint8_t* p)
{
    uint64_t v = 0;
    for (unsigned i = 0; i < Size; ++i)
        v = (v << 8) | p[i];
    return v;
}

void failRead(UnpackContext& context, int32_t code)
{
    context.returnCode = code;
    context.item.type = PackedItemType::NotAnItem;
}

// The slow path of need(): the input is short, so ask the handler if any.
[[gnu::noinline]] bool needFromHandler(UnpackContext& context, uint32_t k)
{
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

// Makes sure k more bytes of the current item can be read at current.
inline bool need(UnpackContext& context, uint32_t k)
{
    return k <= bytesLeft(context.current, context.end) || needFromHandler(context, k);
}

// Reads a big-endian unsigned field of Size bytes.
template <unsigned Size> inline bool readUnsigned(UnpackContext& context, uint64_t& out)
{
    if (!need(context, Size))
        return false;
    out = loadBigEndian<Size>(context.current);
    context.current += Size;
    return true;
}

template <unsigned Size> void readPositive(UnpackContext& context)
{
    uint64_t raw = 0;
    if (!readUnsigned<Size>(context, raw))
        return;
    context.item.type = PackedItemType::PositiveInteger;
    context.item.value.asUnsigned = raw;
}

template <unsigned Size> void readSigned(UnpackContext& context)
{
    uint64_t raw = 0;
    if (!readUnsigned<Size>(context, raw))
        return;
    constexpr unsigned shift = 64 - 8 * Size;
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

// A str or bin item whose length field has LengthSize bytes.
template <unsigned LengthSize> void readSizedBlob(UnpackContext& context, int32_t type)
{
    uint64_t length = 0;
    if (!readUnsigned<LengthSize>(context, length))
        return;
    context.item.type = type;
    readBlob(context, static_cast<uint32_t>(length));
}

// The type byte and the data of an ext item with `length` data bytes.
void readExtBody(UnpackContext& context, uint64_t length)
{
    context.item.type = PackedItemType::Ext;
    uint64_t extType = 0;
    if (!readUnsigned<1>(context, extType))
        return;
    if (!readBlob(context, static_cast<uint32_t>(length)))
        return;
    context.item.type = static_cast<int8_t>(static_cast<uint8_t>(extType));
}

// An ext item with a LengthSize-byte length field.
template <unsigned LengthSize> void readExt(UnpackContext& context)
{
    uint64_t length = 0;
    if (readUnsigned<LengthSize>(context, length))
        readExtBody(context, length);
}

template <unsigned Size> void readCount(UnpackContext& context, int32_t type)
{
    uint64_t count = 0;
    if (!readUnsigned<Size>(context, count))
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
                readSizedBlob<1>(context, PackedItemType::Bin);
                break;
            case 0xC5:
                readSizedBlob<2>(context, PackedItemType::Bin);
                break;
            case 0xC6:
                readSizedBlob<4>(context, PackedItemType::Bin);
                break;
            case 0xC7:
                readExt<1>(context);
                break;
            case 0xC8:
                readExt<2>(context);
                break;
            case 0xC9:
                readExt<4>(context);
                break;
            case 0xCA:
                if (readUnsigned<4>(context, raw))
                {
                    const uint32_t bits = static_cast<uint32_t>(raw);
                    item.type = PackedItemType::Float;
                    std::memcpy(&item.value.asFloat, &bits, sizeof bits);
                }
                break;
            case 0xCB:
                if (readUnsigned<8>(context, raw))
                {
                    item.type = PackedItemType::Double;
                    std::memcpy(&item.value.asDouble, &raw, sizeof raw);
                }
                break;
            case 0xCC:
                readPositive<1>(context);
                break;
            case 0xCD:
                readPositive<2>(context);
                break;
            case 0xCE:
                readPositive<4>(context);
                break;
            case 0xCF:
                readPositive<8>(context);
                break;
            case 0xD0:
                readSigned<1>(context);
                break;
            case 0xD1:
                readSigned<2>(context);
                break;
            case 0xD2:
                readSigned<4>(context);
                break;
            case 0xD3:
                readSigned<8>(context);
                break;
            case 0xD4:
            case 0xD5:
            case 0xD6:
            case 0xD7:
            case 0xD8:
                readExtBody(context, 1u << (typeByte - 0xD4));
                break;
            case 0xD9:
                readSizedBlob<1>(context, PackedItemType::Str);
                break;
            case 0xDA:
                readSizedBlob<2>(context, PackedItemType::Str);
                break;
            case 0xDB:
                readSizedBlob<4>(context, PackedItemType::Str);
                break;
            case 0xDC:
                readCount<2>(context, PackedItemType::Array);
                break;
            case 0xDD:
                readCount<4>(context, PackedItemType::Array);
                break;
            case 0xDE:
                readCount<2>(context, PackedItemType::Map);
                break;
            default: // 0xDF
                readCount<4>(context, PackedItemType::Map);
                break;
        }
    }
}
