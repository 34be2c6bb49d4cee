#include "commands/MessageHelpers.h"

#include <cstdio>
#include <cstring>

namespace
{

const char* packResultName(int code)
{
    switch (code)
    {
        case MPK_RC_END_OF_INPUT:
            return "MPK_RC_END_OF_INPUT";
        case MPK_RC_BUFFER_UNDERFLOW:
            return "MPK_RC_BUFFER_UNDERFLOW";
        case MPK_RC_MALFORMED_INPUT:
            return "MPK_RC_MALFORMED_INPUT";
        case MPK_RC_WRONG_BYTE_ORDER:
            return "MPK_RC_WRONG_BYTE_ORDER";
        case MPK_RC_ERROR_IN_HANDLER:
            return "MPK_RC_ERROR_IN_HANDLER";
        case MPK_RC_ILLEGAL_CALL:
            return "MPK_RC_ILLEGAL_CALL";
        case MPK_RC_MALLOC_ERROR:
            return "MPK_RC_MALLOC_ERROR";
        case MPK_RC_STOPPED:
            return "MPK_RC_STOPPED";
        default:
            return "UWP_UNKNOWN";
    }
}

inline bool readNext(UnpackContext& context)
{
    unpackNext(context);
    return context.returnCode == MPK_RC_OK || checkPackResult(context.returnCode);
}

// Marks the context failed on malformed content and reports it.
bool failMalformed(UnpackContext& context)
{
    context.returnCode = MPK_RC_MALFORMED_INPUT;
    context.item.type = PackedItemType::NotAnItem;
    return checkPackResult(MPK_RC_MALFORMED_INPUT);
}

} // namespace

bool checkInOutBuffer(const uint8_t* buffer, uint32_t capacity, const char* text)
{
    if (buffer != nullptr && capacity != 0)
        return true;
    std::printf("checkInOutBuffer ERROR : %s !\n", text);
    return false;
}

bool checkBufferRange(const PackContext& context, uint8_t* buffer, uint32_t capacity, uint8_t** out,
                      uint32_t* outLength)
{
    *outLength = static_cast<uint32_t>(context.current - context.start);
    if (context.returnCode != MPK_RC_OK || *outLength >= capacity)
        return reportBufferRange("buffer not enough");
    *out = buffer;
    return true;
}

bool reportBufferRange(const char* text)
{
    std::printf("checkBufferRange ERROR : %s !\n", text);
    return false;
}

bool checkPackResult(int code)
{
    if (code == MPK_RC_OK)
        return true;
    std::printf("ERROR : %s !\n", packResultName(code));
    return false;
}

bool initPackContextChecked(PackContext& context, uint8_t* buffer, uint32_t capacity)
{
    return checkPackResult(initPackContext(context, buffer, capacity));
}

bool initUnpackContextChecked(UnpackContext& context, const uint8_t* data, uint32_t length)
{
    return checkPackResult(initUnpackContext(context, data, data != nullptr ? length : 0));
}

bool unpackNextBool(UnpackContext& context, bool* out)
{
    if (!readNext(context))
        return false;
    const PackedItem& item = context.item;
    switch (item.type)
    {
        case PackedItemType::Boolean:
            *out = item.value.asBool;
            break;
        case PackedItemType::PositiveInteger:
            *out = item.value.asUnsigned != 0;
            break;
        case PackedItemType::NegativeInteger:
            *out = true;
            break;
        default:
            *out = false;
            break;
    }
    return true;
}

bool unpackNextUint32(UnpackContext& context, uint32_t* out)
{
    if (!readNext(context))
        return false;
    const PackedItem& item = context.item;
    uint32_t value = 0;
    switch (item.type)
    {
        case PackedItemType::PositiveInteger:
            value = static_cast<uint32_t>(item.value.asUnsigned);
            break;
        case PackedItemType::NegativeInteger:
            value = static_cast<uint32_t>(static_cast<uint64_t>(item.value.asSigned));
            break;
        case PackedItemType::Array:
        case PackedItemType::Map:
            value = item.value.asCount;
            break;
        case PackedItemType::Float:
            std::memcpy(&value, &item.value.asFloat, sizeof value);
            break;
        case PackedItemType::Double:
        {
            // A float64 where a float32 was expected: its value as float32.
            const float narrowed = static_cast<float>(item.value.asDouble);
            std::memcpy(&value, &narrowed, sizeof value);
            break;
        }
        case PackedItemType::Boolean:
            value = item.value.asBool ? 1 : 0;
            break;
        default: // nil, str, bin, ext: no number
            break;
    }
    *out = value;
    return true;
}

bool unpackNextString(UnpackContext& context, char (&out)[kFixedStringCapacity])
{
    if (!readNext(context))
        return false;
    const PackedItem& item = context.item;
    if (item.type != PackedItemType::Str || item.value.asBlob.length > kFixedStringCapacity)
        return failMalformed(context);
    const uint8_t* data = item.value.asBlob.start;
    const uint32_t length = item.value.asBlob.length;
    uint32_t i = 0;
    for (; i < length && data[i] != 0; ++i)
        out[i] = static_cast<char>(data[i]);
    for (; i < length; ++i)
        out[i] = '\0';
    return true;
}
