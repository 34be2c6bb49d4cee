// The LZW decoder over arbitrary streams: it either refuses a stream with
// LzwStreamError or decodes it, and what it decodes must survive a round trip.
#include "presets/LzwCodec.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> stream(data, data + size);
    std::vector<uint8_t> output;
    try
    {
        mvhw::lzwDecode(stream, output, size_t(1) << 24);
    }
    catch (const mvhw::LzwStreamError&)
    {
        if (!output.empty())
            std::abort();
        return 0;
    }
    std::vector<uint8_t> again;
    std::vector<uint8_t> back;
    mvhw::lzwEncode(output, again, 16);
    mvhw::lzwDecode(again, back);
    if (back != output)
        std::abort();
    return 0;
}
