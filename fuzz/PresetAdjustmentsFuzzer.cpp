// The four preset adjustments over arbitrary JSON; the IR loader fields are
// the document's own "fields" member. Only Json::LogicError may escape, and
// the in-place ones then leave the preset as it was.
#include "presets/MiscSection.h"
#include "presets/PresetAdjustments.h"

#include "FuzzJson.h"

#include <cstdlib>
#include <string>

namespace
{

void checkSorted(const Json::Value& sorted)
{
    const Json::Value& items = sorted["sigPath"]["blocks"]["items"];
    if (!items.isArray())
        return;
    for (const Json::Value& item : items)
    {
        const Json::Value& params = item["params"];
        if (!params.isArray())
            std::abort();
        for (Json::ArrayIndex i = 0; i < params.size(); ++i)
        {
            if (params[i].size() != 2 || !params[i]["id"].isInt() || !params[i].isMember("value"))
                std::abort();
            if (i > 0 && params[i - 1]["id"].asInt() > params[i]["id"].asInt())
                std::abort();
        }
    }
}

// The preset's "sigPath" / "misc" / "irloader" object, or null.
const Json::Value* irloaderOf(const Json::Value& preset)
{
    if (!preset.isObject() || !preset["sigPath"].isObject())
        return nullptr;
    const Json::Value& misc = preset["sigPath"]["misc"];
    if (!misc.isObject() || !misc["irloader"].isObject())
        return nullptr;
    return &misc["irloader"];
}

// Checks the irloader text the adjustment stored; one that it left as the
// input gave it may hold anything.
void checkStored(const Json::Value& preset, const Json::Value& before)
{
    const Json::Value* irloader = irloaderOf(preset);
    const Json::Value* old = irloaderOf(before);
    if (irloader == nullptr || (old != nullptr && *old == *irloader))
        return;
    const Json::Value& value = (*irloader)["value"];
    if (!value.isString())
        std::abort();
    const std::string text = value.asString();
    if (text.find('\n') != std::string::npos)
        std::abort();
    Json::Value only;
    only["sigPath"]["misc"]["irloader"]["value"] = text;
    if (mvhw::jsonToMiscSection(only.toStyledString()).empty())
        std::abort();
}

void checkStripped(const Json::Value& preset)
{
    for (const Json::Value& item : preset["sigPath"]["blocks"]["items"])
    {
        if (!item.isObject() || item["id"] != Json::Value("mavo.toneMatching"))
            continue;
        for (const Json::Value& param : item["params"])
        {
            const Json::Value& id = param["id"];
            if (id.isInt() && id.asInt() >= 101 && id.asInt() <= 104)
                std::abort();
        }
    }
}

// Runs adjust; false when it let Json::LogicError pass.
template <typename Adjust> bool survives(Adjust adjust)
{
    try
    {
        adjust();
        return true;
    }
    catch (const Json::LogicError&)
    {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Json::Value preset;
    if (!parseFuzzJson(data, size, preset))
        return 0;
    const Json::Value fields = preset.isObject() ? preset.get("fields", Json::Value()) : Json::Value();

    Json::Value sorted;
    if (survives([&] { sorted = mvhw::sortParamsById(preset); }))
        checkSorted(sorted);

    Json::Value applied = preset;
    if (!survives([&] { mvhw::applyIrLoaderFields(applied, fields); }) && applied != preset)
        std::abort();

    Json::Value stored = applied;
    if (survives([&] { mvhw::storeIrLoaderFieldsInMisc(stored); }))
        checkStored(stored, applied);
    else if (stored != applied)
        std::abort();

    Json::Value stripped;
    if (survives([&] { stripped = mvhw::stripToneMatchingParams(preset); }))
        checkStripped(stripped);
    return 0;
}
