#include "device/FirmwareInfoBlock.h"

#include "common/LittleEndianWord.h"

#include <algorithm>
#include <cstring>

void decodeFirmwareInfoBlock(const uint8_t* bytes, std::size_t length, FirmwareInfoBlock* info)
{
    if (info == nullptr)
        return;
    uint8_t raw[FirmwareInfoBlock::size] = {};
    if (bytes != nullptr)
        std::memcpy(raw, bytes, std::min(length, FirmwareInfoBlock::size));

    std::memcpy(info->deviceName, raw + 0, 4);
    std::memcpy(info->bootloaderVersion, raw + 4, 4);
    std::memcpy(info->firmwareVersion, raw + 8, 4);
    info->firmwareLength = readLe32(raw + 12);
    info->checksum = readLe32(raw + 16);
    for (std::size_t k = 0; k < FirmwareInfoBlock::sectorCount; ++k)
    {
        info->sectors[k].length = readLe32(raw + 20 + 8 * k);
        info->sectors[k].checksum = readLe32(raw + 24 + 8 * k);
    }
}

void encodeFirmwareInfoBlock(const FirmwareInfoBlock& info, uint8_t* out)
{
    std::memcpy(out + 0, info.deviceName, 4);
    std::memcpy(out + 4, info.bootloaderVersion, 4);
    std::memcpy(out + 8, info.firmwareVersion, 4);
    writeLe32(out + 12, info.firmwareLength);
    writeLe32(out + 16, info.checksum);
    for (std::size_t k = 0; k < FirmwareInfoBlock::sectorCount; ++k)
    {
        writeLe32(out + 20 + 8 * k, info.sectors[k].length);
        writeLe32(out + 24 + 8 * k, info.sectors[k].checksum);
    }
}
