#include "device/MessageCodec.h"

#include "device/SevenBitPacking.h"

#include <algorithm>
#include <stdexcept>

namespace mv
{

std::vector<uint8_t> MessageCodec::makeEncodeBuffer(unsigned inputSize) const
{
    return std::vector<uint8_t>(encodedSize(inputSize), 0);
}

std::vector<uint8_t> MessageCodec::makeDecodeBuffer(unsigned inputSize) const
{
    return std::vector<uint8_t>(decodedSize(inputSize), 0);
}

// --- SevenBitsCodec

std::vector<uint8_t> SevenBitsCodec::encode(const std::vector<uint8_t>& input)
{
    std::vector<uint8_t> out = makeEncodeBuffer(static_cast<unsigned>(input.size()));
    if (!input.empty())
        encodeSevenBit(out.data(), input.data(), static_cast<int>(input.size()));
    return out;
}

std::vector<uint8_t> SevenBitsCodec::decode(const std::vector<uint8_t>& input)
{
    std::vector<uint8_t> out = makeDecodeBuffer(static_cast<unsigned>(input.size()));
    if (!out.empty())
        decodeSevenBit(input.data(), out.data(), static_cast<unsigned>(input.size()));
    return out;
}

unsigned SevenBitsCodec::encodedSize(unsigned inputSize) const
{
    return inputSize + (inputSize + 6) / 7;
}

unsigned SevenBitsCodec::decodedSize(unsigned inputSize) const
{
    return inputSize - (inputSize + 7) / 8;
}

// --- SysExCommandCodec

SysExCommandCodec::SysExCommandCodec(uint8_t sessionId, uint8_t messageClass, uint8_t command)
    : header{0xF0, 0x01, sessionId, 0, messageClass, command}
{
}

std::vector<uint8_t> SysExCommandCodec::encode(const std::vector<uint8_t>& input)
{
    uint8_t sum = 0;
    for (uint8_t b : input)
        sum ^= b;
    header[3] = static_cast<uint8_t>(sum & 0x7F);

    std::vector<uint8_t> out = makeEncodeBuffer(static_cast<unsigned>(input.size()));
    std::copy(header, header + 6, out.begin());
    std::copy(input.begin(), input.end(), out.begin() + 6);
    out.back() = 0xF7;
    return out;
}

std::vector<uint8_t> SysExCommandCodec::decode(const std::vector<uint8_t>& input)
{
    if (input.size() < 7)
        throw std::length_error("command frame shorter than 7 bytes");

    std::vector<uint8_t> out = makeDecodeBuffer(static_cast<unsigned>(input.size()));
    std::copy(input.begin() + 6, input.end() - 1, out.begin());
    uint8_t sum = 0;
    for (uint8_t b : out)
        sum ^= b;
    if (static_cast<uint8_t>(sum & 0x7F) != input[3])
        throw std::runtime_error("checksum mismatched");
    return out;
}

unsigned SysExCommandCodec::encodedSize(unsigned inputSize) const
{
    return inputSize + 7;
}

unsigned SysExCommandCodec::decodedSize(unsigned inputSize) const
{
    return inputSize < 7 ? 0 : inputSize - 7;
}

// --- MessageStackCodec

std::vector<uint8_t> MessageStackCodec::encode(const std::vector<uint8_t>& input)
{
    std::vector<uint8_t> data = input;
    for (auto& codec : codecs)
        data = codec->encode(data);
    return data;
}

std::vector<uint8_t> MessageStackCodec::decode(const std::vector<uint8_t>& input)
{
    std::vector<uint8_t> data = input;
    for (auto it = codecs.rbegin(); it != codecs.rend(); ++it)
        data = (*it)->decode(data);
    return data;
}

unsigned MessageStackCodec::encodedSize(unsigned inputSize) const
{
    for (const auto& codec : codecs)
        inputSize = codec->encodedSize(inputSize);
    return inputSize;
}

unsigned MessageStackCodec::decodedSize(unsigned inputSize) const
{
    for (auto it = codecs.rbegin(); it != codecs.rend(); ++it)
        inputSize = (*it)->decodedSize(inputSize);
    return inputSize;
}

void MessageStackCodec::addCodec(std::unique_ptr<MessageCodec> codec)
{
    codecs.push_back(std::move(codec));
}

// --- MavoSeriesStackCodec

MavoSeriesStackCodec::MavoSeriesStackCodec(uint8_t sessionId, uint8_t messageClass, uint8_t command)
{
    codecs.push_back(std::make_unique<SevenBitsCodec>());
    codecs.push_back(std::make_unique<SysExCommandCodec>(sessionId, messageClass, command));
}

void MavoSeriesStackCodec::addCodec(std::unique_ptr<MessageCodec>)
{
    throw std::logic_error("MAVO series should not call this function");
}

} // namespace mv
