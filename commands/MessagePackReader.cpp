// The MessagePack reader: one item per call, dispatched by its type byte to
// the reader of its family.
#include "commands/MessagePack.h"
#include "commands/MessagePackDetail.h"

#include <cstring>

namespace
{

using mpk_detail::bytesLeft;

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

// The byte that begins an item. Without one the input has ended, or the
// handler says why not.
bool readTypeByte(UnpackContext& context, uint8_t& typeByte)
{
    if (bytesLeft(context.current, context.end) < 1)
    {
        if (context.underflowHandler == nullptr)
        {
            failRead(context, MPK_RC_END_OF_INPUT);
            return false;
        }
        const int result = context.underflowHandler(context, 1);
        if (result != 0)
        {
            failRead(context, result);
            return false;
        }
    }
    typeByte = *context.current++;
    return true;
}

// 0x00..0xBF: positive fixint, fixmap, fixarray and fixstr, whose value,
// count or length sits in the type byte.
void readFixItem(UnpackContext& context, uint8_t typeByte)
{
    PackedItem& item = context.item;
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
    else
    {
        item.type = PackedItemType::Str;
        readBlob(context, typeByte & 0x1Fu);
    }
}

// 0xE0..0xFF: negative fixint.
void readNegativeFixint(UnpackContext& context, uint8_t typeByte)
{
    context.item.type = PackedItemType::NegativeInteger;
    context.item.value.asSigned = static_cast<int8_t>(typeByte);
}

// 0xC0..0xC3: nil, the unused 0xC1, false and true.
void readNilOrBoolean(UnpackContext& context, uint8_t typeByte)
{
    switch (typeByte)
    {
        case 0xC0:
            context.item.type = PackedItemType::Nil;
            break;
        case 0xC1:
            failRead(context, MPK_RC_MALFORMED_INPUT);
            break;
        default:
            context.item.type = PackedItemType::Boolean;
            context.item.value.asBool = typeByte == 0xC3;
            break;
    }
}

// 0xCC..0xCF: uint8 to uint64.
void readUnsignedItem(UnpackContext& context, uint8_t typeByte)
{
    switch (typeByte)
    {
        case 0xCC:
            readPositive<1>(context);
            break;
        case 0xCD:
            readPositive<2>(context);
            break;
        case 0xCE:
            readPositive<4>(context);
            break;
        default:
            readPositive<8>(context);
            break;
    }
}

// 0xD0..0xD3: int8 to int64.
void readSignedItem(UnpackContext& context, uint8_t typeByte)
{
    switch (typeByte)
    {
        case 0xD0:
            readSigned<1>(context);
            break;
        case 0xD1:
            readSigned<2>(context);
            break;
        case 0xD2:
            readSigned<4>(context);
            break;
        default:
            readSigned<8>(context);
            break;
    }
}

// 0xCA float32, 0xCB float64.
void readFloatItem(UnpackContext& context, uint8_t typeByte)
{
    PackedItem& item = context.item;
    uint64_t raw = 0;
    if (typeByte == 0xCA)
    {
        if (readUnsigned<4>(context, raw))
        {
            const uint32_t bits = static_cast<uint32_t>(raw);
            item.type = PackedItemType::Float;
            std::memcpy(&item.value.asFloat, &bits, sizeof bits);
        }
    }
    else if (readUnsigned<8>(context, raw))
    {
        item.type = PackedItemType::Double;
        std::memcpy(&item.value.asDouble, &raw, sizeof raw);
    }
}

// 0xC4..0xC6 bin8 to bin32, 0xD9..0xDB str8 to str32.
void readStrOrBin(UnpackContext& context, uint8_t typeByte)
{
    switch (typeByte)
    {
        case 0xC4:
            readSizedBlob<1>(context, PackedItemType::Bin);
            break;
        case 0xC5:
            readSizedBlob<2>(context, PackedItemType::Bin);
            break;
        case 0xC6:
            readSizedBlob<4>(context, PackedItemType::Bin);
            break;
        case 0xD9:
            readSizedBlob<1>(context, PackedItemType::Str);
            break;
        case 0xDA:
            readSizedBlob<2>(context, PackedItemType::Str);
            break;
        default:
            readSizedBlob<4>(context, PackedItemType::Str);
            break;
    }
}

// 0xC7..0xC9 ext8 to ext32, 0xD4..0xD8 fixext1 to fixext16.
void readExtItem(UnpackContext& context, uint8_t typeByte)
{
    switch (typeByte)
    {
        case 0xC7:
            readExt<1>(context);
            break;
        case 0xC8:
            readExt<2>(context);
            break;
        case 0xC9:
            readExt<4>(context);
            break;
        default:
            readExtBody(context, 1u << (typeByte - 0xD4));
            break;
    }
}

// 0xDC..0xDF: array16, array32, map16 and map32 headers.
void readCountItem(UnpackContext& context, uint8_t typeByte)
{
    switch (typeByte)
    {
        case 0xDC:
            readCount<2>(context, PackedItemType::Array);
            break;
        case 0xDD:
            readCount<4>(context, PackedItemType::Array);
            break;
        case 0xDE:
            readCount<2>(context, PackedItemType::Map);
            break;
        default:
            readCount<4>(context, PackedItemType::Map);
            break;
    }
}

} // namespace

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
    uint8_t typeByte = 0;
    if (context.returnCode != MPK_RC_OK || !readTypeByte(context, typeByte))
        return;
    // Type byte ranges in ascending order.
    if (typeByte <= 0xBF)
        readFixItem(context, typeByte);
    else if (typeByte <= 0xC3)
        readNilOrBoolean(context, typeByte);
    else if (typeByte <= 0xC6)
        readStrOrBin(context, typeByte);
    else if (typeByte <= 0xC9)
        readExtItem(context, typeByte);
    else if (typeByte <= 0xCB)
        readFloatItem(context, typeByte);
    else if (typeByte <= 0xCF)
        readUnsignedItem(context, typeByte);
    else if (typeByte <= 0xD3)
        readSignedItem(context, typeByte);
    else if (typeByte <= 0xD8)
        readExtItem(context, typeByte);
    else if (typeByte <= 0xDB)
        readStrOrBin(context, typeByte);
    else if (typeByte <= 0xDF)
        readCountItem(context, typeByte);
    else
        readNegativeFixint(context, typeByte);
}
