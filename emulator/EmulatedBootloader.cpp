#include "emulator/EmulatedBootloader.h"

#include "emulator/AmpFrames.h"
#include "emulator/Amplifier.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace emu
{

namespace
{

using Bytes = std::vector<uint8_t>;

constexpr size_t infoSize = 84;
constexpr size_t infoOffset = 0x400;
constexpr int blockBytes = 256;

bool hasKeyword(const Bytes& m, const char* keyword)
{
    const size_t n = std::strlen(keyword);
    return m.size() > n + 1 && std::memcmp(m.data() + 1, keyword, n) == 0;
}

bool isExactly(const Bytes& m, const char* keyword, size_t dataBytes)
{
    return hasKeyword(m, keyword) && m.size() == std::strlen(keyword) + 2 + dataBytes && m.front() == 0xF0 &&
           m.back() == 0xF7;
}

Bytes keywordMessage(const char* keyword, const Bytes& data)
{
    const size_t n = std::strlen(keyword);
    Bytes m(n + data.size() + 2);
    m[0] = 0xF0;
    std::memcpy(m.data() + 1, keyword, n);
    std::copy(data.begin(), data.end(), m.begin() + long(n + 1));
    m.back() = 0xF7;
    return m;
}

// Waits until the deadline: sleeps most of it and spins the last 300 us, so
// modelled delays of a millisecond or two stay close to exact.
void waitUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto slack = std::chrono::microseconds(300);
    if (deadline - std::chrono::steady_clock::now() > slack)
        std::this_thread::sleep_until(deadline - slack);
    while (std::chrono::steady_clock::now() < deadline)
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
}

} // namespace

EmulatedBootloader::EmulatedBootloader() : info(infoSize, 0)
{
    const uint8_t head[12] = {'K', '7', 'A', 'P', 1, 0, 0, 4, 1, 0, 0, 0};
    std::copy(head, head + 12, info.begin());
}

void EmulatedBootloader::setStatus(uint8_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    status = value;
}

uint8_t EmulatedBootloader::getStatus() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return status;
}

void EmulatedBootloader::setInfoBlock(const std::vector<uint8_t>& block)
{
    std::lock_guard<std::mutex> lock(mutex);
    info.assign(infoSize, 0);
    std::copy_n(block.begin(), std::min(block.size(), infoSize), info.begin());
}

std::vector<uint8_t> EmulatedBootloader::getInfoBlock() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return info;
}

void EmulatedBootloader::setRestartMs(int ms)
{
    std::lock_guard<std::mutex> lock(mutex);
    restartMs = ms;
}

void EmulatedBootloader::setFaults(const BootloaderFaults& newFaults)
{
    std::lock_guard<std::mutex> lock(mutex);
    faults = newFaults;
    refusalsGiven = 0;
    corruptionsGiven = 0;
}

void EmulatedBootloader::setRestartHook(std::function<void(int)> hook)
{
    std::lock_guard<std::mutex> lock(mutex);
    restartHook = std::move(hook);
}

void EmulatedBootloader::setReplyOffset(ReplyOffset mode, std::array<uint8_t, 4> fixedBytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    replyOffset = mode;
    fixedOffsetBytes = fixedBytes;
}

std::vector<uint8_t> EmulatedBootloader::writeFlashReply(const uint8_t offsetBytes[4], uint8_t result) const
{
    std::array<uint8_t, 4> carried = fixedOffsetBytes;
    if (replyOffset == ReplyOffset::Echo)
        std::copy_n(offsetBytes, 4, carried.begin());
    return keywordMessage("RetWriteFlash", {carried[0], carried[1], carried[2], carried[3], result});
}

void EmulatedBootloader::setLinkModel(const LinkModel& model)
{
    std::lock_guard<std::mutex> lock(mutex);
    link = model;
}

std::vector<uint8_t> EmulatedBootloader::getFlash() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return flash;
}

void EmulatedBootloader::clearFlash()
{
    std::lock_guard<std::mutex> lock(mutex);
    flash.clear();
}

