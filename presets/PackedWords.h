#pragma once

// The words of the packed preset forms as the writers build them: four header
// bytes packed into one, and JSON numbers as IEEE 754 single-precision values,
// appended as little-endian words.

#include "common/LittleEndianWord.h"

#include <json/value.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace mvhw
{

// b0 is the word's lowest byte; each argument keeps its low 8 bits.
inline uint32_t packBytes(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3)
{
    return (b0 & 0xFF) | (b1 & 0xFF) << 8 | (b2 & 0xFF) << 16 | (b3 & 0xFF) << 24;
}

// A number becomes its nearest float32 (an integer that fits an int through
// asInt, any other number through asDouble); anything else is 0.0.
inline float toFloat32(const Json::Value& value)
{
    if (!value.isDouble())
        return 0.0f;
    if (value.isInt())
        return float(value.asInt());
    return float(value.asDouble());
}

inline void appendFloat(std::vector<uint8_t>& out, float value)
{
    uint32_t word = 0;
    std::memcpy(&word, &value, sizeof word);
    appendLe32(out, word);
}

} // namespace mvhw
