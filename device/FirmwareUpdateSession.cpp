#include "device/FirmwareUpdateSession.h"

#include "device/MVDevice.h"
#include "device/SessionError.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <thread>

namespace
{
void sleepMs(uint32_t ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint32_t readLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Releases a loaded file on every way out of the run.
struct FileRelease
{
    explicit FileRelease(std::vector<uint8_t>& buffer_, const uint8_t*& image_, bool active_)
        : buffer(buffer_), image(image_), active(active_)
    {
    }
    ~FileRelease() { release(); }
    void release()
    {
        if (!active)
            return;
        active = false;
        image = nullptr;
        std::vector<uint8_t>().swap(buffer);
    }
    std::vector<uint8_t>& buffer;
    const uint8_t*& image;
    bool active;
};
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

bool FirmwareUpdateSession::loadFile()
{
    std::vector<uint8_t>().swap(fileBuffer);
    std::FILE* file = std::fopen(firmwarePath.c_str(), "rb");
    if (file == nullptr)
        return false;

    bool ok = false;
    if (std::fseek(file, 0, SEEK_END) == 0)
    {
        const long end = std::ftell(file);
        // An empty file is no firmware; offsets must stay below 2^28.
        if (end > 0 && end < bootloader::maxImageSize && std::fseek(file, 0, SEEK_SET) == 0)
        {
            try
            {
                fileBuffer.resize(static_cast<std::size_t>(end));
                ok = std::fread(fileBuffer.data(), 1, fileBuffer.size(), file) == fileBuffer.size();
            }
            catch (const std::bad_alloc&)
            {
                ok = false;
            }
        }
    }
    std::fclose(file);
    if (!ok)
        std::vector<uint8_t>().swap(fileBuffer);
    return ok;
}

bool FirmwareUpdateSession::run(MVDevice* device)
{
    if (device == nullptr)
    {
        error = SessionError::NoDevice;
        return false;
    }
    const int id = device->getOwnSessionId();
    if (id == -1)
    {
        error = SessionError::NoSession;
        return false;
    }

    // The image is settled before the first message, so a bad file or image
    // leaves the amplifier untouched.
    if (loadFromFile)
    {
        if (!loadFile())
        {
            error = SessionError::FileOpenFailed;
            return false;
        }
        image = fileBuffer.data();
        imageSize = static_cast<int>(fileBuffer.size());
    }
    FileRelease fileRelease(fileBuffer, image, loadFromFile);
    if (image == nullptr || imageSize <= 0 || imageSize >= bootloader::maxImageSize)
    {
        error = SessionError::WriteFlashFailed;
        return false;
    }

    std::cout << "Get FW SID: " << id << std::endl;

    uint8_t status = 0;
    if (!readFwStatus(device, id, txBuffer, rxBuffer, &status, replyTimeoutMs))
    {
        error = SessionError::GetFwStatusFailed;
        return false;
    }
    std::printf("Get FW Status: %d\n", status);
    std::fflush(stdout);

    if (status == 1)
    {
        if (!writeFwStatus(device, 0))
        {
            error = SessionError::SetFwStatusFailed;
            return false;
        }
        std::cout << "Set FW Status as 0" << std::endl;
        if (beforeFlashCallback != nullptr && !beforeFlashCallback(device, this, beforeFlashUser))
        {
            error = SessionError::CallbackRefused;
            return false;
        }
    }

    std::cout << "Will sleep for " << phaseDelayMs << " ms" << std::endl;
    sleepMs(phaseDelayMs);

    FirmwareInfoBlock info;
    if (!readFwInfo(device, id, txBuffer, rxBuffer, &info, replyTimeoutMs))
    {
        error = SessionError::GetFwInfoFailed;
        return false;
    }
    std::printf("Got FW Info:\n");
    std::printf("Device Name: %c%c%c%c\n", info.deviceName[0], info.deviceName[1], info.deviceName[2],
                info.deviceName[3]);
    std::printf("Bootloader Version: %d.%d.%d.%d\n", info.bootloaderVersion[0], info.bootloaderVersion[1],
                info.bootloaderVersion[2], info.bootloaderVersion[3]);
    std::printf("FW Version: %d.%d.%d.%d\n", info.firmwareVersion[0], info.firmwareVersion[1],
                info.firmwareVersion[2], info.firmwareVersion[3]);
    std::printf("FW Length: %d\n", static_cast<int>(info.firmwareLength));
    std::printf("Checksum: %d\n", static_cast<int>(info.checksum));
    for (std::size_t k = 0; k < 7; ++k)
        std::printf("Sector len: %d & checksum: %d\n", static_cast<int>(info.sectors[k].length),
                    static_cast<int>(info.sectors[k].checksum));
    std::fflush(stdout);

    checkSectors(image, imageSize, &info);
    sleepMs(phaseDelayMs);

    if (!flashImage(device, id, image, imageSize))
    {
        error = SessionError::WriteFlashFailed;
        return false;
    }
    if (!writeFwStatus(device, 1))
    {
        error = SessionError::SetFwStatusFailed;
        return false;
    }
    sleepMs(phaseDelayMs);
    fileRelease.release();

    if (afterFlashCallback != nullptr)
        afterFlashCallback(device, this, afterFlashUser);
    return true;
}

bool FirmwareUpdateSession::writeFwStatus(MVDevice* device, uint8_t value)
{
    if (device == nullptr)
        return false;
    const int n = bootloader::buildSetFwStatus(txBuffer, value);
    return device->send(txBuffer, n) != -1;
}

bool FirmwareUpdateSession::flashImage(MVDevice* device, int sessionId, const uint8_t* data, int64_t size)
{
    if (size <= 0)
        return true;
    if (device == nullptr || data == nullptr || size >= bootloader::maxImageSize)
        return false;

    for (int64_t offset = 0; offset < size;)
    {
        std::memset(txBuffer, 0, sizeof txBuffer);
        const int length = bootloader::buildWriteFlash(txBuffer, data, size, offset);
        offset += size - offset < bootloader::blockDataSize ? size - offset : bootloader::blockDataSize;

        bool written = false;
        for (int attempt = 0; attempt < 2 && !written; ++attempt)
        {
            sleepMs(packetDelayMs);
            if (device->send(txBuffer, length) == -1)
                return false;
            std::memset(rxBuffer, 0, sizeof rxBuffer);
            const int received = bootloader::waitForReply(device, sessionId, rxBuffer, bootloader::bufferSize,
                                                          bootloader::retWriteFlashKeyword, replyTimeoutMs);
            if (received <= 0)
                return false;
            written = bootloader::retWriteFlashResult(rxBuffer, received) == 1;
        }
        if (!written)
            return false;

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
