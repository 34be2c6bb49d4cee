#pragma once

// The few MessagePack items the amplifier's command bodies use, read and
// written from the format's definition (big-endian), apart from the host's
// packer: unsigned integers, str, float32, booleans and array headers.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace emu
{

struct MpItem
{
    enum class Kind
    {
        Unsigned,
        Str,
        Float,
        Boolean,
        Array,
        Other
    };
    Kind kind = Kind::Other;
    uint64_t number = 0; // Unsigned value, Array count
    std::string text;    // Str data, NUL bytes included
    float real = 0;
    bool flag = false;
};

// Reads items one after the other; false at the end of the input or on an
// item cut short or of another type than those above.
class MpReader
{
public:
    explicit MpReader(const std::vector<uint8_t>& bytes) : data(bytes) {}

    bool next(MpItem& item);
    // A string field: its length item, then its str; the text without the
    // NUL padding.
    bool nextString(std::string& text);
    bool nextUnsigned(uint64_t& value);

private:
    bool take(std::size_t n, const uint8_t*& at);
    uint64_t bigEndian(const uint8_t* at, std::size_t n) const;

    const std::vector<uint8_t>& data;
    std::size_t pos = 0;
};

void mpWriteUnsigned(std::vector<uint8_t>& out, uint64_t value);
void mpWriteFloat(std::vector<uint8_t>& out, float value);
void mpWriteBoolean(std::vector<uint8_t>& out, bool value);
void mpWriteArrayHeader(std::vector<uint8_t>& out, uint32_t count);

} // namespace emu
