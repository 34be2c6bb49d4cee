#include "device/CommandFrame.h"

#include "device/SevenBitPacking.h"

namespace
{
uint8_t maskedXor(const uint8_t* data, unsigned length)
{
    uint8_t sum = 0;
    for (unsigned i = 0; i < length; ++i)
        sum ^= data[i];
    return static_cast<uint8_t>(sum & 0x7F);
}
} // namespace

int buildCommandFrame(uint8_t sessionId, uint8_t messageClass, uint8_t command, const uint8_t* payload,
                      int payloadLength, uint8_t* out)
{
    if (out == nullptr)
        return 0;
    out[0] = 0xF0;
    out[1] = 0x01;
    out[2] = sessionId;
    out[3] = 0;
    out[4] = messageClass;
    out[5] = command;
    int packed = 0;
    if (payload != nullptr && payloadLength > 0)
        packed = encodeSevenBit(out + 6, payload, payloadLength);
    out[3] = maskedXor(out + 6, static_cast<unsigned>(packed));
    out[6 + packed] = 0xF7;
    return packed + 7;
}

bool validateCommandFrame(const uint8_t* frame, unsigned length)
{
    if (frame == nullptr || length < 7)
        return false;
    if (frame[0] != 0xF0 || frame[length - 1] != 0xF7)
        return false;
    return frame[3] == maskedXor(frame + 6, length - 7);
}

int checkCommandFrame(const uint8_t* frame, unsigned length)
{
    return validateCommandFrame(frame, length) ? 0 : -1;
}

unsigned decodeCommandFramePayload(const uint8_t* frame, unsigned frameLength, uint8_t* out)
{
    if (frameLength < 7)
        return 0;
    return decodeSevenBit(frame + 6, out, frameLength - 7);
}

uint8_t getCommandFrameSessionId(const uint8_t* frame)
{
    return frame[2];
}

uint8_t getCommandFrameClass(const uint8_t* frame)
{
    return frame[4];
}

uint8_t getCommandFrameCommand(const uint8_t* frame)
{
    return frame[5];
}
