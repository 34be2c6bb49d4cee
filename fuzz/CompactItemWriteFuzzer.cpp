// writeCompactItem of arbitrary JSON into a short buffer: byte 0 is the
// buffer's size, byte 1 the offset, the rest the item's text. Only
// Json::LogicError may escape, and then, as on a refusal, the buffer is
// untouched; what is written reads back over exactly the written bytes and
// writes again the same, but for a float word of -0.0: read back as the
// integral -0.0, it is written again through asInt as +0.0, the same value.
#include "presets/CompactItem.h"

#include "FuzzJson.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

// Equal bytes, where a float word that was -0.0 (00 00 00 80) may have
// become +0.0: each byte that differs is that word's sign byte.
bool sameButNegativeZeros(const uint8_t* written, const uint8_t* rewritten, size_t size)
{
    for (size_t i = 0; i < size; ++i)
    {
        if (written[i] == rewritten[i])
            continue;
        if (i < 3 || written[i] != 0x80 || rewritten[i] != 0)
            return false;
        for (size_t k = i - 3; k < i; ++k)
            if (written[k] != 0 || rewritten[k] != 0)
                return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t room = data[0];
    const uint32_t start = data[1];
    Json::Value item;
    if (!parseFuzzJson(data + 2, size - 2, item))
        return 0;

    // Exactly room bytes on the heap, so ASan sees any write past them.
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[room]);
    std::memset(buffer.get(), 0xEE, room);
    const auto untouched = [&]
    {
        for (size_t i = 0; i < room; ++i)
        {
            if (buffer[i] != 0xEE)
                return false;
        }
        return true;
    };
    uint32_t offset = start;
    bool ok = false;
    try
    {
        ok = mvhw::writeCompactItem(buffer.get(), room, item, offset);
    }
    catch (const Json::LogicError&)
    {
        if (offset != start || !untouched())
            std::abort();
        return 0;
    }
    if (!ok)
    {
        if ((offset != start && (offset != start + 4 || offset > room)) || !untouched())
            std::abort();
        return 0;
    }
    if (offset > room || offset < start + 4)
        std::abort();

    uint32_t at = start;
    const Json::Value back = mvhw::readCompactItem(buffer.get(), room, at);
    if (back.isNull() || at != offset)
        std::abort();
    std::vector<uint8_t> again(offset - start);
    uint32_t length = 0;
    if (!mvhw::writeCompactItem(again.data(), again.size(), back, length) || length != again.size() ||
        !sameButNegativeZeros(buffer.get() + start, again.data(), again.size()))
        std::abort();
    return 0;
}
