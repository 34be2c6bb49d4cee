#include "commands/MessagePackMessages.h"

#include "commands/MessageHelpers.h"
#include "commands/MessagePackWriterInline.h"

#include <cstring>

namespace mvmsgpack
{
namespace
{

using mpk_detail::writeArraySize;
using mpk_detail::writeBoolean;
using mpk_detail::writeFloat;
using mpk_detail::writeString;
using mpk_detail::writeUnsigned;

// Runs the pack steps shared by every body: argument check, context, items,
// range check. `write` packs the items and returns false (after printing) to
// refuse the message before anything is delivered.
template <typename Write>
bool packMessage(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength, Write write)
{
    const uint8_t* checked = (out != nullptr && outLength != nullptr) ? buffer : nullptr;
    if (!checkInOutBuffer(checked, capacity, "pack param error"))
        return false;
    PackContext context;
    initPackContextChecked(context, buffer, capacity);
    if (!write(context))
        return false;
    return checkBufferRange(context, buffer, capacity, out, outLength);
}

template <typename Read> bool unpackMessage(const uint8_t* data, unsigned length, Read read)
{
    UnpackContext context{};
    initUnpackContextChecked(context, data, length);
    return read(context);
}

// A length above 32 would read past `chars`; such a field is never sent.
bool checkFixedString(const FixedString& field)
{
    return field.length <= kFixedStringCapacity || checkPackResult(MPK_RC_ILLEGAL_CALL);
}

void packFixedString(PackContext& context, const FixedString& field)
{
    writeUnsigned(context, field.length);
    writeString(context, field.chars, field.length);
}

bool unpackFixedString(UnpackContext& context, FixedString& field)
{
    uint32_t length = 0;
    if (!unpackNextUint32(context, &length))
        return false;
    if (length > kFixedStringCapacity)
    {
        context.returnCode = MPK_RC_MALFORMED_INPUT;
        context.item.type = PackedItemType::NotAnItem;
        return checkPackResult(context.returnCode);
    }
    field.length = length;
    return unpackNextString(context, field.chars);
}

bool unpackNextFloat(UnpackContext& context, float* out)
{
    uint32_t bits = 0;
    if (!unpackNextUint32(context, &bits))
        return false;
    std::memcpy(out, &bits, sizeof bits);
    return true;
}

} // namespace

bool CSwitchPreset::pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength)
{
    return packMessage(buffer, capacity, out, outLength,
                       [this](PackContext& context)
                       {
                           writeUnsigned(context, value.first);
                           writeUnsigned(context, value.second);
                           return true;
                       });
}

bool CSwitchPreset::unpack(const uint8_t* data, unsigned length)
{
    return unpackMessage(data, length,
                         [this](UnpackContext& context) {
                             return unpackNextUint32(context, &value.first) &&
                                    unpackNextUint32(context, &value.second);
                         });
}

bool CReplaceDspModule::pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength)
{
    return packMessage(buffer, capacity, out, outLength,
                       [this](PackContext& context)
                       {
                           if (!checkFixedString(value.firstId) || !checkFixedString(value.secondId))
                               return false;
                           packFixedString(context, value.firstId);
                           packFixedString(context, value.secondId);
                           return true;
                       });
}

bool CReplaceDspModule::unpack(const uint8_t* data, unsigned length)
{
    return unpackMessage(data, length,
                         [this](UnpackContext& context) {
                             return unpackFixedString(context, value.firstId) &&
                                    unpackFixedString(context, value.secondId);
                         });
}

bool CSetDspOnOff::pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength)
{
    return packMessage(buffer, capacity, out, outLength,
                       [this](PackContext& context)
                       {
                           if (!checkFixedString(value.id))
                               return false;
                           packFixedString(context, value.id);
                           writeBoolean(context, value.on);
                           return true;
                       });
}

bool CSetDspOnOff::unpack(const uint8_t* data, unsigned length)
{
    return unpackMessage(data, length,
                         [this](UnpackContext& context) {
                             return unpackFixedString(context, value.id) &&
                                    unpackNextBool(context, &value.on);
                         });
}

