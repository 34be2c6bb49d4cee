#include "device/ProbeReply.h"

#include "device/CommandFrame.h"
#include "device/SevenBitPacking.h"

#include <cstddef>
#include <vector>

bool decodeProbeReply(const uint8_t* bytes, int size, uint32_t& word)
{
    if (bytes == nullptr || size < 7 || !validateCommandFrame(bytes, unsigned(size)) ||
        bytes[4] != MessageClass::Data || bytes[5] != CommandId::Probe)
        return false;

    // The buffer holds the whole packed payload, more than it decodes to, and
    // four bytes beyond it for the word of a short reply.
    std::vector<uint8_t> decoded(std::size_t(size - 7) + 4, 0);
    decodeSevenBit(bytes + 6, decoded.data(), unsigned(size - 7));
    word = uint32_t(decoded[0]) | uint32_t(decoded[1]) << 8 | uint32_t(decoded[2]) << 16 |
           uint32_t(decoded[3]) << 24;
    return true;
}
