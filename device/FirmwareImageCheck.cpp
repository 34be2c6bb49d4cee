#include "device/FirmwareImageCheck.h"

#include "common/LittleEndianWord.h"

#include <cstdio>
#include <cstring>

namespace
{

constexpr int64_t infoBegin = static_cast<int64_t>(FirmwareInfoBlock::imageOffset);
constexpr int64_t infoEnd = infoBegin + static_cast<int64_t>(FirmwareInfoBlock::size);
constexpr int nameBytes = sizeof(FirmwareInfoBlock::deviceName);

bool isPrintable(uint8_t c)
{
    return c >= 0x20 && c < 0x7F;
}

// The four name bytes in quotes, with bytes that are not printable as \xNN.
std::string quoteName(const uint8_t name[nameBytes])
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "'";
    for (int i = 0; i < nameBytes; ++i)
    {
        if (isPrintable(name[i]))
            text += static_cast<char>(name[i]);
        else
            text += std::string("\\x") + digits[name[i] >> 4] + digits[name[i] & 0xF];
    }
    return text + "'";
}

std::string hex32(uint32_t value)
{
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

// The sum, modulo 2^32, of the image's whole little-endian words outside its
// info block.
uint32_t wordSum(const uint8_t* image, int64_t size)
{
    uint32_t sum = 0;
    const int64_t wordBytes = size - size % 4;
    for (int64_t off = 0; off < wordBytes; off += 4)
        if (off < infoBegin || off >= infoEnd)
            sum += readLe32(image + off);
    return sum;
}

} // namespace

std::string checkFirmwareLength(const FirmwareInfoBlock& info, int64_t size)
{
    const int64_t firmwareBytes = 4 * static_cast<int64_t>(info.firmwareLength);
    if (size / 4 == static_cast<int64_t>(info.firmwareLength))
        return {};
    return "Firmware image refused: its info block gives a firmware length of " +
           std::to_string(info.firmwareLength) + (info.firmwareLength == 1 ? " word (" : " words (") +
           std::to_string(firmwareBytes) + " bytes), the image has " + std::to_string(size < 0 ? 0 : size) +
           " bytes";
}

std::string checkFirmwareImage(const uint8_t* image, int64_t size)
{
    if (image == nullptr || size < infoEnd)
        return "Firmware image refused: " + std::to_string(size < 0 ? 0 : size) +
               " bytes cannot hold its info block at 0x400 (" + std::to_string(infoEnd) + " bytes needed)";
    FirmwareInfoBlock info;
    decodeFirmwareInfoBlock(image + infoBegin, FirmwareInfoBlock::size, &info);
    std::string refused = checkFirmwareLength(info, size);
    if (!refused.empty())
        return refused;
    const uint32_t sum = wordSum(image, size);
    if (sum != info.checksum)
        return "Firmware image refused: its info block gives a checksum of " + hex32(info.checksum) +
               ", the image's words sum to " + hex32(sum);
    return {};
}

bool isBlankDeviceName(const FirmwareInfoBlock& device)
{
    for (const uint8_t blank : {uint8_t(0x00), uint8_t(0xFF), uint8_t(' ')})
    {
        int same = 0;
        for (uint8_t c : device.deviceName)
            same += c == blank;
        if (same == nameBytes)
            return true;
    }
    return false;
}

std::string checkImageForDevice(const uint8_t* image, int64_t size, const FirmwareInfoBlock& device,
                                int reportedBytes)
{
    if (image == nullptr || size < infoEnd)
        return {};
    const uint8_t* imageName = image + infoBegin;
    if (reportedBytes < nameBytes)
        return "Firmware image refused: the amplifier's info block has " +
               std::to_string(reportedBytes < 0 ? 0 : reportedBytes) +
               " bytes, too few to hold its device name; the image is built for device " +
               quoteName(imageName);
    if (std::memcmp(imageName, device.deviceName, nameBytes) == 0 || isBlankDeviceName(device))
        return {};
    return "Firmware image refused: it is built for device " + quoteName(imageName) + ", the amplifier is " +
           quoteName(device.deviceName);
}
