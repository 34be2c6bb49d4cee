// The compact item readers and the walkers over arbitrary bytes. Every item
// read is taken back by the writer in as many bytes as were read (fewer when
// an array was cut to 512 values), and the write is stable: writing what the
// written bytes read as gives the same bytes. The walkers step over items as
// readCompactItem reads them: where the reader, item by item, finds a module
// or reads them all, the walkers give the same answer.
#include "presets/CompactItem.h"
#include "presets/PresetReadCursor.h"
#include "presets/SignalPath.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace
{

bool arrayCut(const Json::Value& item)
{
    for (const Json::Value& param : item["params"])
    {
        if (param["value"].isArray() && param["value"].size() > mvhw::maxSignalPathArrayValues)
            return true;
    }
    return false;
}

void takeBack(const Json::Value& item, uint32_t consumed)
{
    std::vector<uint8_t> written(consumed + 16);
    uint32_t length = 0;
    if (!mvhw::writeCompactItem(written.data(), written.size(), item, length))
        std::abort();
    if (length > consumed || (length != consumed && !arrayCut(item)))
        std::abort();
    written.resize(length);

    // Exactly the room it needs, and one byte less.
    std::vector<uint8_t> exact(length);
    uint32_t offset = 0;
    if (!mvhw::writeCompactItem(exact.data(), exact.size(), item, offset) || offset != length ||
        exact != written)
        std::abort();
    offset = 0;
    if (mvhw::writeCompactItem(exact.data(), length - 1, item, offset) || offset != 0)
        std::abort();

    offset = 0;
    const Json::Value again = mvhw::readCompactItem(written.data(), written.size(), offset);
    if (again.isNull() || offset != length)
        std::abort();
    std::vector<uint8_t> rewritten(length);
    offset = 0;
    if (!mvhw::writeCompactItem(rewritten.data(), rewritten.size(), again, offset) || rewritten != written)
        std::abort();
}

// The first wanted module among the items that readCompactItem reads one
// after another; the fallback when the layout's words are not there or all
// items read without one; -1 when an item does not read.
int findByReader(const std::vector<uint8_t>& preset, const std::initializer_list<int>& wanted, int fallback)
{
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t count = 0;
    const size_t size = preset.size();
    if (!mvhw::wordAt(preset.data(), size, 0, a) || !mvhw::wordAt(preset.data(), size, 4 + uint64_t(a), b) ||
        !mvhw::wordAt(preset.data(), size, 12 + uint64_t(a) + b, count))
        return fallback;
    uint32_t offset = uint32_t(16 + uint64_t(a) + b);
    for (int32_t i = 0; i < int32_t(count); ++i)
    {
        const uint32_t at = offset;
        if (mvhw::readCompactItem(preset.data(), size, offset).isNull())
            return -1;
        const int module = preset[at];
        if (std::find(wanted.begin(), wanted.end(), module) != wanted.end())
            return module;
    }
    return fallback;
}

void checkWalker(const std::vector<uint8_t>& preset, int found, const std::initializer_list<int>& wanted,
                 int fallback)
{
    if (found != fallback && std::find(wanted.begin(), wanted.end(), found) == wanted.end())
        std::abort();
    const int byReader = findByReader(preset, wanted, fallback);
    if (byReader != -1 && byReader != found)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A heap copy of exactly size bytes, so ASan sees any read past them.
    const std::vector<uint8_t> bytes(data, data + size);
    uint32_t offset = 0;
    const Json::Value item = mvhw::readCompactItem(bytes.data(), bytes.size(), offset);
    if (offset > size || (item.isNull() && offset != 0 && offset != 4))
        std::abort();
    if (!item.isNull())
        takeBack(item, offset);

    // The first byte as a tone-matching parameter count, the rest its data.
    if (size > 0)
    {
        offset = 1;
        const Json::Value params = mvhw::readToneMatchingParams(bytes.data(), bytes.size(), offset, bytes[0]);
        if (offset > size || (params.isNull() && offset != 1))
            std::abort();
        if (!params.isNull())
        {
            Json::Value toneMatching(Json::objectValue);
            toneMatching["id"] = "mavo.toneMatching";
            toneMatching["isActive"] = true;
            toneMatching["params"] = params;
            takeBack(toneMatching, offset - 1 + 4);
        }
    }

    checkWalker(bytes, mvhw::findPreampModule(bytes), {0, 1, 2, 3, 45, 46}, 0);
    checkWalker(bytes, mvhw::findPowerAmpModule(bytes), {8, 9, 10, 11, 47, 48}, 8);
    return 0;
}
