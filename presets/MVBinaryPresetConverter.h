#pragma once

// Conversion between JSON preset text and the packed, optionally compressed,
// preset bytes. An interface only: nothing in the system implements or calls
// it.

#include <cstdint>
#include <string>
#include <vector>

namespace mvhw
{

class MVBinaryPresetConverter
{
public:
    virtual ~MVBinaryPresetConverter() {}

    virtual std::vector<uint8_t> jsonTextToBinary(const std::string& jsonText) = 0;
    virtual std::string binaryToJsonText(const std::vector<uint8_t>& bytes) = 0;
    virtual std::vector<uint8_t> compressBinary(const std::vector<uint8_t>& bytes) = 0;
    virtual std::vector<uint8_t> expandBinary(const std::vector<uint8_t>& bytes) = 0;
};

} // namespace mvhw
