#pragma once

// The header word of an item in the compact item form, and the layout that
// the writer, the readers and the walkers all take from it. Byte 0 is the
// module number, 1 the active flag, 2 the parameter count (the array
// included), 3 the array flag. A general module keeps its array last;
// "mavo.toneMatching" keeps it first:
//
//   general:        header, scalars..., L, L / 4 values
//   tone matching:  header, L, L / 4 values, scalars...

#include "presets/ModuleTables.h"
#include "presets/PackedWords.h"

#include <cstdint>

namespace mvhw
{

// A "mavo.toneMatching" item holds at most 100 scalars. Read back they get
// ids 100, 1, 2, ... behind the array, or 0, 1, 2, ... without one, and the
// writer moves the first id 100 to the place behind the array: one scalar
// more would read as a second id 100, or as an id 100 that a re-save moves
// onto id 1. The readers refuse such an item and the writer does not write
// it.
constexpr unsigned maxToneMatchingScalars = 100;

struct CompactItemHeader
{
    uint8_t moduleNumber = 0;
    uint8_t active = 0;
    // Parameters in the item, the array parameter included.
    uint8_t paramCount = 0;
    uint8_t arrayFlag = 0;

    static CompactItemHeader fromWord(uint32_t word)
    {
        return {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)};
    }
    uint32_t toWord() const { return packBytes(moduleNumber, active, paramCount, arrayFlag); }

    // With the array flag set the item holds one array, even at a count of 0.
    bool hasArray() const { return arrayFlag != 0; }
    // The scalar values the item holds: the count less the array parameter.
    // With the array flag set the count is taken as at least 1, the array.
    unsigned scalarCount() const
    {
        if (!hasArray())
            return paramCount;
        return paramCount == 0 ? 0 : paramCount - 1u;
    }
    // A "mavo.toneMatching" item with an array keeps it first, right after
    // the header; any other keeps it behind its scalars.
    bool arrayFirst() const { return hasArray() && moduleNumber == toneMatchingModuleNumber; }
    // The array's place among the item's parameters, by the rule above.
    unsigned arrayIndex() const { return arrayFirst() ? 0 : scalarCount(); }
    // Bytes from the item's start to its array's length word.
    uint64_t arrayLengthOffset() const { return 4 + (arrayFirst() ? 0 : 4 * uint64_t(scalarCount())); }
    // The values behind an array's length word of arrayLength bytes:
    // arrayLength / 4. The writer's lengths are multiples of 4; the 1 to 3
    // bytes of any other length hold no value and are not part of the item.
    static uint32_t arrayValueCount(uint32_t arrayLength) { return arrayLength / 4; }
    // Bytes of the whole item, for an array of arrayLength bytes (ignored
    // without one).
    uint64_t itemBytes(uint32_t arrayLength) const
    {
        return 4 + 4 * uint64_t(scalarCount()) +
               (hasArray() ? 4 + 4 * uint64_t(arrayValueCount(arrayLength)) : 0);
    }
    // False for a "mavo.toneMatching" item of more than
    // maxToneMatchingScalars scalars.
    bool scalarsWithinLimit() const
    {
        return moduleNumber != toneMatchingModuleNumber || scalarCount() <= maxToneMatchingScalars;
    }
};

} // namespace mvhw
