#include "presets/CompactItemHeader.h"

#include "presets/ModuleTables.h"
#include "presets/PackedWords.h"

namespace mvhw
{

CompactItemHeader CompactItemHeader::fromWord(uint32_t word)
{
    CompactItemHeader header;
    header.moduleNumber = uint8_t(word);
    header.active = uint8_t(word >> 8);
    header.paramCount = uint8_t(word >> 16);
    header.arrayFlag = uint8_t(word >> 24);
    return header;
}

uint32_t CompactItemHeader::toWord() const
{
    return packBytes(moduleNumber, active, paramCount, arrayFlag);
}

unsigned CompactItemHeader::scalarCount() const
{
    if (!hasArray())
        return paramCount;
    return paramCount == 0 ? 0 : paramCount - 1u;
}

bool CompactItemHeader::arrayFirst() const
{
    return hasArray() && moduleNumber == toneMatchingModuleNumber;
}

uint64_t CompactItemHeader::arrayLengthOffset() const
{
    return 4 + (arrayFirst() ? 0 : 4 * uint64_t(scalarCount()));
}

uint64_t CompactItemHeader::itemBytes(uint32_t arrayLength) const
{
    return 4 + 4 * uint64_t(scalarCount()) + (hasArray() ? 4 + uint64_t(arrayLength) : 0);
}

bool CompactItemHeader::scalarsWithinLimit() const
{
    return moduleNumber != toneMatchingModuleNumber || scalarCount() <= maxToneMatchingScalars;
}

} // namespace mvhw