bool CGetDspParam::pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength)
{
    return packMessage(buffer, capacity, out, outLength,
                       [this](PackContext& context)
                       {
                           if (!checkFixedString(value.id))
                               return false;
                           packFixedString(context, value.id);
                           writeUnsigned(context, value.index);
                           return true;
                       });
}

bool CGetDspParam::unpack(const uint8_t* data, unsigned length)
{
    return unpackMessage(data, length,
                         [this](UnpackContext& context) {
                             return unpackFixedString(context, value.id) &&
                                    unpackNextUint32(context, &value.index);
                         });
}

bool CSetDspParam::pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength)
{
    return packMessage(buffer, capacity, out, outLength,
                       [this](PackContext& context)
                       {
                           if (!checkFixedString(value.id))
                               return false;
                           packFixedString(context, value.id);
                           writeUnsigned(context, value.index);
                           writeFloat(context, value.value);
                           return true;
                       });
}

bool CSetDspParam::unpack(const uint8_t* data, unsigned length)
{
    return unpackMessage(data, length,
                         [this](UnpackContext& context)
                         {
                             return unpackFixedString(context, value.id) &&
                                    unpackNextUint32(context, &value.index) &&
                                    unpackNextFloat(context, &value.value);
                         });
}

bool CString::pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength)
{
    return packMessage(buffer, capacity, out, outLength,
                       [this](PackContext& context)
                       {
                           if (!checkFixedString(value.text))
                               return false;
                           packFixedString(context, value.text);
                           return true;
                       });
}

bool CString::unpack(const uint8_t* data, unsigned length)
{
    return unpackMessage(data, length,
                         [this](UnpackContext& context) { return unpackFixedString(context, value.text); });
}

bool CFloat::pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength)
{
    return packMessage(buffer, capacity, out, outLength,
                       [this](PackContext& context)
                       {
                           writeFloat(context, value);
                           return true;
                       });
}

bool CFloat::unpack(const uint8_t* data, unsigned length)
{
    return unpackMessage(data, length,
                         [this](UnpackContext& context) { return unpackNextFloat(context, &value); });
}

bool CBool::pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength)
{
    return packMessage(buffer, capacity, out, outLength,
                       [this](PackContext& context)
                       {
                           writeBoolean(context, value);
                           return true;
                       });
}

bool CBool::unpack(const uint8_t* data, unsigned length)
{
    return unpackMessage(data, length,
                         [this](UnpackContext& context) { return unpackNextBool(context, &value); });
}

bool CInt32Array::pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength)
{
    return packMessage(buffer, capacity, out, outLength,
                       [this](PackContext& context)
                       {
                           // Every element takes at least one byte, so a vector too long for a
                           // 32-bit count never fits the buffer and overflows below.
                           writeArraySize(context, static_cast<uint32_t>(value.size()));
                           for (uint32_t element : value)
                           {
                               if (context.returnCode != MPK_RC_OK)
                                   break;
                               writeUnsigned(context, element);
                           }
                           return true;
                       });
}

bool CInt32Array::unpack(const uint8_t* data, unsigned length)
{
    return unpackMessage(data, length,
                         [this](UnpackContext& context)
                         {
                             uint32_t count = 0;
                             if (!unpackNextUint32(context, &count))
                                 return false;
                             value.clear();
                             // The count comes from the input: room is reserved only for what the
                             // remaining bytes can hold (one byte per element at least). A larger
                             // count runs into the end of the input below.
                             const uint64_t remaining = static_cast<uint64_t>(context.end - context.current);
                             if (count <= remaining)
                                 value.reserve(count);
                             for (uint32_t i = 0; i < count; ++i)
                             {
                                 uint32_t element = 0;
                                 if (!unpackNextUint32(context, &element))
                                     return false;
                                 value.push_back(element);
                             }
                             return true;
                         });
}

bool CUInt32::pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength)
{
    return packMessage(buffer, capacity, out, outLength,
                       [this](PackContext& context)
                       {
                           writeUnsigned(context, value);
                           return true;
                       });
}

bool CUInt32::unpack(const uint8_t* data, unsigned length)
{
    return unpackMessage(data, length,
                         [this](UnpackContext& context) { return unpackNextUint32(context, &value); });
}

} // namespace mvmsgpack
