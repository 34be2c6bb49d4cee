// The discovery's probe-reply decode on arbitrary bytes, checked against an
// unpacking of its own.
#include "device/CommandFrame.h"
#include "device/ProbeReply.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    // An exact-size copy, so reading past the input shows.
    const std::vector<uint8_t> bytes(data, data + size);
    uint32_t word = 0xDEADBEEF;
    const bool ok = decodeProbeReply(bytes.data(), int(size), word);
    if (!ok)
    {
        if (word != 0xDEADBEEF)
            std::abort(); // the word is written only for a reply
        return 0;
    }
    if (size < 7 || bytes[4] != MessageClass::Data || bytes[5] != CommandId::Probe ||
        !validateCommandFrame(bytes.data(), unsigned(size)))
        std::abort();

    // The first group of the packed payload: flags, then up to seven bytes.
    uint32_t expected = 0;
    const size_t packed = size - 7;
    for (size_t i = 0; i < 4 && i + 1 < packed && i < 7; ++i)
    {
        const uint8_t b = uint8_t(bytes[7 + i] | (((bytes[6] >> i) & 1) << 7));
        expected |= uint32_t(b) << (8 * i);
    }
    if (word != expected)
        std::abort();
    return 0;
}
