// writeSignalPath over arbitrary JSON: only Json::LogicError may escape, and
// what it writes reads back, unless the reader's tone-matching limit refuses
// it, into items that write and read again the same.
#include "presets/SignalPath.h"

#include "FuzzJson.h"

#include <cstdlib>
#include <vector>

namespace
{

// At least as many tone-matching arrays as the writer can have written.
unsigned toneMatchingArrays(const Json::Value& preset)
{
    if (!preset.isObject() || !preset["sigPath"].isObject() || !preset["sigPath"]["blocks"].isObject())
        return 0;
    unsigned arrays = 0;
    for (const Json::Value& item : preset["sigPath"]["blocks"]["items"])
    {
        if (!item.isObject() || item["id"] != Json::Value("mavo.toneMatching"))
            continue;
        for (const Json::Value& param : item["params"])
        {
            if (param.isObject() && param["value"].isArray())
                ++arrays;
        }
    }
    return arrays;
}

bool read(const std::vector<uint8_t>& bytes, Json::Value& preset)
{
    mvhw::PresetReadCursor cursor{0, &bytes};
    return mvhw::readSignalPath(cursor, preset) && cursor.offset == bytes.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Json::Value preset;
    if (!parseFuzzJson(data, size, preset))
        return 0;
    std::vector<uint8_t> bytes;
    try
    {
        bytes = mvhw::writeSignalPath(preset);
    }
    catch (const Json::LogicError&)
    {
        return 0;
    }
    if (bytes.size() < 4 || bytes.size() % 4 != 0)
        std::abort();

    Json::Value once;
    if (!read(bytes, once))
    {
        if (toneMatchingArrays(preset) <= mvhw::maxToneMatchingArrays)
            std::abort();
        return 0;
    }
    Json::Value twice;
    if (!read(mvhw::writeSignalPath(once), twice) || twice != once)
        std::abort();
    return 0;
}
