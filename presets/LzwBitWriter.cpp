#include "presets/LzwBitWriter.h"

#include <cstddef>
#include <limits>

namespace mvhw
{

// One code lands in a 64-bit word above the last byte's used bits.
static_assert(7 + std::numeric_limits<uint32_t>::digits <= std::numeric_limits<uint64_t>::digits,
              "a code and the used bits of the last byte fit the word");

void LzwBitWriter::write(uint32_t code, uint32_t width)
{
    if (width == 0)
        return;
    const uint64_t bits = uint64_t(width < 32 ? code & ((1u << width) - 1) : code) << usedBits;
    // The code continues the partly used last byte, if any.
    const size_t start = out.size() - (usedBits != 0 ? 1 : 0);
    const uint32_t total = usedBits + width;
    out.resize(start + (total + 7) / 8);
    uint8_t* p = out.data() + start;
    p[0] = uint8_t(p[0] | bits);
    for (uint32_t i = 1; i < (total + 7) / 8; ++i)
        p[i] = uint8_t(bits >> (8 * i));
    usedBits = total & 7;
}

} // namespace mvhw
