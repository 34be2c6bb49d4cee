#include "presets/LzwDictionary.h"

#include <algorithm>

namespace mvhw
{

LzwDictionary::LzwDictionary(uint32_t entryCount, uint32_t alphabetSize)
    : entries(entryCount), firstFreeCode(alphabetSize + 1), nextCode(alphabetSize + 1)
{
    reset();
}

void LzwDictionary::reset()
{
    const uint32_t singles = std::min<uint32_t>(firstFreeCode, uint32_t(entries.size()));
    for (uint32_t code = 0; code < singles; ++code)
    {
        entries[code] = LzwEntry{};
        entries[code].symbol = uint8_t(code);
    }
    nextCode = firstFreeCode;
}

void LzwDictionary::getString(int32_t code)
{
    scratch.clear();
    while (code != -1)
    {
        const LzwEntry& entry = entries[size_t(code)];
        scratch.push_back(entry.symbol);
        code = entry.prefix;
    }
}

} // namespace mvhw
