// The checks that guard a flash, on arbitrary images and device blocks: the
// image check, the device-name check and the sector check. Byte 0 says how
// many of the following bytes make the device's block (as many as its
// "RetFwInfo" carried); the rest is the image.
#include "device/FirmwareImageCheck.h"
#include "device/FirmwareUpdateSession.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The image's rule, counted here apart from the check: its whole words are
// its block's length, and those outside the block sum to its checksum.
bool describesItself(const std::vector<uint8_t>& image)
{
    constexpr size_t infoBegin = FirmwareInfoBlock::imageOffset;
    constexpr size_t infoEnd = infoBegin + FirmwareInfoBlock::size;
    if (image.size() < infoEnd || image.size() / 4 != le32(image.data() + infoBegin + 12))
        return false;
    uint32_t sum = 0;
    for (size_t word = 0; word < image.size() / 4; ++word)
        if (word * 4 < infoBegin || word * 4 >= infoEnd)
            sum += le32(image.data() + word * 4);
    return sum == le32(image.data() + infoBegin + 16);
}

bool oneLine(const std::string& text)
{
    return !text.empty() && text.find('\n') == std::string::npos;
}

} // namespace

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
    if (refused.empty() != describesItself(image))
        std::abort();
    FirmwareUpdateSession session;
    if (refused.empty())
    {
        FirmwareInfoBlock own;
        decodeFirmwareInfoBlock(image.data() + FirmwareInfoBlock::imageOffset, FirmwareInfoBlock::size, &own);
        if (!checkFirmwareLength(own, imageSize).empty())
            std::abort();
        // The sector check's whole-image verdict agrees.
        session.checkSectors(image.data(), imageSize, &own);
        if (session.sectorTable[0].mismatch != 0)
            std::abort();
        // An image always fits the block it carries itself.
        if (!checkImageForDevice(image.data(), imageSize, own, int(FirmwareInfoBlock::size)).empty())
            std::abort();
        // Any other amplifier: only its own name or a blank one, and only
        // when the reply held the name.
        const std::string wrongDevice = checkImageForDevice(image.data(), imageSize, device, int(blockBytes));
        const bool fits = blockBytes >= sizeof device.deviceName &&
                          (std::memcmp(own.deviceName, device.deviceName, sizeof device.deviceName) == 0 ||
                           isBlankDeviceName(device));
        if (wrongDevice.empty() != fits || (!fits && !oneLine(wrongDevice)))
            std::abort();
    }
    else if (!oneLine(refused))
    {
        std::abort();
    }

    session.checkSectors(image.data(), imageSize, &device);
    for (const SectorCheckEntry& entry : session.sectorTable)
        if (entry.mismatch > 1)
            std::abort();
    return 0;
}
