#include "emulator/EmulatedBootloader.h"

#include "emulator/AmpFrames.h"
#include "emulator/Amplifier.h"

#include <algorithm>
#include <array>
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

std::array<uint8_t, 4> offsetBytesOf(uint32_t offset)
{
    return {uint8_t(offset & 0x7F), uint8_t((offset >> 7) & 0x7F), uint8_t((offset >> 14) & 0x7F),
            uint8_t((offset >> 21) & 0x7F)};
}

// F0 "WriteFlash" offset[4] <257 bytes packed into 294> F7: four 7-bit
// offset bytes, least significant first, then the 256 data bytes and their
// 8-bit sum, 7-bit packed.
struct WriteFlashRequest
{
    bool good = false; // well formed, aligned, inside the flash, its sum holding
    std::array<uint8_t, 4> offsetBytes = {0, 0, 0, 0}; // as received
    uint32_t offset = 0;
    int index = 0; // offset / 256
    Bytes block;   // the data bytes and their sum
};

WriteFlashRequest readWriteFlash(const Bytes& message)
{
    constexpr size_t keywordEnd = 11;
    constexpr size_t packedBytes = 294;
    constexpr size_t length = keywordEnd + 4 + packedBytes + 1;

    WriteFlashRequest request;
    bool good = message.size() == length && message.front() == 0xF0 && message.back() == 0xF7;
    if (good)
    {
        for (size_t i = 0; i < 4; ++i)
        {
            request.offsetBytes[i] = message[keywordEnd + i];
            good = good && request.offsetBytes[i] < 0x80;
            request.offset |= uint32_t(request.offsetBytes[i] & 0x7F) << (7 * i);
        }
        for (size_t i = keywordEnd + 4; i + 1 < message.size(); ++i)
            good = good && message[i] < 0x80;
        request.block = unpackSevenBit(message.data() + keywordEnd + 4, packedBytes);
        good = good && request.block.size() == blockBytes + 1 && request.offset % blockBytes == 0 &&
               request.offset + blockBytes <= EmulatedBootloader::flashCapacity;
        if (good)
        {
            unsigned sum = 0;
            for (int i = 0; i < blockBytes; ++i)
                sum += request.block[size_t(i)];
            good = uint8_t(sum) == request.block[blockBytes];
        }
    }
    request.good = good;
    request.index = int(request.offset / blockBytes);
    return request;
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

std::vector<uint8_t> EmulatedBootloader::writeFlashReply(const std::array<uint8_t, 4>& offsetBytes,
                                                         uint8_t result) const
{
    const std::array<uint8_t, 4> carried = replyOffset == ReplyOffset::Echo ? offsetBytes : fixedOffsetBytes;
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
    struct Request
    {
        const char* keyword;
        int dataBytes; // -1: any ("WriteFlash" checks its own length)
        void (EmulatedBootloader::*answer)(const Bytes& message, Amplifier& amp);
    };
    static const Request requests[] = {
        {"GetFwStatus", 0, &EmulatedBootloader::answerStatus},
        {"GetFwInfo", 0, &EmulatedBootloader::answerInfo},
        {"SetFwStatus", 1, &EmulatedBootloader::restart},
        {"WriteFlash", -1, &EmulatedBootloader::handleWriteFlash},
    };
    for (const Request& request : requests)
        if (request.dataBytes < 0 ? hasKeyword(message, request.keyword)
                                  : isExactly(message, request.keyword, size_t(request.dataBytes)))
        {
            (this->*request.answer)(message, amp);
            return true;
        }
    return false;
}

void EmulatedBootloader::answerStatus(const Bytes& message, Amplifier& amp)
{
    const Bytes reply = keywordMessage("RetFwStatus", {getStatus()});
    modelDelay(message.size(), reply.size(), false);
    amp.reply(reply);
}

void EmulatedBootloader::answerInfo(const Bytes& message, Amplifier& amp)
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
}

void EmulatedBootloader::restart(const Bytes& message, Amplifier& amp)
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
        if (faults.statusWriteIgnored != value)
        {
            status = value;
            // Started again with new firmware, the bootloader reports its block.
            if (value == 1 && !faults.infoStaysOld && flash.size() >= infoOffset + infoSize)
                info.assign(flash.begin() + long(infoOffset), flash.begin() + long(infoOffset + infoSize));
        }
        restart = restartMs;
        staysAway = faults.stayAwayAfterStatus == value;
        hook = restartHook;
    }
    if (hook)
        hook(value);
    if (!staysAway)
        amp.schedule(restart, [&amp] { amp.plug(); });
}

