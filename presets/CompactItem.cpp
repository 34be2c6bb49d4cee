#include "presets/CompactItem.h"

#include "presets/ModuleTables.h"
#include "presets/PackedWords.h"
#include "presets/PresetReadCursor.h"
#include "presets/SignalPath.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace mvhw
{
namespace
{

constexpr int toneMatchingScalarId = 100;

Json::Value param(int id, Json::Value value)
{
    Json::Value out(Json::objectValue);
    out["id"] = id;
    out["value"].swap(value);
    return out;
}

bool valuesFit(uint64_t size, uint32_t offset, uint64_t count)
{
    return count * 4 <= bytesAfter(offsetReach(size), offset);
}

// Reads an array's byte-length word and the values it holds. Fails for values
// beyond the data and for a length with the top bit set, negative as the
// format's signed length.
bool readArrayValues(const uint8_t* buffer, uint64_t size, uint32_t& offset, Json::Value& values)
{
    uint32_t length = 0;
    if (!readWordAt(buffer, size, offset, length))
        return false;
    const uint32_t count = CompactItemHeader::arrayValueCount(length);
    if (length > uint32_t(INT32_MAX) || !valuesFit(size, offset, count))
        return false;
    values = Json::Value(Json::arrayValue);
    for (uint32_t i = 0; i < count; ++i)
    {
        float value = 0.0f;
        readFloatAt(buffer, size, offset, value);
        values.append(Json::Value(double(value)));
    }
    return true;
}

// The array as id 0, then the header's scalars as ids 100, 1, 2, ....
bool readToneMatchingOrder(const uint8_t* buffer, uint64_t size, uint32_t& offset,
                           const CompactItemHeader& header, Json::Value& params)
{
    const unsigned scalars = header.scalarCount();
    Json::Value values;
    if (!readArrayValues(buffer, size, offset, values) || !valuesFit(size, offset, scalars))
        return false;
    params = Json::Value(Json::arrayValue);
    params.append(param(0, std::move(values)));
    for (unsigned i = 1; i <= scalars; ++i)
    {
        float value = 0.0f;
        readFloatAt(buffer, size, offset, value);
        params.append(param(i == 1 ? toneMatchingScalarId : int(i - 1), Json::Value(double(value))));
    }
    return true;
}

// Scalars as ids 0, 1, 2, ..., then the header's array, if any, with the id
// that follows them.
bool readGeneralOrder(const uint8_t* buffer, uint64_t size, uint32_t& offset, const CompactItemHeader& header,
                      Json::Value& params)
{
    const unsigned scalars = header.scalarCount();
    if (!valuesFit(size, offset, scalars))
        return false;
    params = Json::Value(Json::arrayValue);
    for (unsigned i = 0; i < scalars; ++i)
    {
        float value = 0.0f;
        readFloatAt(buffer, size, offset, value);
        params.append(param(int(i), Json::Value(double(value))));
    }
    if (!header.hasArray())
        return true;
    Json::Value values;
    if (!readArrayValues(buffer, size, offset, values))
        return false;
    params.append(param(int(scalars), std::move(values)));
    return true;
}

// The index of the parameter that reorderToneMatchingParams moves to index
// 1, or the list's size when the list stays as it is.
Json::ArrayIndex toneMatchingScalarToMove(const Json::Value& params)
{
    const Json::ArrayIndex count = params.size();
    for (Json::ArrayIndex i = 0; i < count; ++i)
    {
        if (params[i]["id"].asInt() == toneMatchingScalarId)
            return i == 1 || count == 1 ? count : i;
    }
    return count;
}

// What the writer takes from an item, in the order it looks: "id", the
// parameter list (in tone-matching order for "mavo.toneMatching"),
// "isActive" and "params". Filled in place: params may point into it.
struct ItemFields
{
    ItemFields() = default;
    ItemFields(const ItemFields&) = delete;
    ItemFields& operator=(const ItemFields&) = delete;

    // -1 for an identifier outside moduleIdToNumber.
    int moduleNumber = -1;
    bool active = false;
    const Json::Value* params = nullptr;
    // The reordered tone-matching list, when reordering moves anything.
    Json::Value reordered;
};

// False for an item without "id", "isActive" or "params".
bool takeFields(const Json::Value& item, ItemFields& fields)
{
    if (!item.isMember("id"))
        return false;
    const auto module = moduleIdToNumber.find(item["id"].asString());
    if (module != moduleIdToNumber.end())
        fields.moduleNumber = module->second;
    fields.params = &item["params"];
    if (fields.moduleNumber == toneMatchingModuleNumber &&
        toneMatchingScalarToMove(*fields.params) != fields.params->size())
    {
        fields.reordered = reorderToneMatchingParams(*fields.params);
        fields.params = &fields.reordered;
    }
    if (!item.isMember("isActive"))
        return false;
    fields.active = item["isActive"].asBool();
    return item.isMember("params");
}

// An item's bytes as the writer would copy them, with what validate needs to
// know about its parameters.
struct EncodedItem
{
    CompactItemHeader header;
    // The header word, then the values.
    std::vector<uint8_t> bytes;
    unsigned written = 0;
    unsigned arrays = 0;
    // The last array's index among the written parameters.
    unsigned arrayIndex = 0;
};

// The parameters in list order, ids left out, and the header that counts
// them. Parameters without "id" or "value" are skipped.
EncodedItem encode(const ItemFields& fields, uint64_t room)
{
    const Json::Value& params = *fields.params;
    EncodedItem encoded;
    encoded.bytes.assign(4, 0);
    encoded.bytes.reserve(size_t(std::min<uint64_t>(room, 4 + 4 * uint64_t(params.size()))));
    for (Json::ArrayIndex i = 0; i < params.size(); ++i)
    {
        const Json::Value& p = params[i];
        if (!p.isMember("id") || !p.isMember("value"))
            continue;
        const Json::Value& value = p["value"];
        if (value.type() == Json::arrayValue)
        {
            ++encoded.arrays;
            encoded.arrayIndex = encoded.written;
            const uint32_t count = std::min<uint32_t>(value.size(), maxSignalPathArrayValues);
            appendLe32(encoded.bytes, 4 * count);
            for (Json::ArrayIndex v = 0; v < count; ++v)
                appendFloat(encoded.bytes, toFloat32(value[v]));
        }
        else
        {
            appendFloat(encoded.bytes, toFloat32(value));
        }
        ++encoded.written;
    }
    CompactItemHeader& header = encoded.header;
    header.moduleNumber = uint8_t(fields.moduleNumber);
    header.active = fields.active ? 1 : 0;
    header.paramCount = uint8_t(encoded.written);
    header.arrayFlag = encoded.arrays != 0 ? 1 : 0;
    writeLe32(encoded.bytes.data(), header.toWord());
    return encoded;
}

// True when the item fits the room and the readers read it back as written:
// a count that fits its byte, one array at most, kept where the header says,
// and the header's limits.
bool validate(const EncodedItem& encoded, uint64_t room)
{
    const CompactItemHeader& header = encoded.header;
    if (encoded.written > maxSignalPathParams || encoded.arrays > 1)
        return false;
    if (!header.scalarsWithinLimit() || (header.hasArray() && encoded.arrayIndex != header.arrayIndex()))
        return false;
    return encoded.bytes.size() <= room;
}

// Copies the item to buffer + offset and steps the offset over it.
void commit(const EncodedItem& encoded, uint8_t* buffer, uint32_t& offset)
{
    std::memcpy(buffer + offset, encoded.bytes.data(), encoded.bytes.size());
    offset += uint32_t(encoded.bytes.size());
}

template <size_t N> int findModule(const std::vector<uint8_t>& preset, const int (&wanted)[N], int fallback)
{
    const uint8_t* data = preset.data();
    const uint64_t size = preset.size();
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t countWord = 0;
    if (!wordAt(data, size, 0, a) || !wordAt(data, size, 4 + uint64_t(a), b) ||
        !wordAt(data, size, 12 + uint64_t(a) + b, countWord))
        return fallback;
    // Every step is at least one header word and every position is checked
    // before it is read, so the walk ends with the data whatever the count.
    uint64_t position = 16 + uint64_t(a) + b;
    for (int32_t i = 0; i < int32_t(countWord); ++i)
    {
        uint32_t word = 0;
        if (!wordAt(data, size, position, word))
            return fallback;
        const CompactItemHeader header = CompactItemHeader::fromWord(word);
        if (std::find(std::begin(wanted), std::end(wanted), int(header.moduleNumber)) != std::end(wanted))
            return header.moduleNumber;
        // Stepped over as readCompactItem reads it.
        uint32_t length = 0;
        if (header.hasArray() && !wordAt(data, size, position + header.arrayLengthOffset(), length))
            return fallback;
        position += header.itemBytes(length);
    }
    return fallback;
}

} // namespace

bool writeCompactItem(uint8_t* buffer, size_t size, const Json::Value& item, uint32_t& offset)
{
    ItemFields fields;
    if (buffer == nullptr || !takeFields(item, fields))
        return false;
    const uint64_t room = bytesAfter(offsetReach(size), offset);
    if (fields.moduleNumber < 0)
    {
        if (room >= 4)
            offset += 4;
        return false;
    }
    // Encoded whole before anything is copied, so a refusal or an exception
    // leaves the caller's buffer alone.
    const EncodedItem encoded = encode(fields, room);
    if (!validate(encoded, room))
        return false;
    commit(encoded, buffer, offset);
    return true;
}

Json::Value reorderToneMatchingParams(const Json::Value& params)
{
    const Json::ArrayIndex count = params.size();
    const Json::ArrayIndex found = toneMatchingScalarToMove(params);
    if (found == count)
        return params;
    Json::Value out(Json::arrayValue);
    for (Json::ArrayIndex i = 0; i < count; ++i)
    {
        if (i == found)
            continue;
        out.append(params[i]);
        if (out.size() == 1)
            out.append(params[found]);
    }
    return out;
}

Json::Value readCompactItem(const uint8_t* buffer, size_t size, uint32_t& offset)
{
    uint32_t at = offset;
    uint32_t word = 0;
    if (!readWordAt(buffer, size, at, word))
        return Json::Value();
    const CompactItemHeader header = CompactItemHeader::fromWord(word);
    const auto module = moduleNumberToId.find(header.moduleNumber);
    if (module == moduleNumberToId.end())
    {
        offset = at;
        return Json::Value();
    }

    if (!header.scalarsWithinLimit())
        return Json::Value();
    Json::Value params;
    const bool read = header.arrayFirst() ? readToneMatchingOrder(buffer, size, at, header, params)
                                          : readGeneralOrder(buffer, size, at, header, params);
    if (!read)
        return Json::Value();

    Json::Value item(Json::objectValue);
    item["name"] = "Untitled";
    item["id"] = module->second;
    item["selected"] = "false";
    item["isActive"] = header.active != 0;
    item["params"].swap(params);
    offset = at;
    return item;
}

Json::Value readToneMatchingParams(const uint8_t* buffer, size_t size, uint32_t& offset, int count)
{
    // The count holds the array and fits a header's byte.
    if (buffer == nullptr || count < 1 || count > int(maxSignalPathParams))
        return Json::Value();
    const CompactItemHeader header{uint8_t(toneMatchingModuleNumber), 0, uint8_t(count), 1};
    if (!header.scalarsWithinLimit())
        return Json::Value();
    uint32_t at = offset;
    Json::Value params;
    if (!readToneMatchingOrder(buffer, size, at, header, params))
        return Json::Value();
    offset = at;
    return params;
}

int findPreampModule(const std::vector<uint8_t>& preset)
{
    static constexpr int preamps[] = {0, 1, 2, 3, 45, 46};
    return findModule(preset, preamps, 0);
}

int findPowerAmpModule(const std::vector<uint8_t>& preset)
{
    static constexpr int powerAmps[] = {8, 9, 10, 11, 47, 48};
    return findModule(preset, powerAmps, 8);
}

std::vector<uint8_t> concatBytes(const std::vector<uint8_t>& first, const std::vector<uint8_t>& second)
{
    std::vector<uint8_t> out;
    out.reserve(first.size() + second.size());
    out.insert(out.end(), first.begin(), first.end());
    out.insert(out.end(), second.begin(), second.end());
    return out;
}

} // namespace mvhw
