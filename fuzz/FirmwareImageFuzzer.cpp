// The checks that guard a flash, on arbitrary images and device blocks: the
// image check, the device-name check and the sector check. Byte 0 says how
// many of the following bytes make the device's block; the rest is the image.
#include "device/FirmwareImageCheck.h"
#include "device/FirmwareUpdateSession.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    const size_t blockBytes = data[0] % (FirmwareInfoBlock::size + 1);
    if (size - 1 < blockBytes)
        return 0;
    FirmwareInfoBlock device;
    decodeFirmwareInfoBlock(data + 1, blockBytes, &device);
    const std::vector<uint8_t> image(data + 1 + blockBytes, data + size);
    const int64_t imageSize = int64_t(image.size());

    const std::string refused = checkFirmwareImage(image.data(), imageSize);
    if (refused.empty())
    {
        FirmwareInfoBlock own;
        decodeFirmwareInfoBlock(image.data() + FirmwareInfoBlock::imageOffset, FirmwareInfoBlock::size, &own);
        if (own.firmwareLength == 0 || 4 * int64_t(own.firmwareLength) > imageSize)
            std::abort();
        // An image always fits the block it carries itself.
        if (!checkImageForDevice(image.data(), imageSize, own).empty() && !readableDeviceName(own).empty())
            std::abort();
        checkImageForDevice(image.data(), imageSize, device);
    }
    else if (refused.find('\n') != std::string::npos)
    {
        std::abort(); // one line
    }

    FirmwareUpdateSession session;
    session.checkSectors(image.data(), imageSize, &device);
    for (const SectorCheckEntry& entry : session.sectorTable)
        if (entry.mismatch > 1)
            std::abort();
    return 0;
}
