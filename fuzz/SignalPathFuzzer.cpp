// readSignalPath over arbitrary bytes: never reads outside the buffer, a
// refused path leaves the preset as it was, and what it builds stays within
// what the input's words hold plus the bounded tone-matching padding.
#include "presets/SignalPath.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);
    mvhw::PresetReadCursor cursor{0, &bytes};
    Json::Value empty;
    const bool intoEmpty = mvhw::readSignalPath(cursor, empty);
    if (!intoEmpty && !empty.isNull())
        std::abort();

    cursor.offset = 0;
    Json::Value preset;
    preset["sigPath"]["blocks"]["items"].append("before");
    const Json::Value before = preset;
    const bool ok = mvhw::readSignalPath(cursor, preset);
    const Json::Value& items = preset["sigPath"]["blocks"]["items"];
    if (cursor.offset > bytes.size() || ok != intoEmpty)
        std::abort();
    if (!ok && preset != before)
        std::abort();
    if (!ok)
        return 0;
    uint64_t values = 0;
    for (const Json::Value& item : items)
    {
        for (const Json::Value& param : item["params"])
            values += param["value"].isArray() ? param["value"].size() : 1;
    }
    if (values > size / 4 + uint64_t(mvhw::maxToneMatchingArrays) * mvhw::toneMatchingArrayValues)
        std::abort();
    // What was there before makes no difference (compared as bytes, which
    // keep NaNs equal).
    if (mvhw::writeSignalPath(preset) != mvhw::writeSignalPath(empty))
        std::abort();
    return 0;
}
