#include "presets/PresetAdjustments.h"

#include "presets/MiscSection.h"
#include "presets/ModuleTables.h"

#include <json/writer.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace mvhw
{
namespace
{

const char* const bitDepthKey = "wavBitDepth";
const char* const fileNameKey = "wavFileName";
const char* const sampleRateKey = "wavSampleRate";

// The three IR loader fields, converted from an object that holds them
// (missing ones read as null).
Json::Value irLoaderFields(const Json::Value& from)
{
    Json::Value fields(Json::objectValue);
    fields[bitDepthKey] = from[bitDepthKey].asInt();
    fields[fileNameKey] = from[fileNameKey].asString();
    fields[sampleRateKey] = double(from[sampleRateKey].asFloat());
    return fields;
}

// The first element of items (array elements, or object members in key
// order) whose "id" is "mavo.IRLoader", or null. The ids are read through a
// const view, so the search adds no "id" to the items it passes.
Json::Value* findIrLoaderItem(Json::Value& items)
{
    const std::string& irLoaderId = moduleNumberToId.at(irLoaderModuleNumber);
    for (Json::Value& item : items)
    {
        const Json::Value& view = item;
        if (view["id"].asString() == irLoaderId)
            return &item;
    }
    return nullptr;
}

bool isToneMatchingExtra(const Json::Value& param)
{
    if (!param.isMember("id"))
        return false;
    const Json::Value& id = param["id"];
    return id.isInt() && id.asInt() >= 101 && id.asInt() <= 104;
}

} // namespace

Json::Value sortParamsById(const Json::Value& preset)
{
    if (!preset["sigPath"]["blocks"]["items"].isArray())
        return preset;
    Json::Value sorted = preset;
    for (Json::Value& item : sorted["sigPath"]["blocks"]["items"])
    {
        Json::Value& params = item["params"];
        // The values move out of the copy's parameters, which are replaced.
        std::vector<std::pair<int, Json::Value>> pairs;
        pairs.reserve(params.size());
        for (Json::Value& p : params)
        {
            const int id = static_cast<const Json::Value&>(p)["id"].asInt();
            Json::Value value;
            p.removeMember("value", &value);
            pairs.emplace_back(id, std::move(value));
        }
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        Json::Value out(Json::arrayValue);
        for (auto& [id, value] : pairs)
        {
            Json::Value p(Json::objectValue);
            p["id"] = id;
            p["value"].swap(value);
            out.append(std::move(p));
        }
        params.swap(out);
    }
    return sorted;
}

void applyIrLoaderFields(Json::Value& preset, const Json::Value& fields)
{
    Json::Value& items = preset["sigPath"]["blocks"]["items"];
    if (!items.isArray() || !fields.isObject())
        return;
    Json::Value* item = findIrLoaderItem(items);
    if (item == nullptr)
        return;
    if (!fields.isMember(bitDepthKey) && !fields.isMember(fileNameKey) && !fields.isMember(sampleRateKey))
        return;
    const Json::Value converted = irLoaderFields(fields);
    for (const char* key : {bitDepthKey, fileNameKey, sampleRateKey})
        (*item)[key] = converted[key];
}

void storeIrLoaderFieldsInMisc(Json::Value& preset)
{
    const Json::Value* item = findIrLoaderItem(preset["sigPath"]["blocks"]["items"]);
    if (item == nullptr)
        return;
    if (!item->isMember(bitDepthKey) || !item->isMember(fileNameKey) || !item->isMember(sampleRateKey))
        return;
    std::string text = Json::StyledWriter().write(irLoaderFields(*item));
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    Json::Value irloader(Json::objectValue);
    irloader["value"] = text;
    preset["sigPath"][miscSectionName()][irloaderSectionName()].swap(irloader);
}

Json::Value stripToneMatchingParams(Json::Value preset)
{
    if (!preset.isMember("sigPath") || !preset["sigPath"].isMember("blocks") ||
        !preset["sigPath"]["blocks"].isMember("items"))
        return preset;
    const Json::Value toneMatchingId(moduleNumberToId.at(toneMatchingModuleNumber));
    for (Json::Value& item : preset["sigPath"]["blocks"]["items"])
    {
        if (!item.isMember("id") || !item.isMember("params") || item["id"] != toneMatchingId)
            continue;
        Json::Value kept;
        for (Json::Value& p : item["params"])
        {
            if (!isToneMatchingExtra(p))
                kept.append(std::move(p));
        }
        item["params"].swap(kept);
    }
    return preset;
}

} // namespace mvhw
