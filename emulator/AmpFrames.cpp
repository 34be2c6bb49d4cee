#include "emulator/AmpFrames.h"

#include <algorithm>

namespace emu
{

std::vector<uint8_t> packSevenBit(const std::vector<uint8_t>& raw)
{
    std::vector<uint8_t> packed;
    packed.reserve(raw.size() + (raw.size() + 6) / 7);
    for (size_t start = 0; start < raw.size(); start += 7)
    {
        const size_t flagsAt = packed.size();
        packed.push_back(0);
        for (size_t i = 0; i < 7 && start + i < raw.size(); ++i)
        {
            const uint8_t byte = raw[start + i];
            if (byte & 0x80)
                packed[flagsAt] |= uint8_t(1u << i);
            packed.push_back(byte & 0x7F);
        }
    }
    return packed;
}

std::vector<uint8_t> unpackSevenBit(const uint8_t* packed, size_t length)
{
    std::vector<uint8_t> raw;
    for (size_t group = 0; group + 1 < length; group += 8)
    {
        const uint8_t flags = packed[group];
        for (size_t i = 0; i < 7 && group + 1 + i < length; ++i)
            raw.push_back(uint8_t(packed[group + 1 + i] | ((flags >> i) & 1 ? 0x80 : 0)));
    }
    return raw;
}

std::vector<uint8_t> makeFrame(uint8_t sessionId, uint8_t messageClass, uint8_t command,
                               const std::vector<uint8_t>& payload)
{
    const std::vector<uint8_t> packed = packSevenBit(payload);
    uint8_t checksum = 0;
    for (uint8_t byte : packed)
        checksum ^= byte;
    std::vector<uint8_t> frame(packed.size() + 7);
    frame[0] = 0xF0;
    frame[1] = 0x01;
    frame[2] = sessionId;
    frame[3] = uint8_t(checksum & 0x7F);
    frame[4] = messageClass;
    frame[5] = command;
    std::copy(packed.begin(), packed.end(), frame.begin() + 6);
    frame.back() = 0xF7;
    return frame;
}

bool parseFrame(const std::vector<uint8_t>& message, ParsedFrame& out)
{
    if (message.size() < 7 || message.front() != 0xF0 || message.back() != 0xF7)
        return false;
    uint8_t checksum = 0;
    for (size_t i = 6; i + 1 < message.size(); ++i)
        checksum ^= message[i];
    if ((checksum & 0x7F) != message[3])
        return false;
    out.sessionId = message[2];
    out.messageClass = message[4];
    out.command = message[5];
    out.payload = unpackSevenBit(message.data() + 6, message.size() - 7);
    return true;
}

uint32_t readLe32At(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes.size() < at + 4 ? 0 : readLe32(bytes.data() + at);
}

} // namespace emu
