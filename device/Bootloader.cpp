#include "device/Bootloader.h"

#include "device/MVDevice.h"
#include "device/SevenBitPacking.h"

#include <chrono>
#include <cstring>
#include <iostream>

namespace bootloader
{

namespace
{
constexpr uint8_t sysexStart = 0xF0;
constexpr uint8_t sysexEnd = 0xF7;

// Writes F0 and the keyword; returns the offset after it.
int writeHead(uint8_t* out, const char* keyword)
{
    const int n = static_cast<int>(std::strlen(keyword));
    out[0] = sysexStart;
    std::memcpy(out + 1, keyword, static_cast<std::size_t>(n));
    return n + 1;
}

int keywordLength(const char* keyword)
{
    return static_cast<int>(std::strlen(keyword));
}
} // namespace

int buildGetFwStatus(uint8_t* out)
{
    int n = writeHead(out, getFwStatusKeyword);
    out[n++] = sysexEnd;
    return n;
}

int buildGetFwInfo(uint8_t* out)
{
    int n = writeHead(out, getFwInfoKeyword);
    out[n++] = sysexEnd;
    return n;
}

int buildSetFwStatus(uint8_t* out, uint8_t value)
{
    int n = writeHead(out, setFwStatusKeyword);
    out[n++] = value;
    out[n++] = sysexEnd;
    return n;
}

uint8_t blockSum(const uint8_t* data, int n)
{
    unsigned sum = 0;
    for (int i = 0; i < n; ++i)
        sum += data[i];
    return static_cast<uint8_t>(sum);
}

int buildWriteFlash(uint8_t* out, const uint8_t* image, int64_t size, int64_t offset)
{
    if (image == nullptr || offset < 0 || offset >= size || offset >= maxImageSize)
        return 0;

    int n = writeHead(out, writeFlashKeyword);
    const auto off = static_cast<uint32_t>(offset);
    for (int i = 0; i < writeFlashOffsetBytes; ++i)
        out[n++] = static_cast<uint8_t>((off >> (7 * i)) & 0x7F);

    uint8_t block[blockSize] = {};
    const int64_t left = size - offset;
    const int count = left < blockDataSize ? static_cast<int>(left) : blockDataSize;
    std::memcpy(block, image + offset, static_cast<std::size_t>(count));
    block[blockDataSize] = blockSum(block, count);

    n += encodeSevenBit(out + n, block, blockSize);
    out[n++] = sysexEnd;
    return n;
}

bool hasKeyword(const uint8_t* message, int length, const char* keyword)
{
    const int k = keywordLength(keyword);
    return message != nullptr && length - 1 > k &&
           std::memcmp(message + 1, keyword, static_cast<std::size_t>(k)) == 0;
}

int waitForReply(MVDevice* device, int sessionId, uint8_t* rx, int capacity, const char* keyword,
                 int timeoutMs, const ReplyFilter& skip)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        int waitMs = timeoutMs; // 0 waits without limit, a negative one not at all
        if (timeoutMs > 0)
        {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return -1;
            waitMs = static_cast<int>(left);
        }
        const int received = device->receive(static_cast<unsigned>(sessionId), rx, waitMs, capacity);
        if (received == MVQueue::messageTooLong)
            continue;
        if (received <= 0)
            return -1;
        if (hasKeyword(rx, received, keyword) && !(skip && skip(rx, received)))
            return received;
    }
}

bool isBootloaderReply(const uint8_t* message, int length)
{
    return hasKeyword(message, length, retFwStatusKeyword) || hasKeyword(message, length, retFwInfoKeyword) ||
           hasKeyword(message, length, retWriteFlashKeyword);
}

int sendRequest(MVDevice* device, int sessionId, const uint8_t* request, int length,
                const ReplyObserver& dropped)
{
    device->discardQueued(static_cast<unsigned>(sessionId),
                          [&dropped](const std::vector<uint8_t>& message)
                          {
                              const int size = static_cast<int>(message.size());
                              if (!isBootloaderReply(message.data(), size))
                                  return false;
                              if (dropped)
                                  dropped(message.data(), size);
                              return true;
                          });
    return device->send(request, length);
}

