#include "device/FirmwareUpdateSession.h"

#include "common/LittleEndianWord.h"
#include "device/DeviceText.h"
#include "device/FirmwareFileReader.h"
#include "device/FirmwareImageCheck.h"
#include "device/MVDevice.h"
#include "device/SessionError.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

namespace
{
void sleepMs(uint32_t ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string versionText(const uint8_t* v)
{
    std::ostringstream text;
    text << unsigned(v[0]) << '.' << unsigned(v[1]) << '.' << unsigned(v[2]) << '.' << unsigned(v[3]);
    return text.str();
}

// Why a device callback could not reopen the device, as one line; phase says
// which restart ("the restart", "the update").
std::string notBackLine(const MVDevice* device, const char* phase)
{
    if (device->getLastOpenFailure() == MVDevice::OpenFailure::Ambiguous)
        return std::string("Two amplifiers of the same name are connected after ") + phase +
               ": neither was opened";
    return std::string("The amplifier did not come back after ") + phase;
}

// Whether the amplifier echoes each "WriteFlash" offset in its
// "RetWriteFlash", learnt from every reply that arrives while the blocks are
// written, taken, skipped or dropped as stale alike. It does once they named
// two different blocks already sent: an amplifier that does not echo carries
// the same bytes every time. One reply proves nothing (offset 0 cannot be
// told from zeros), and a late or repeated reply may be taken for a block
// before this is known; nothing proves the contrary, so an amplifier that
// does not echo is never told from one whose every reply is a copy of one.
class EchoLearning
{
public:
    bool echoes() const { return blocksNamed >= 2; }

    // A "RetWriteFlash" that arrived once the block at sentUpTo was sent.
    void observe(const uint8_t* reply, int length, int64_t sentUpTo)
    {
        int64_t named = 0;
        if (!bootloader::hasKeyword(reply, length, bootloader::retWriteFlashKeyword) ||
            !namedOffset(reply, length, named))
            return;
        const bool sentBlock = named % bootloader::blockDataSize == 0 && named <= sentUpTo;
        if (sentBlock && blocksNamed < 2 && (blocksNamed == 0 || named != firstNamed))
        {
            firstNamed = named;
            ++blocksNamed;
        }
    }

private:
    // The offset in the reply's four bytes after its keyword: 7-bit groups,
    // least significant first, as the request carries them. False for a reply
    // too short to hold them, or bytes that no request carries.
    static bool namedOffset(const uint8_t* reply, int length, int64_t& offset)
    {
        if (length <= bootloader::retWriteFlashResultOffset)
            return false;
        offset = 0;
        for (int i = 0; i < bootloader::writeFlashOffsetBytes; ++i)
        {
            const uint8_t byte = reply[bootloader::retWriteFlashEchoOffset + i];
            if (byte >= 0x80)
                return false;
            offset |= int64_t(byte) << (7 * i);
        }
        return true;
    }

    int blocksNamed = 0;
    int64_t firstNamed = 0;
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
    uint8_t imageVersion[4];
    std::memcpy(imageVersion, image + FirmwareInfoBlock::imageVersionOffset, sizeof imageVersion);
    file.release();

    // Only an amplifier that comes back running the image's firmware shows
    // that the update took.
    if (afterFlashCallback != nullptr && !afterFlashCallback(device, this, afterFlashUser))
    {
        if (stopRequested())
            return stopAt(StopPoint::ComingBack, SessionError::CallbackRefused);
        std::cout << notBackLine(device, "the update") << std::endl;
        return fail(SessionError::CallbackRefused);
    }
    return confirmNewFirmware(device, id, imageVersion);
}

bool FirmwareUpdateSession::confirmInBootloader(MVDevice* device, int id)
{
    uint8_t status = 0;
    if (!readFwStatus(device, id, txBuffer, rxBuffer, &status, timeoutMs))
    {
        if (stopRequested())
            return stopAt(StopPoint::Restarting, SessionError::CallbackRefused);
        std::cout << "The amplifier did not answer after the restart" << std::endl;
        return fail(SessionError::CallbackRefused);
    }
    if (status == 0)
        return true;
    std::cout << "The amplifier that answered after the restart is not in its bootloader (status "
              << unsigned(status) << "): no block was sent" << std::endl;
    return fail(SessionError::CallbackRefused);
}

bool FirmwareUpdateSession::confirmNewFirmware(MVDevice* device, int id, const uint8_t* imageVersion)
{
    uint8_t status = 0;
    FirmwareInfoBlock info;
    const bool statusRead = readFwStatus(device, id, txBuffer, rxBuffer, &status, timeoutMs);
    if (statusRead && status != 1)
    {
        inBootloader = status == 0;
        std::cout << "The amplifier came back from the update "
                  << (status == 0
                          ? std::string("still in its bootloader")
                          : "in status " + std::to_string(status) + " instead of running its firmware")
                  << std::endl;
        return fail(SessionError::CallbackRefused);
    }
    if (!statusRead || !queryFwInfo(device, id, txBuffer, rxBuffer, &info, timeoutMs))
    {
        std::cout << "The amplifier did not answer after the update" << std::endl;
        return fail(SessionError::CallbackRefused);
    }
    if (std::memcmp(info.firmwareVersion, imageVersion, sizeof info.firmwareVersion) != 0)
    {
        std::cout << "The amplifier came back from the update running firmware "
                  << versionText(info.firmwareVersion) << " instead of the image's "
                  << versionText(imageVersion) << std::endl;
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
    {
        if (stopRequested())
            return stopAt(StopPoint::Restarting, SessionError::CallbackRefused);
        std::cout << notBackLine(device, "the restart") << std::endl;
        return fail(SessionError::CallbackRefused);
    }
    // Any amplifier of the name may have answered the reopen: only one in its
    // bootloader is the one switched.
    return confirmInBootloader(device, id);
}

bool FirmwareUpdateSession::readDeviceInfo(MVDevice* device, int id, FirmwareInfoBlock& info, int& infoBytes)
{
    if (!readFwInfo(device, id, txBuffer, rxBuffer, &info, timeoutMs, &infoBytes))
        return fail(SessionError::GetFwInfoFailed);
    std::printf("Got FW Info:\n");
    const std::string name(reinterpret_cast<const char*>(info.deviceName), sizeof info.deviceName);
    std::printf("Device Name: %s\n", sanitiseDeviceText(name).c_str());
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

int FirmwareUpdateSession::writeBlock(MVDevice* device, int sessionId, const uint8_t* data, int64_t size,
                                      int64_t offset, const bootloader::ReplyObserver& observe)
{
    std::memset(txBuffer, 0, sizeof txBuffer);
    const int length = bootloader::buildWriteFlash(txBuffer, data, size, offset);
    // Every reply is shown to observe. Once the amplifier is known to echo
    // offsets, a reply naming another block's is a late or repeated answer to
    // that block: skipped, and the wait goes on to its deadline.
    const bootloader::ReplyFilter filter = [this, &observe](const uint8_t* reply, int replyLength)
    {
        observe(reply, replyLength);
        if (!offsetsEchoed || replyLength <= bootloader::retWriteFlashResultOffset ||
            bootloader::retWriteFlashEchoes(reply, replyLength, txBuffer))
            return false;
        ++staleRepliesSkipped;
        return true;
    };
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        sleepMs(packetDelayMs);
        if (bootloader::sendRequest(device, sessionId, txBuffer, length, observe) == -1)
            return -1;
        std::memset(rxBuffer, 0, sizeof rxBuffer);
        const int received = bootloader::waitForReply(device, sessionId, rxBuffer, bootloader::bufferSize,
                                                      bootloader::retWriteFlashKeyword, timeoutMs, filter);
        if (received <= 0)
            return -1;
        if (bootloader::retWriteFlashResult(rxBuffer, received) == 1)
            return received;
    }
    return -1;
}

bool FirmwareUpdateSession::flashImage(MVDevice* device, int sessionId, const uint8_t* data, int64_t size)
{
    if (size <= 0)
        return true;
    if (device == nullptr || data == nullptr || size >= bootloader::maxImageSize)
        return false;

    offsetsEchoed = false;
    staleRepliesSkipped = 0;
    EchoLearning learning;
    int64_t sentUpTo = 0;
    const bootloader::ReplyObserver observe = [&learning, &sentUpTo](const uint8_t* reply, int length)
    { learning.observe(reply, length, sentUpTo); };
    // Blocks written before that was known whose reply did not name them.
    std::vector<int64_t> unconfirmed;
    // Once it is known, each of them must be answered by a reply naming it.
    const auto writeUnconfirmedAgain = [&]
    {
        offsetsEchoed = true;
        for (const int64_t again : unconfirmed)
            if (writeBlock(device, sessionId, data, size, again, observe) <= 0)
                return false;
        unconfirmed.clear();
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
        sentUpTo = offset;
        const int received = writeBlock(device, sessionId, data, size, offset, observe);
        if (received <= 0)
            return false;
        if (!offsetsEchoed)
        {
            if (!bootloader::retWriteFlashEchoes(rxBuffer, received, txBuffer))
                unconfirmed.push_back(offset);
            if (learning.echoes() && !writeUnconfirmedAgain())
                return false;
        }

        offset += size - offset < bootloader::blockDataSize ? size - offset : bootloader::blockDataSize;
        const int64_t percent = offset * 100 / size;
        if (progressCallback != nullptr)
            progressCallback(device, this, percent > 100 ? 100 : static_cast<int>(percent), progressUser);
    }
    // Replies that came after the last block was taken may still show it.
    if (!offsetsEchoed && !unconfirmed.empty())
    {
        device->discardQueued(static_cast<unsigned>(sessionId),
                              [&observe](const std::vector<uint8_t>& message)
                              {
                                  const int length = static_cast<int>(message.size());
                                  if (!bootloader::isBootloaderReply(message.data(), length))
                                      return false;
                                  observe(message.data(), length);
                                  return true;
                              });
        if (learning.echoes() && !writeUnconfirmedAgain())
            return false;
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
