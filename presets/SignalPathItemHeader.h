#pragma once

// The header word of an item in the packed signal path. Byte 0 is the module
// number, 1 the active flag, 2 the number of parameters that follow; byte 3
// is written as 0 and not read.

#include "presets/PackedWords.h"

#include <cstdint>

namespace mvhw
{

struct SignalPathItemHeader
{
    uint8_t moduleNumber = 0;
    uint8_t active = 0;
    uint8_t paramCount = 0;

    static SignalPathItemHeader fromWord(uint32_t word)
    {
        return {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16)};
    }
    uint32_t toWord() const { return packBytes(moduleNumber, active, paramCount, 0); }
};

} // namespace mvhw
