// readSignalPath, writeSignalPath, readSignalPath over arbitrary bytes: the
// second read gives the document of the first, and writing it again gives the
// same bytes. The one loss is the writer's cut of arrays to 512 values, after
// which the reader pads a tone-matching array to 2048 values again.
#include "presets/ModuleTables.h"
#include "presets/SignalPath.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace
{

void expect(bool condition)
{
    if (!condition)
        std::abort();
}

bool read(const std::vector<uint8_t>& bytes, Json::Value& preset)
{
    mvhw::PresetReadCursor cursor{0, &bytes};
    return mvhw::readSignalPath(cursor, preset);
}

// Equal documents, where a NaN equals a NaN.
bool same(const Json::Value& a, const Json::Value& b)
{
    if (a.type() != b.type())
        return false;
    if (a.isArray() || a.isObject())
    {
        if (a.size() != b.size() || (a.isObject() && a.getMemberNames() != b.getMemberNames()))
            return false;
        for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib)
        {
            if (!same(*ia, *ib))
                return false;
        }
        return true;
    }
    if (a.type() == Json::realValue && std::isnan(a.asDouble()))
        return std::isnan(b.asDouble());
    return a == b;
}

// The first read's document as the second read gives it back: arrays cut to
// 512 values, tone-matching arrays padded to 2048 again.
Json::Value afterCut(Json::Value preset)
{
    for (Json::Value& item : preset["sigPath"]["blocks"]["items"])
    {
        const bool toneMatching =
            item["id"] == Json::Value(mvhw::moduleNumberToId.at(mvhw::toneMatchingModuleNumber));
        for (Json::Value& param : item["params"])
        {
            Json::Value& value = param["value"];
            if (!value.isArray() || value.size() <= mvhw::maxSignalPathArrayValues)
                continue;
            value.resize(mvhw::maxSignalPathArrayValues);
            while (toneMatching && value.size() < mvhw::toneMatchingArrayValues)
                value.append(Json::Value(0.0));
        }
    }
    return preset;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);
    Json::Value once;
    if (!read(bytes, once))
        return 0;
    const std::vector<uint8_t> written = mvhw::writeSignalPath(once);
    Json::Value twice;
    expect(read(written, twice));
    expect(same(twice, afterCut(once)));
    expect(mvhw::writeSignalPath(twice) == written);
    return 0;
}