std::vector<int> EmulatedBootloader::getStatusWrites() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return statusWrites;
}

void EmulatedBootloader::clearStatusWrites()
{
    std::lock_guard<std::mutex> lock(mutex);
    statusWrites.clear();
}

int EmulatedBootloader::getBlockRequests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return blockRequests;
}

int EmulatedBootloader::getRefusedBlocks() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return refusedBlocks;
}

int64_t EmulatedBootloader::getModelledMicros() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return modelledMicros;
}

int64_t EmulatedBootloader::getOvershootMicros() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return overshootMicros;
}

void EmulatedBootloader::modelDelay(size_t requestBytes, size_t replyBytes, bool flashes)
{
    LinkModel model;
    {
        std::lock_guard<std::mutex> lock(mutex);
        model = link;
    }
    double micros = 0;
    if (model.bytesPerSecond > 0)
        micros += double(requestBytes + replyBytes) * 1e6 / model.bytesPerSecond;
    if (flashes)
        micros += model.flashMicrosPerBlock;
    if (micros <= 0)
        return;
    const auto delay = std::chrono::microseconds(int64_t(micros + 0.5));
    const auto start = std::chrono::steady_clock::now();
    waitUntil(start + delay);
    const auto waited =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    std::lock_guard<std::mutex> lock(mutex);
    modelledMicros += delay.count();
    overshootMicros += (waited - delay).count();
}

bool EmulatedBootloader::handle(const std::vector<uint8_t>& message, Amplifier& amp)
{
    if (isExactly(message, "GetFwStatus", 0))
    {
        const Bytes reply = keywordMessage("RetFwStatus", {getStatus()});
        modelDelay(message.size(), reply.size(), false);
        amp.reply(reply);
        return true;
    }
    if (isExactly(message, "GetFwInfo", 0))
    {
        Bytes block;
        int delayMs = 0;
        {
            std::lock_guard<std::mutex> lock(mutex);
            block = info;
            if (faults.shortInfoBytes >= 0 && size_t(faults.shortInfoBytes) < block.size())
                block.resize(size_t(faults.shortInfoBytes));
            delayMs = faults.infoDelayMs;
        }
        const Bytes reply = keywordMessage("RetFwInfo", packSevenBit(block));
        modelDelay(message.size(), reply.size(), false);
        if (delayMs > 0)
            amp.schedule(delayMs, [&amp, reply] { amp.reply(reply); });
        else
            amp.reply(reply);
        return true;
    }
    if (isExactly(message, "SetFwStatus", 1))
    {
        const uint8_t value = message[12];
        modelDelay(message.size(), 0, false);
        // Gone before the write shows, so whoever sees it sees the restart too.
        amp.unplug();
        int restart = 0;
        bool staysAway = false;
        std::function<void(int)> hook;
        {
            std::lock_guard<std::mutex> lock(mutex);
            statusWrites.push_back(value);
            status = value;
            // Started again with new firmware, the bootloader reports its block.
            if (value == 1 && flash.size() >= infoOffset + infoSize)
                info.assign(flash.begin() + long(infoOffset), flash.begin() + long(infoOffset + infoSize));
            restart = restartMs;
            staysAway = faults.stayAwayAfterStatus == value;
            hook = restartHook;
        }
        if (hook)
            hook(value);
        if (!staysAway)
            amp.schedule(restart, [&amp] { amp.plug(); });
        return true;
    }
    if (hasKeyword(message, "WriteFlash"))
    {
        handleWriteFlash(message, amp);
        return true;
    }
    return false;
}

