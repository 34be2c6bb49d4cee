#pragma once

// A device for unit tests: records what the host sends and answers through a
// script, synchronously, on the sending thread. Replies are fed through the
// device's own stream cutter and routing, so they reach the queues exactly as
// received bytes would. Plus a small bootloader model written from the wire
// format (its own 7-bit packing), apart from the host's helpers.

#include "device/MVDevice.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace testing_device
{

using Bytes = std::vector<uint8_t>;

inline Bytes pack7(const Bytes& raw)
{
    Bytes out;
    for (size_t i = 0; i < raw.size(); i += 7)
    {
        const size_t flagsAt = out.size();
        out.push_back(0);
        for (size_t j = 0; j < 7 && i + j < raw.size(); ++j)
        {
            if (raw[i + j] & 0x80)
                out[flagsAt] = uint8_t(out[flagsAt] | (1u << j));
            out.push_back(uint8_t(raw[i + j] & 0x7F));
        }
    }
    return out;
}

inline Bytes unpack7(const uint8_t* packed, size_t n)
{
    Bytes out;
    for (size_t i = 0; i + 1 < n; i += 8)
        for (size_t j = 0; j < 7 && i + 1 + j < n; ++j)
            out.push_back(uint8_t(packed[i + 1 + j] | ((packed[i] >> j) & 1) << 7));
    return out;
}

inline Bytes keywordMessage(const std::string& keyword, const Bytes& data = {})
{
    Bytes m;
    m.reserve(keyword.size() + data.size() + 2);
    m.push_back(0xF0);
    for (char c : keyword)
        m.push_back(uint8_t(c));
    for (uint8_t b : data)
        m.push_back(b);
    m.push_back(0xF7);
    return m;
}

inline bool startsWith(const Bytes& m, const std::string& keyword)
{
    return m.size() > keyword.size() + 1 && std::memcmp(m.data() + 1, keyword.data(), keyword.size()) == 0;
}

// A command frame built from the format's definition.
inline Bytes frame(uint8_t sid, uint8_t cls, uint8_t cmd, const Bytes& payload)
{
    const Bytes packed = pack7(payload);
    uint8_t sum = 0;
    for (uint8_t b : packed)
        sum ^= b;
    Bytes f;
    f.reserve(packed.size() + 7);
    for (uint8_t b : {uint8_t(0xF0), uint8_t(0x01), sid, uint8_t(sum & 0x7F), cls, cmd})
        f.push_back(b);
    for (uint8_t b : packed)
        f.push_back(b);
    f.push_back(0xF7);
    return f;
}

class ScriptedDevice : public MVDevice
{
public:
    bool open() override
    {
        isOpen = true;
        return true;
    }
    void close() override { isOpen = false; }

    int writeRaw(const uint8_t* data, int length) override
    {
        Bytes message(data, data + length);
        sent.push_back(message);
        if (failSendAt >= 0 && int(sent.size()) - 1 >= failSendAt)
            return -1;
        if (onSend)
            onSend(message);
        return length;
    }

    void deliver(const Bytes& bytes) { appendReceivedBytes(bytes.data(), int(bytes.size())); }

    std::function<void(const Bytes&)> onSend;
    std::vector<Bytes> sent;
    // Sends with this index and later report -1 (-1: never).
    int failSendAt = -1;
    bool isOpen = true;
};

// The bootloader as a script: answers on the device it is attached to.
struct FakeBootloader
{
    // What to answer each "WriteFlash" with, in order: a result byte, or -1
    // for no reply. When used up, every block is answered 1.
    std::deque<int> writeResults;
    uint8_t status = 0;
    Bytes infoBlock = Bytes(84, 0);
    bool answerStatus = true;
    bool answerInfo = true;
    // Sent ahead of every "RetWriteFlash".
    std::vector<Bytes> strays;
    // Blocks (by request number from 0) whose "RetWriteFlash" is sent twice.
    std::vector<int> repeatReplyTo;
    // Requests (by number from 0) answered, instead of their own reply, by a
    // copy of the first "RetWriteFlash" sent; nothing is stored for them.
    std::vector<int> firstReplyInsteadOf;
    // Requests answered by a copy of the first "RetWriteFlash" sent, then by
    // their own reply.
    std::vector<int> firstReplyAheadOf;
    // Replies echo the request's offset bytes; otherwise they carry zeros.
    bool echo = true;
    Bytes firstReply;
    Bytes flash;
    std::vector<int> statusWrites;
    int blocks = 0;

    void attach(ScriptedDevice& device)
    {
        device.onSend = [this, &device](const Bytes& m) { handle(device, m); };
    }

    void handle(ScriptedDevice& device, const Bytes& m)
    {
        if (m == keywordMessage("GetFwStatus"))
        {
            if (answerStatus)
                device.deliver(keywordMessage("RetFwStatus", {status}));
        }
        else if (m == keywordMessage("GetFwInfo"))
        {
            if (answerInfo)
                device.deliver(keywordMessage("RetFwInfo", pack7(infoBlock)));
        }
        else if (startsWith(m, "SetFwStatus") && m.size() == 14)
        {
            // It restarts at once in the status written; with new firmware
            // it reports the block in its flash.
            statusWrites.push_back(m[12]);
            status = m[12];
            if (status == 1 && flash.size() >= 0x454)
                infoBlock.assign(flash.begin() + 0x400, flash.begin() + 0x454);
        }
        else if (startsWith(m, "WriteFlash") && m.size() == 310)
        {
            ++blocks;
            if (std::find(firstReplyInsteadOf.begin(), firstReplyInsteadOf.end(), blocks - 1) !=
                firstReplyInsteadOf.end())
            {
                device.deliver(firstReply);
                return;
            }
            const uint32_t offset =
                uint32_t(m[11]) | uint32_t(m[12]) << 7 | uint32_t(m[13]) << 14 | uint32_t(m[14]) << 21;
            const Bytes block = unpack7(m.data() + 15, 294);
            int result = 1;
            if (!writeResults.empty())
            {
                result = writeResults.front();
                writeResults.pop_front();
            }
            if (result == 1)
            {
                uint8_t sum = 0;
                for (int i = 0; i < 256; ++i)
                    sum = uint8_t(sum + block[size_t(i)]);
                if (block.size() != 257 || sum != block[256])
                    result = 0;
                else
                {
                    if (flash.size() < offset + 256)
                        flash.resize(offset + 256, 0);
                    std::memcpy(flash.data() + offset, block.data(), 256);
                }
            }
            for (const Bytes& s : strays)
                device.deliver(s);
            if (std::find(firstReplyAheadOf.begin(), firstReplyAheadOf.end(), blocks - 1) !=
                firstReplyAheadOf.end())
                device.deliver(firstReply);
            const Bytes reply =
                echo ? keywordMessage("RetWriteFlash", {m[11], m[12], m[13], m[14], uint8_t(result)})
                     : keywordMessage("RetWriteFlash", {0, 0, 0, 0, uint8_t(result)});
            if (firstReply.empty() && result >= 0)
                firstReply = reply;
            if (result >= 0)
                device.deliver(reply);
            if (result >= 0 &&
                std::find(repeatReplyTo.begin(), repeatReplyTo.end(), blocks - 1) != repeatReplyTo.end())
                device.deliver(reply);
        }
    }
};

} // namespace testing_device
