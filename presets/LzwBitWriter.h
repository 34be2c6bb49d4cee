#pragma once

// A plain LSB-first code writer that keeps its output complete after every
// code. The encoder packs its codes with the faster LzwCodePacker.

#include <cstdint>
#include <vector>

namespace mvhw
{

class LzwBitWriter
{
public:
    explicit LzwBitWriter(std::vector<uint8_t>& output) : out(output) {}

    // Appends the low width bits of code (width 0 to 32), least significant
    // first.
    void write(uint32_t code, uint32_t width);

private:
    std::vector<uint8_t>& out;
    uint32_t usedBits = 0; // bits already used in out's last byte, 0 to 7
};

} // namespace mvhw
