#include "presets/LzwBitWriter.h"
#include "presets/LzwCodePacker.h"
#include "presets/LzwCodec.h"
#include "presets/LzwStringTable.h"

#include <algorithm>

namespace mvhw
{

uint32_t buildAlphabetMap(const std::vector<uint8_t>& input, std::array<uint8_t, 256>& table)
{
    std::array<bool, 256> present{};
    for (uint8_t byte : input)
        present[byte] = true;
    uint32_t count = 0;
    for (unsigned value = 0; value < 256; ++value)
        table[value] = present[value] ? uint8_t(count++) : uint8_t(255);
    return count;
}

namespace
{

// No symbol to write: a one-symbol alphabet and a bare end code.
void writeEmptyStream(std::vector<uint8_t>& output, uint32_t requestedBits)
{
    const uint32_t firstWidth = bitsNeeded(2);
    output.push_back(uint8_t(std::max(requestedBits, firstWidth)));
    output.push_back(1);
    output.push_back(0);
    LzwBitWriter(output).write(1, firstWidth);
}

// M, A mod 256 and, below 256 symbols, the present values ascending.
void writeHeader(std::vector<uint8_t>& output, uint32_t maxWidth, uint32_t alphabetSize,
                 const std::array<uint8_t, 256>& symbols)
{
    output.push_back(uint8_t(maxWidth));
    output.push_back(uint8_t(alphabetSize & 0xFF));
    if (alphabetSize == 256)
        return;
    // Below 256 symbols no present value has symbol 255.
    for (unsigned value = 0; value < 256; ++value)
    {
        if (symbols[value] != 255)
            output.push_back(uint8_t(value));
    }
}

// Appends the codes of a non-empty input and the end code.
void writeCodes(const std::vector<uint8_t>& input, const std::array<uint8_t, 256>& symbols,
                uint32_t alphabetSize, uint32_t maxWidth, std::vector<uint8_t>& output)
{
    // A run holds fewer than 2^M strings, and never more than one per
    // input byte.
    LzwStringTable table(alphabetSize,
                         std::min<size_t>(size_t(1) << maxWidth, alphabetSize + 1 + input.size()),
                         std::min<size_t>(size_t(1) << maxWidth, input.size()));
    LzwCodePacker packer(output);
    const uint32_t firstFree = alphabetSize + 1;
    const uint32_t firstWidth = bitsNeeded(firstFree);
    uint32_t next = firstFree;
    uint32_t width = firstWidth;
    // The longest string found so far, as its code.
    uint32_t current = symbols[input[0]];
    for (size_t i = 1; i < input.size(); ++i)
    {
        const uint32_t symbol = symbols[input[i]];
        if (table.findOrAdd(current, symbol, next, current))
            continue;
        // current followed by symbol is the new string `next`; the code
        // written is the run's (next - A - 1)th.
        ++next;
        packer.put(current, width);
        current = symbol;
        if (lzwRunEndsAfterCode(next - 1, width, maxWidth))
        {
            table.clear();
            next = firstFree;
            width = firstWidth;
        }
    }
    // The last data code is the run's (next - A)th.
    packer.put(current, width);
    packer.put(alphabetSize, lzwWidthIsFull(next, width) ? width + 1 : width);
    packer.finish();
}

} // namespace

void lzwEncode(const std::vector<uint8_t>& input, std::vector<uint8_t>& output, uint32_t requestedBits)
{
    if (requestedBits > lzwMaxCodeBits)
        throw std::invalid_argument("LZW code width above the largest supported");
    output.clear();
    output.reserve(input.size() + input.size() / 8);

    std::array<uint8_t, 256> symbols;
    const uint32_t alphabetSize = buildAlphabetMap(input, symbols);
    if (alphabetSize == 0)
    {
        writeEmptyStream(output, requestedBits);
        return;
    }
    const uint32_t maxWidth = std::max(requestedBits, bitsNeeded(alphabetSize + 1));
    writeHeader(output, maxWidth, alphabetSize, symbols);
    writeCodes(input, symbols, alphabetSize, maxWidth, output);
}

} // namespace mvhw