bool parseRetFwStatus(const uint8_t* message, int length, uint8_t* status)
{
    // The status byte sits ahead of the closing F7.
    if (!hasKeyword(message, length, retFwStatusKeyword) || length < retFwStatusLength)
        return false;
    *status = message[retFwStatusStatusOffset];
    return true;
}

int decodeRetFwInfo(const uint8_t* message, int length, FirmwareInfoBlock* info)
{
    decodeFirmwareInfoBlock(nullptr, 0, info);
    if (!hasKeyword(message, length, retFwInfoKeyword))
        return -1;

    constexpr int dataStart = retFwInfoDataOffset;
    int end = dataStart;
    while (end < length && message[end] != sysexEnd)
        ++end;
    uint8_t work[bufferSize];
    const int packed = end - dataStart > bufferSize ? bufferSize : end - dataStart;
    const unsigned decoded = decodeSevenBit(message + dataStart, work, static_cast<unsigned>(packed));
    decodeFirmwareInfoBlock(work, decoded, info);
    return static_cast<int>(decoded);
}

int retWriteFlashResult(const uint8_t* message, int length)
{
    if (!hasKeyword(message, length, retWriteFlashKeyword) || length <= retWriteFlashResultOffset)
        return 0;
    return message[retWriteFlashResultOffset];
}

bool retWriteFlashEchoes(const uint8_t* message, int length, const uint8_t* request)
{
    return hasKeyword(message, length, retWriteFlashKeyword) && length > retWriteFlashResultOffset &&
           std::memcmp(message + retWriteFlashEchoOffset, request + writeFlashOffsetOffset,
                       writeFlashOffsetBytes) == 0;
}

} // namespace bootloader

using namespace bootloader;

bool readFwStatus(MVDevice* device, int sessionId, uint8_t* tx, uint8_t* rx, uint8_t* status, int timeoutMs)
{
    if (device == nullptr)
        return false;
    const int n = buildGetFwStatus(tx);
    if (sendRequest(device, sessionId, tx, n) == -1)
        return false;
    const int received = waitForReply(device, sessionId, rx, bufferSize, retFwStatusKeyword, timeoutMs);
    return received > 0 && parseRetFwStatus(rx, received, status);
}

namespace
{
// The information read, with or without its lines.
bool readInfo(MVDevice* device, int sessionId, uint8_t* tx, uint8_t* rx, FirmwareInfoBlock* info,
              int timeoutMs, int* decodedBytes, bool printLines)
{
    decodeFirmwareInfoBlock(nullptr, 0, info);
    if (decodedBytes != nullptr)
        *decodedBytes = 0;
    if (device == nullptr)
        return false;
    const int n = buildGetFwInfo(tx);
    if (printLines)
        std::cout << "Sending GetFwInfo command" << std::endl;
    if (sendRequest(device, sessionId, tx, n) == -1)
        return false;
    if (printLines)
        std::cout << "Sent GetFwInfo command" << std::endl;
    const int received = waitForReply(device, sessionId, rx, bufferSize, retFwInfoKeyword, timeoutMs);
    if (received <= 0)
    {
        if (printLines)
            std::cout << "Cannot read RetFwInfo data!" << std::endl;
        return false;
    }
    const int decoded = decodeRetFwInfo(rx, received, info);
    if (decodedBytes != nullptr && decoded >= 0)
        *decodedBytes = decoded;
    return decoded >= 0;
}
} // namespace

bool readFwInfo(MVDevice* device, int sessionId, uint8_t* tx, uint8_t* rx, FirmwareInfoBlock* info,
                int timeoutMs, int* decodedBytes)
{
    return readInfo(device, sessionId, tx, rx, info, timeoutMs, decodedBytes, true);
}

bool queryFwInfo(MVDevice* device, int sessionId, uint8_t* tx, uint8_t* rx, FirmwareInfoBlock* info,
                 int timeoutMs, int* decodedBytes)
{
    return readInfo(device, sessionId, tx, rx, info, timeoutMs, decodedBytes, false);
}
