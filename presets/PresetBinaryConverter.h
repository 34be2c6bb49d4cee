#pragma once

// Whole-preset conversion between the JSON preset and its packed form. An
// interface only: nothing in the system implements or calls it.

#include "presets/PresetReadCursor.h"

#include <json/value.h>

#include <cstdint>
#include <vector>

namespace mvhw
{

class PresetBinaryConverter
{
public:
    virtual ~PresetBinaryConverter() {}

    virtual std::vector<uint8_t> presetToBinary(const Json::Value& preset) = 0;
    virtual bool binaryToPreset(const std::vector<uint8_t>& bytes, Json::Value& preset) = 0;
    virtual std::vector<uint8_t> signalPathToBinary(const Json::Value& preset) = 0;
    virtual bool binaryToSignalPath(PresetReadCursor& cursor, Json::Value& preset) = 0;
    virtual std::vector<uint8_t> itemToCompactBinary(const Json::Value& item) = 0;
    virtual Json::Value compactBinaryToItem(PresetReadCursor& cursor) = 0;
};

} // namespace mvhw