void EmulatedBootloader::handleWriteFlash(const std::vector<uint8_t>& message, Amplifier& amp)
{
    // F0 "WriteFlash" offset[4] <257 bytes packed into 294> F7
    constexpr size_t keywordEnd = 11;
    constexpr size_t packedBytes = 294;
    constexpr size_t length = keywordEnd + 4 + packedBytes + 1;

    Bytes offsetBytes(4, 0);
    bool good = message.size() == length && message.front() == 0xF0 && message.back() == 0xF7;
    uint32_t offset = 0;
    Bytes block;
    if (good)
    {
        for (size_t i = 0; i < 4; ++i)
        {
            offsetBytes[i] = message[keywordEnd + i];
            good = good && offsetBytes[i] < 0x80;
            offset |= uint32_t(offsetBytes[i] & 0x7F) << (7 * i);
        }
        for (size_t i = keywordEnd + 4; i + 1 < message.size(); ++i)
            good = good && message[i] < 0x80;
        block = unpackSevenBit(message.data() + keywordEnd + 4, packedBytes);
        good = good && block.size() == blockBytes + 1 && offset % blockBytes == 0 &&
               offset + blockBytes <= flashCapacity;
        if (good)
        {
            unsigned sum = 0;
            for (int i = 0; i < blockBytes; ++i)
                sum += block[size_t(i)];
            good = uint8_t(sum) == block[blockBytes];
        }
    }

    const int index = int(offset / blockBytes);
    {
        // A line fault: the block as received no longer matches its sum.
        std::lock_guard<std::mutex> lock(mutex);
        if (good && index == faults.corruptBlock && corruptionsGiven < faults.corruptCount)
        {
            ++corruptionsGiven;
            good = false;
        }
    }
    BootloaderFaults f;
    uint8_t currentStatus = 0;
    int result = good ? 1 : 0;
    Bytes reply;
    Bytes stale;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++blockRequests;
        f = faults;
        currentStatus = status;
        if (good && index == faults.refuseBlock && refusalsGiven < faults.refuseCount)
        {
            ++refusalsGiven;
            result = 0;
        }
        if (good && index == faults.unplugAtBlock)
            result = -1;
        if (result == 1 && index == faults.silentBlock)
        {
            result = -1;
            if (faults.staleReplyBlock >= 0)
            {
                const uint32_t staleOffset = uint32_t(faults.staleReplyBlock) * blockBytes;
                const uint8_t staleBytes[4] = {
                    uint8_t(staleOffset & 0x7F), uint8_t((staleOffset >> 7) & 0x7F),
                    uint8_t((staleOffset >> 14) & 0x7F), uint8_t((staleOffset >> 21) & 0x7F)};
                stale = writeFlashReply(staleBytes, 1);
            }
        }
        if (result == 1)
        {
            if (flash.size() < offset + blockBytes)
                flash.resize(offset + blockBytes, 0);
            std::copy_n(block.begin(), blockBytes, flash.begin() + long(offset));
        }
        if (result == 0)
            ++refusedBlocks;
        if (result >= 0)
            reply = writeFlashReply(offsetBytes.data(), uint8_t(result));
    }

    if (good && index == f.unplugAtBlock)
    {
        if (f.unplugMs > 0)
            amp.unplugFor(f.unplugMs);
        else
            amp.unplug();
        return;
    }
    if (!stale.empty())
        amp.schedule(f.staleMs, [&amp, stale] { amp.reply(stale); });
    if (result < 0)
        return;

    modelDelay(message.size(), reply.size(), result == 1);
    if (f.strayMessages)
    {
        amp.reply(keywordMessage("RetFwStatus", {currentStatus}));
        amp.reply({0xB0, 0x07, 0x64});
        amp.reply({0xC0, 0x05});
        amp.reply(makeFrame(0, 3, 18, {1, 2, 3, 4}));
    }
    if (index == f.overlongBlock)
        amp.reply(keywordMessage("RetWriteFlash", Bytes(600, uint8_t(result))));
    if (index == f.floodBlock)
        for (int i = 0; i < f.floodCount; ++i)
            amp.sendToHost(makeFrame(0, 3, 36, {uint8_t(i), uint8_t(i >> 8)}));
    if (index == f.vanishAfterBlock)
        amp.replyThenUnplug(reply);
    else if (index == f.lateBlock)
        amp.schedule(f.lateMs, [&amp, reply] { amp.reply(reply); });
    else
        amp.reply(reply);
}

} // namespace emu
