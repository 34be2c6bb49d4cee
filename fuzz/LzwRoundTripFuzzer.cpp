// The LZW encoder over arbitrary input at every cap: caps below the input's
// first width give its first-width stream, and from there to lzwMaxCodeBits
// each stream states its cap and alphabet size and decodes to the input within
// a limit of the input's size. A cap above lzwMaxCodeBits is refused with
// std::invalid_argument; any other exception fails the run.
#include "presets/LzwCodec.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace
{

void expect(bool condition)
{
    if (!condition)
        std::abort();
}

void expectRefused(const std::vector<uint8_t>& input, uint32_t cap)
{
    std::vector<uint8_t> stream;
    try
    {
        mvhw::lzwEncode(input, stream, cap);
    }
    catch (const std::invalid_argument&)
    {
        return;
    }
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> input(data, data + size);
    std::array<uint8_t, 256> symbols;
    // The empty input is written as a one-symbol alphabet.
    const uint32_t alphabetSize = std::max(1u, mvhw::buildAlphabetMap(input, symbols));
    const uint32_t firstWidth = mvhw::bitsNeeded(alphabetSize + 1);

    std::vector<uint8_t> belowFirstWidth;
    mvhw::lzwEncode(input, belowFirstWidth, 0);
    std::vector<uint8_t> stream;
    std::vector<uint8_t> back;
    for (uint32_t cap = firstWidth; cap <= mvhw::lzwMaxCodeBits; ++cap)
    {
        mvhw::lzwEncode(input, stream, cap);
        expect(stream.size() >= 2 && stream[0] == cap && stream[1] == uint8_t(alphabetSize));
        if (cap == firstWidth)
            expect(stream == belowFirstWidth);
        mvhw::lzwDecode(stream, back, input.size());
        expect(back == input);
    }
    expectRefused(input, mvhw::lzwMaxCodeBits + 1);
    expectRefused(input, UINT32_MAX);
    return 0;
}
