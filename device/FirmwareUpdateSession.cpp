#include "device/FirmwareUpdateSession.h"

#include "device/FirmwareFileReader.h"
#include "device/FirmwareImageCheck.h"
#include "device/LittleEndianWord.h"
#include "device/MVDevice.h"
#include "device/SessionError.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <thread>

namespace
{
void sleepMs(uint32_t ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
} // namespace

bool FirmwareUpdateSession::doRun(MVDevice*, int)
{
    return true;
}

void FirmwareUpdateSession::setBeforeFlashCallback(DeviceCallback callback, void* user)
{
    beforeFlashCallback = callback;
    beforeFlashUser = user;
}

void FirmwareUpdateSession::setAfterFlashCallback(DeviceCallback callback, void* user)
{
    afterFlashCallback = callback;
    afterFlashUser = user;
}

void FirmwareUpdateSession::setProgressCallback(ProgressCallback callback, void* user)
{
    progressCallback = callback;
    progressUser = user;
}

bool FirmwareUpdateSession::fail(int code)
{
    error = code;
    return false;
}

bool FirmwareUpdateSession::stopAt(StopPoint point, int code)
{
    stoppedAt = point;
    return fail(code);
}

bool FirmwareUpdateSession::run(MVDevice* device)
{
    if (device == nullptr)
        return fail(SessionError::NoDevice);
    const int id = device->getOwnSessionId();
    if (id == -1)
        return fail(SessionError::NoSession);

    // The image is settled before the first message, so a bad file or image
    // leaves the amplifier untouched. A file's bytes are held for this run.
    FirmwareFileReader file(image);
    if (!prepareImage(file))
        return false;
    if (stopRequested())
        return stopAt(StopPoint::BeforeTraffic, SessionError::GetFwStatusFailed);

    std::cout << "Get FW SID: " << id << std::endl;
    bool statusCleared = false;
    if (!switchToBootloader(device, id, statusCleared))
        return false;
    if (stopRequested())
        return statusCleared ? stopAt(StopPoint::Restarting, SessionError::CallbackRefused)
                             : stopAt(StopPoint::Switching, SessionError::SetFwStatusFailed);

    std::cout << "Will sleep for " << phaseDelayMs << " ms" << std::endl;
    sleepMs(phaseDelayMs);

    FirmwareInfoBlock info;
    int infoBytes = 0;
    if (!readDeviceInfo(device, id, info, infoBytes))
        return false;
    const std::string wrongDevice = checkImageForDevice(image, imageSize, info, infoBytes);
    if (!wrongDevice.empty())
    {
        std::cout << wrongDevice << std::endl;
        // Back to the firmware the amplifier ran when the run found it.
        if (statusCleared)
            finish(device);
        return fail(SessionError::FileOpenFailed);
    }

    checkSectors(image, imageSize, &info);
    sleepMs(phaseDelayMs);

    if (!flashImage(device, id, image, imageSize))
        return fail(SessionError::WriteFlashFailed);
    if (!writeFwStatus(device, 1))
        return fail(SessionError::SetFwStatusFailed);
    inBootloader = false;
    sleepMs(phaseDelayMs);
    file.release();

    // Only an amplifier that comes back shows that the new firmware runs.
    if (afterFlashCallback != nullptr && !afterFlashCallback(device, this, afterFlashUser))
    {
        if (stopRequested())
            return stopAt(StopPoint::ComingBack, SessionError::CallbackRefused);
        std::cout << "The amplifier did not come back after the update" << std::endl;
        return fail(SessionError::CallbackRefused);
    }
    return true;
}

bool FirmwareUpdateSession::prepareImage(FirmwareFileReader& file)
{
    if (loadFromFile)
    {
        const std::string refused = file.read(firmwarePath);
        if (!refused.empty())
        {
            std::cout << refused << std::endl;
            return fail(SessionError::FileOpenFailed);
        }
        imageSize = file.size();
    }
    if (image == nullptr || imageSize <= 0 || imageSize >= bootloader::maxImageSize)
        return fail(SessionError::WriteFlashFailed);
    const std::string refused = checkFirmwareImage(image, imageSize);
    if (!refused.empty())
    {
        std::cout << refused << std::endl;
        return fail(SessionError::FileOpenFailed);
    }
    return true;
}

bool FirmwareUpdateSession::switchToBootloader(MVDevice* device, int id, bool& statusCleared)
{
    uint8_t status = 0;
    if (!readFwStatus(device, id, txBuffer, rxBuffer, &status, timeoutMs))
        return fail(SessionError::GetFwStatusFailed);
    std::printf("Get FW Status: %d\n", status);
    std::fflush(stdout);
    inBootloader = status != 1;
    if (status != 1)
        return true;

    if (stopRequested())
        return stopAt(StopPoint::Switching, SessionError::SetFwStatusFailed);
    if (!writeFwStatus(device, 0))
        return fail(SessionError::SetFwStatusFailed);
    statusCleared = true;
    inBootloader = true;
    std::cout << "Set FW Status as 0" << std::endl;
    if (beforeFlashCallback != nullptr && !beforeFlashCallback(device, this, beforeFlashUser))
        return stopRequested() ? stopAt(StopPoint::Restarting, SessionError::CallbackRefused)
                               : fail(SessionError::CallbackRefused);
    return true;
}

bool FirmwareUpdateSession::readDeviceInfo(MVDevice* device, int id, FirmwareInfoBlock& info, int& infoBytes)
{
    if (!readFwInfo(device, id, txBuffer, rxBuffer, &info, timeoutMs, &infoBytes))
        return fail(SessionError::GetFwInfoFailed);
    std::printf("Got FW Info:\n");
    std::printf("Device Name: %c%c%c%c\n", info.deviceName[0], info.deviceName[1], info.deviceName[2],
                info.deviceName[3]);
    std::printf("Bootloader Version: %d.%d.%d.%d\n", info.bootloaderVersion[0], info.bootloaderVersion[1],
                info.bootloaderVersion[2], info.bootloaderVersion[3]);
    std::printf("FW Version: %d.%d.%d.%d\n", info.firmwareVersion[0], info.firmwareVersion[1],
                info.firmwareVersion[2], info.firmwareVersion[3]);
    std::printf("FW Length: %d\n", static_cast<int>(info.firmwareLength));
    std::printf("Checksum: %d\n", static_cast<int>(info.checksum));
    for (std::size_t k = 0; k < printedSectorCount; ++k)
        std::printf("Sector len: %d & checksum: %d\n", static_cast<int>(info.sectors[k].length),
                    static_cast<int>(info.sectors[k].checksum));
    std::fflush(stdout);
    return true;
}

void FirmwareUpdateSession::finish(MVDevice* device)
{
    if (!writeFwStatus(device, 1))
        return;
    inBootloader = false;
    sleepMs(phaseDelayMs);
    if (afterFlashCallback != nullptr)
        afterFlashCallback(device, this, afterFlashUser);
}

bool FirmwareUpdateSession::writeFwStatus(MVDevice* device, uint8_t value)
{
    if (device == nullptr)
        return false;
    const int n = bootloader::buildSetFwStatus(txBuffer, value);
    return bootloader::sendRequest(device, device->getOwnSessionId(), txBuffer, n) != -1;
}

bool FirmwareUpdateSession::flashImage(MVDevice* device, int sessionId, const uint8_t* data, int64_t size)
{
    if (size <= 0)
        return true;
    if (device == nullptr || data == nullptr || size >= bootloader::maxImageSize)
        return false;

    // Whether the amplifier echoes offsets is learnt from the replies to
    // blocks 0 and 1: offset 0 alone cannot tell an echo from zeros. Once
    // learnt, a "RetWriteFlash" naming another block's offset is a late or
    // repeated answer to that block, and the wait goes on without it.
    offsetsEchoed = false;
    staleRepliesSkipped = 0;
    bool echoSeen = true;
    const bootloader::ReplyFilter anyReply;
    const bootloader::ReplyFilter otherBlocksReply = [this](const uint8_t* reply, int length)
    {
        if (length <= bootloader::retWriteFlashResultOffset ||
            bootloader::retWriteFlashEchoes(reply, length, txBuffer))
            return false;
        ++staleRepliesSkipped;
        return true;
    };

    for (int64_t offset = 0; offset < size;)
    {
        // Stops between blocks only: the block before has had its reply.
        if (stopRequested())
        {
            stoppedAt = StopPoint::Writing;
            blocksWritten = static_cast<int>(offset / bootloader::blockDataSize);
            blockCount = static_cast<int>((size + bootloader::blockDataSize - 1) / bootloader::blockDataSize);
            return false;
        }
        const bool learning = offset < 2 * bootloader::blockDataSize;
        std::memset(txBuffer, 0, sizeof txBuffer);
        const int length = bootloader::buildWriteFlash(txBuffer, data, size, offset);
        offset += size - offset < bootloader::blockDataSize ? size - offset : bootloader::blockDataSize;

        bool written = false;
        for (int attempt = 0; attempt < 2 && !written; ++attempt)
        {
            sleepMs(packetDelayMs);
            if (bootloader::sendRequest(device, sessionId, txBuffer, length) == -1)
                return false;
            std::memset(rxBuffer, 0, sizeof rxBuffer);
            const int received = bootloader::waitForReply(device, sessionId, rxBuffer, bootloader::bufferSize,
                                                          bootloader::retWriteFlashKeyword, timeoutMs,
                                                          offsetsEchoed ? otherBlocksReply : anyReply);
            if (received <= 0)
                return false;
            if (learning)
                echoSeen = echoSeen && bootloader::retWriteFlashEchoes(rxBuffer, received, txBuffer);
            written = bootloader::retWriteFlashResult(rxBuffer, received) == 1;
        }
        if (!written)
            return false;
        if (learning && offset == 2 * bootloader::blockDataSize)
            offsetsEchoed = echoSeen;

        const int64_t percent = offset * 100 / size;
        if (progressCallback != nullptr)
            progressCallback(device, this, percent > 100 ? 100 : static_cast<int>(percent), progressUser);
    }
    return true;
}

void FirmwareUpdateSession::checkSectors(const uint8_t* data, int64_t size, const FirmwareInfoBlock* info)
{
    for (auto& entry : sectorTable)
        entry = SectorCheckEntry{0, 0, 0};
    if (info == nullptr)
        return;

    constexpr int sectors = static_cast<int>(FirmwareInfoBlock::sectorCount);
    int64_t first[sectors];
    int64_t last[sectors];
    int64_t begin = 0;
    for (int k = 0; k < sectors; ++k)
    {
        first[k] = begin;
        last[k] = begin + 4 * static_cast<int64_t>(info->sectors[k].length) - 1;
        sectorTable[k].firstByte = static_cast<uint32_t>(first[k]);
        sectorTable[k].lastByte = static_cast<uint32_t>(last[k]);
        begin = last[k] + 1;
    }

    constexpr int64_t infoBegin = FirmwareInfoBlock::imageOffset;
    constexpr int64_t infoEnd = infoBegin + FirmwareInfoBlock::size;
    const int64_t wordBytes = data != nullptr && size > 0 ? size - size % 4 : 0;

    uint32_t total = 0;
    uint32_t sum = 0;
    int k = 0;
    auto closeSector = [&]()
    {
        sectorTable[k].mismatch = sum != info->sectors[k].checksum ? 1 : 0;
        ++k;
        sum = 0;
    };
    for (int64_t off = 0; off < wordBytes; off += 4)
    {
        while (k < sectors && off > last[k])
            closeSector();
        if (off >= infoBegin && off < infoEnd)
            continue;
        const uint32_t word = readLe32(data + off);
        total += word;
        if (k < sectors)
            sum += word;
    }
    // The sector holding the image's last whole word closes there.
    if (wordBytes > 0 && k < sectors && first[k] <= wordBytes - 4)
        closeSector();

    sectorTable[0].mismatch = total != info->checksum ? 1 : 0;
}
