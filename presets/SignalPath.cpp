#include "presets/SignalPath.h"

#include "presets/ModuleTables.h"
#include "presets/PackedWords.h"
#include "presets/SignalPathItemHeader.h"

#include <algorithm>
#include <utility>

namespace mvhw
{
namespace
{

// A parameter's header word: byte 0 the id, 1 the array flag, 2-3 the
// array's byte length.
struct SignalPathParamHeader
{
    uint8_t id = 0;
    uint8_t arrayFlag = 0;
    uint16_t byteLength = 0;

    static SignalPathParamHeader fromWord(uint32_t word)
    {
        return {uint8_t(word), uint8_t(word >> 8), uint16_t(word >> 16)};
    }
    uint32_t toWord() const { return packBytes(id, arrayFlag, byteLength & 0xFF, byteLength >> 8); }
};

// Writes one parameter's header and value; false when it has no id or value.
bool writeParam(const Json::Value& param, std::vector<uint8_t>& out)
{
    if (!param.isMember("id") || !param.isMember("value"))
        return false;
    const uint32_t id = param["id"].asUInt();
    const Json::Value& value = param["value"];
    const bool isArray = value.type() == Json::arrayValue;
    const uint32_t count = std::min<uint32_t>(value.size(), maxSignalPathArrayValues);
    appendLe32(out,
               SignalPathParamHeader{uint8_t(id), uint8_t(isArray ? 1 : 0), uint16_t(4 * count)}.toWord());
    if (isArray)
    {
        for (Json::ArrayIndex i = 0; i < count; ++i)
            appendFloat(out, toFloat32(value[i]));
    }
    else
    {
        appendFloat(out, toFloat32(value));
    }
    return true;
}

// Appends one item; false when the item is skipped.
bool writeItem(const Json::Value& item, std::vector<uint8_t>& out)
{
    if (!item.isMember("id"))
        return false;
    const auto module = moduleIdToNumber.find(item["id"].asString());
    if (module == moduleIdToNumber.end())
        return false;
    if (!item.isMember("isActive"))
        return false;
    const bool active = item["isActive"].asBool();
    if (!item.isMember("params"))
        return false;
    const Json::Value& params = item["params"];
    if (params.size() > maxSignalPathParams)
        return false;

    std::vector<uint8_t> paramBytes;
    uint32_t written = 0;
    for (Json::ArrayIndex i = 0; i < params.size(); ++i)
    {
        if (writeParam(params[i], paramBytes))
            ++written;
    }
    const SignalPathItemHeader header{uint8_t(module->second), uint8_t(active ? 1 : 0), uint8_t(written)};
    appendLe32(out, header.toWord());
    out.insert(out.end(), paramBytes.begin(), paramBytes.end());
    return true;
}

// Reads one parameter's header and value as writeParam writes them. An array
// flag of exactly 1 marks an array; false for an array length that is no
// multiple of 4, one tone-matching array more than a path may hold, or a
// buffer that ends early.
bool readParam(PresetReadCursor& cursor, uint8_t moduleNumber, unsigned& toneMatchingArrays,
               Json::Value& param)
{
    uint32_t word = 0;
    if (!cursor.readWord(word))
        return false;
    const SignalPathParamHeader header = SignalPathParamHeader::fromWord(word);
    param = Json::Value(Json::objectValue);
    param["id"] = int(header.id);
    if (header.arrayFlag == 1)
    {
        if (header.byteLength % 4 != 0)
            return false;
        if (moduleNumber == toneMatchingModuleNumber && ++toneMatchingArrays > maxToneMatchingArrays)
            return false;
        Json::Value values = readFloatArray(cursor, moduleNumber, uint16_t(header.byteLength / 4));
        if (values.isNull())
            return false;
        param["value"].swap(values);
        return true;
    }
    float value = 0.0f;
    if (!cursor.readFloat(value))
        return false;
    param["value"] = double(value);
    return true;
}

// Reads one item as writeItem writes it and appends it, unless its module
// number is unknown; its bytes are read all the same. False when a parameter
// is refused or the buffer ends early.
bool readItem(PresetReadCursor& cursor, unsigned& toneMatchingArrays, Json::Value& items)
{
    uint32_t word = 0;
    if (!cursor.readWord(word))
        return false;
    const SignalPathItemHeader header = SignalPathItemHeader::fromWord(word);
    Json::Value item(Json::objectValue);
    item["name"] = "Untitled";
    const auto module = moduleNumberToId.find(header.moduleNumber);
    if (module != moduleNumberToId.end())
        item["id"] = module->second;
    item["selected"] = "false";
    item["isActive"] = header.active != 0;
    Json::Value& params = item["params"] = Json::Value(Json::arrayValue);
    for (unsigned p = 0; p < header.paramCount; ++p)
    {
        Json::Value param;
        if (!readParam(cursor, header.moduleNumber, toneMatchingArrays, param))
            return false;
        params.append(std::move(param));
    }
    if (module != moduleNumberToId.end())
        items.append(std::move(item));
    return true;
}

} // namespace

std::vector<uint8_t> writeSignalPath(const Json::Value& preset)
{
    const Json::Value& items = preset["sigPath"]["blocks"]["items"];
    std::vector<uint8_t> body;
    uint32_t count = 0;
    for (Json::ArrayIndex i = 0; i < items.size(); ++i)
    {
        if (writeItem(items[i], body))
            ++count;
    }
    std::vector<uint8_t> out;
    out.reserve(4 + body.size());
    appendLe32(out, count);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Json::Value readFloatArray(PresetReadCursor& cursor, uint8_t moduleNumber, uint16_t count)
{
    if (cursor.remaining() < uint64_t(count) * 4)
        return Json::Value();
    Json::Value values(Json::arrayValue);
    for (uint16_t i = 0; i < count; ++i)
    {
        float value = 0.0f;
        cursor.readFloat(value);
        values.append(Json::Value(double(value)));
    }
    if (moduleNumber == toneMatchingModuleNumber)
    {
        for (unsigned i = count; i < toneMatchingArrayValues; ++i)
            values.append(Json::Value(0.0));
    }
    return values;
}

bool readSignalPath(PresetReadCursor& cursor, Json::Value& preset)
{
    // jsoncpp's const member lookups throw Json::LogicError for a preset,
    // "sigPath" or "blocks" that is neither an object nor null; they do so
    // here, before anything is read. The preset changes only once the whole
    // path has been read.
    static_cast<void>(std::as_const(preset)["sigPath"]["blocks"].isMember("items"));

    Json::Value items(Json::arrayValue);
    uint32_t countWord = 0;
    if (!cursor.readWord(countWord))
        return false;
    unsigned toneMatchingArrays = 0;
    for (int32_t i = 0; i < int32_t(countWord); ++i)
    {
        if (!readItem(cursor, toneMatchingArrays, items))
            return false;
    }
    preset["sigPath"]["blocks"]["items"].swap(items);
    return true;
}

} // namespace mvhw
