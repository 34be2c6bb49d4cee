// The frame validator on arbitrary bytes, with the payload decode of every
// frame it accepts, checked against the codec classes.
#include "device/CommandFrame.h"
#include "device/MessageCodec.h"
#include "device/SevenBitPacking.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    const unsigned length = static_cast<unsigned>(size);
    const bool valid = validateCommandFrame(data, length);
    if (valid != (checkCommandFrame(data, length) == 0))
        std::abort();

    const std::vector<uint8_t> input(data, data + size);
    std::vector<uint8_t> viaCodec;
    bool codecAccepted = false;
    try
    {
        mv::MavoSeriesStackCodec codec(0, MessageClass::Data, CommandId::Probe);
        viaCodec = codec.decode(input);
        codecAccepted = true;
    }
    catch (const std::length_error&)
    {
        if (size >= 7)
            std::abort();
    }
    catch (const std::runtime_error&)
    {
    }

    if (!valid)
        return 0;
    // A valid frame always passes the codec's checksum check.
    if (!codecAccepted)
        std::abort();

    // Exactly length - 7 bytes of room: ASan reports any write past it.
    std::vector<uint8_t> payload(length - 7);
    const unsigned n = decodeCommandFramePayload(data, length, payload.data());
    const unsigned packed = length - 7;
    if (n != packed - (packed + 7) / 8 || n > payload.size())
        std::abort();
    payload.resize(n);
    if (payload != viaCodec)
        std::abort();
    (void)getCommandFrameSessionId(data);
    (void)getCommandFrameClass(data);
    (void)getCommandFrameCommand(data);

    // Packing what was unpacked and unpacking it again gives the same bytes,
    // and the rebuilt frame is valid.
    std::vector<uint8_t> frame(n + (n + 6) / 7 + 7);
    const int built =
        buildCommandFrame(data[2], data[4], data[5], payload.data(), static_cast<int>(n), frame.data());
    if (built != static_cast<int>(frame.size()) || !validateCommandFrame(frame.data(), frame.size()))
        std::abort();
    std::vector<uint8_t> again(n);
    if (decodeCommandFramePayload(frame.data(), frame.size(), again.data()) != n || again != payload)
        std::abort();
    return 0;
}
