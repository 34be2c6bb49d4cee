#include "presets/LzwCompress.h"

#include "common/LittleEndianWord.h"
#include "presets/LzwCodec.h"

#include <cmath>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <stdexcept>

namespace mvhw
{

static_assert(lzwMaxCodeBits < 64, "2^cap fits the size it is compared with");

void lzwCompress(LzwOptions& options, const std::vector<uint8_t>& input, std::vector<uint8_t>& output)
{
    if (options.maxBitsLimit < options.maxBits)
        options.maxBitsLimit = options.maxBits;

    uint32_t bestBits = options.maxBits;
    size_t bestSize = 0;
    for (uint64_t bits = options.maxBits;; ++bits)
    {
        const std::clock_t start = options.timing ? std::clock() : 0;
        lzwEncode(input, output, uint32_t(bits));
        if (bits == options.maxBits || output.size() <= bestSize)
        {
            bestBits = uint32_t(bits);
            bestSize = output.size();
        }
        if (options.verbose)
        {
            std::cout << "LZW: maxBits=" << std::setw(2) << bits << ", size=" << std::setw(10)
                      << output.size();
            if (options.timing)
            {
                const double ticks = double(std::clock() - start);
                const double seconds = std::floor(ticks * 100.0 / CLOCKS_PER_SEC + 0.5) / 100.0;
                std::cout << "  (" << seconds << " seconds)";
            }
            std::cout << std::endl;
        }
        // The encoder refuses caps above lzwMaxCodeBits, so the shift stays
        // in range.
        if (output.size() < (uint64_t(1) << bits) || bits + 1 > options.maxBitsLimit)
            break;
    }
    if (bestBits != options.maxBitsLimit)
        lzwEncode(input, output, bestBits);
}

std::vector<uint8_t> compressString(const std::string& text)
{
    try
    {
        const std::vector<uint8_t> input(text.begin(), text.end());
        std::vector<uint8_t> stream;
        LzwOptions options;
        lzwCompress(options, input, stream);
        if (stream.size() > UINT32_MAX)
            throw std::length_error("LZW stream too long for its length word");
        std::vector<uint8_t> framed;
        framed.reserve(4 + stream.size() + 3);
        appendLe32(framed, uint32_t(stream.size()));
        framed.insert(framed.end(), stream.begin(), stream.end());
        framed.resize((framed.size() + 3) / 4 * 4, 0);
        return framed;
    }
    catch (...)
    {
        return {};
    }
}

} // namespace mvhw
