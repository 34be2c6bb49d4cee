#include "device/FirmwareImageCheck.h"

#include <cstring>

namespace
{

constexpr int64_t infoEnd = static_cast<int64_t>(FirmwareInfoBlock::imageOffset + FirmwareInfoBlock::size);

bool isPrintable(uint8_t c)
{
    return c >= 0x20 && c < 0x7F;
}

// The four name bytes in quotes, with bytes that are not printable as \xNN.
std::string quoteName(const uint8_t name[4])
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "'";
    for (int i = 0; i < 4; ++i)
    {
        if (isPrintable(name[i]))
            text += static_cast<char>(name[i]);
        else
            text += std::string("\\x") + digits[name[i] >> 4] + digits[name[i] & 0xF];
    }
    return text + "'";
}

} // namespace

std::string checkFirmwareImage(const uint8_t* image, int64_t size)
{
    if (image == nullptr || size < infoEnd)
        return "Firmware image refused: " + std::to_string(size < 0 ? 0 : size) +
               " bytes cannot hold its info block at 0x400 (" + std::to_string(infoEnd) + " bytes needed)";
    FirmwareInfoBlock info;
    decodeFirmwareInfoBlock(image + FirmwareInfoBlock::imageOffset, FirmwareInfoBlock::size, &info);
    if (info.firmwareLength == 0)
        return "Firmware image refused: its info block gives a firmware length of 0 words";
    const int64_t firmwareBytes = 4 * static_cast<int64_t>(info.firmwareLength);
    if (firmwareBytes > size)
        return "Firmware image refused: its info block gives " + std::to_string(info.firmwareLength) +
               " words (" + std::to_string(firmwareBytes) + " bytes), the image has " + std::to_string(size) +
               " bytes";
    return {};
}

std::string readableDeviceName(const FirmwareInfoBlock& device)
{
    bool blank = true;
    for (uint8_t c : device.deviceName)
    {
        if (!isPrintable(c))
            return {};
        blank = blank && c == ' ';
    }
    return blank ? std::string() : std::string(reinterpret_cast<const char*>(device.deviceName), 4);
}

std::string checkImageForDevice(const uint8_t* image, int64_t size, const FirmwareInfoBlock& device)
{
    if (image == nullptr || size < infoEnd || readableDeviceName(device).empty())
        return {};
    const uint8_t* imageName = image + FirmwareInfoBlock::imageOffset;
    if (std::memcmp(imageName, device.deviceName, 4) == 0)
        return {};
    return "Firmware image refused: it is built for device " + quoteName(imageName) + ", the amplifier is " +
           quoteName(device.deviceName);
}