// What one "WriteFlash" leads to, the faults applied.
struct EmulatedBootloader::WriteFlashOutcome
{
    int result = 0; // "RetWriteFlash" 1: stored, 0: refused; -1: not answered
    Bytes reply;
    uint8_t status = 0; // for the stray "RetFwStatus"
    // On the way out:
    bool unplug = false; // instead of anything else, for unplugMs (0: for good)
    int unplugMs = 0;
    int staleBlock = -1; // this block's "RetWriteFlash" 1 goes out staleMs later
    int staleMs = 0;
    Bytes stale;
    bool strayMessages = false;
    bool overlong = false;
    int floodCount = 0;
    bool vanish = false;
    bool late = false;
    int lateMs = 0;
    bool cut = false; // the reply goes out cut by a channel message
};

EmulatedBootloader::WriteFlashOutcome EmulatedBootloader::applyWriteFlashFaults(bool good, int index)
{
    const BootloaderFaults& f = faults;
    WriteFlashOutcome outcome;
    // A line fault: the block as received no longer matches its sum.
    if (good && index == f.corruptBlock && corruptionsGiven < f.corruptCount)
    {
        ++corruptionsGiven;
        good = false;
    }
    outcome.result = good ? 1 : 0;
    if (index == f.cutReplyBlock)
    {
        outcome.result = 0;
        outcome.cut = true;
    }
    if (good && index == f.refuseBlock && refusalsGiven < f.refuseCount)
    {
        ++refusalsGiven;
        outcome.result = 0;
    }
    if (good && index == f.unplugAtBlock)
    {
        outcome.result = -1;
        outcome.unplug = true;
        outcome.unplugMs = f.unplugMs;
        return outcome;
    }
    if (outcome.result == 1 && index == f.silentBlock)
    {
        outcome.result = -1;
        outcome.staleBlock = f.staleReplyBlock;
        outcome.staleMs = f.staleMs;
    }
    outcome.strayMessages = f.strayMessages;
    outcome.overlong = index == f.overlongBlock;
    outcome.floodCount = index == f.floodBlock ? f.floodCount : 0;
    outcome.vanish = index == f.vanishAfterBlock;
    outcome.late = index == f.lateBlock;
    outcome.lateMs = f.lateMs;
    return outcome;
}

void EmulatedBootloader::handleWriteFlash(const std::vector<uint8_t>& message, Amplifier& amp)
{
    const WriteFlashRequest request = readWriteFlash(message);
    WriteFlashOutcome outcome;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++blockRequests;
        outcome = applyWriteFlashFaults(request.good, request.index);
        if (outcome.result == 1)
        {
            if (flash.size() < request.offset + blockBytes)
                flash.resize(request.offset + blockBytes, 0);
            std::copy_n(request.block.begin(), blockBytes, flash.begin() + long(request.offset));
        }
        if (outcome.result == 0)
            ++refusedBlocks;
        if (outcome.result >= 0)
            outcome.reply = writeFlashReply(request.offsetBytes, uint8_t(outcome.result));
        if (outcome.staleBlock >= 0)
            outcome.stale = writeFlashReply(offsetBytesOf(uint32_t(outcome.staleBlock) * blockBytes), 1);
        outcome.status = status;
    }
    sendWriteFlashOutcome(message.size(), outcome, amp);
}

void EmulatedBootloader::sendWriteFlashOutcome(size_t requestBytes, const WriteFlashOutcome& outcome,
                                               Amplifier& amp)
{
    if (outcome.unplug)
    {
        if (outcome.unplugMs > 0)
            amp.unplugFor(outcome.unplugMs);
        else
            amp.unplug();
        return;
    }
    if (!outcome.stale.empty())
        amp.schedule(outcome.staleMs, [&amp, stale = outcome.stale] { amp.reply(stale); });
    if (outcome.result < 0)
        return;

    const Bytes& reply = outcome.reply;
    modelDelay(requestBytes, reply.size(), outcome.result == 1);
    if (outcome.strayMessages)
    {
        amp.reply(keywordMessage("RetFwStatus", {outcome.status}));
        amp.reply({0xB0, 0x07, 0x64});
        amp.reply({0xC0, 0x05});
        amp.reply(makeFrame(0, classData, 18, {1, 2, 3, 4}));
    }
    if (outcome.overlong)
        amp.reply(keywordMessage("RetWriteFlash", Bytes(600, uint8_t(outcome.result))));
    for (int i = 0; i < outcome.floodCount; ++i)
        amp.sendToHost(makeFrame(0, classData, 36, {uint8_t(i), uint8_t(i >> 8)}));
    if (outcome.cut)
    {
        // Stitched together, byte 18 would read 1.
        const size_t cutAt = 16;
        amp.sendToHost(Bytes(reply.begin(), reply.begin() + long(cutAt)));
        amp.sendToHost({0xB0, 0x07, 0x01});
        amp.sendToHost(Bytes(reply.begin() + long(cutAt), reply.end()));
    }
    else if (outcome.vanish)
        amp.replyThenUnplug(reply);
    else if (outcome.late)
        amp.schedule(outcome.lateMs, [&amp, reply] { amp.reply(reply); });
    else
        amp.reply(reply);
}

} // namespace emu
