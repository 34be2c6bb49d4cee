#include "device/StreamCutter.h"

#include <algorithm>

namespace
{
// Data bytes only: every byte of a SysEx message between its F0 and F7 is
// 7-bit.
inline bool extendsSysex(const uint8_t* data, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        if (data[i] >= 0x80)
            return false;
    return true;
}

// System real-time bytes may sit inside a SysEx message without being part of
// it.
inline bool isRealTime(uint8_t byte)
{
    return byte >= 0xF8;
}

// A range insert costs more than a few bytes pushed one by one.
inline void appendTo(std::vector<uint8_t>& buffer, const uint8_t* data, std::size_t length)
{
    if (length <= 8)
        for (std::size_t i = 0; i < length; ++i)
            buffer.push_back(data[i]);
    else
        buffer.insert(buffer.end(), data, data + length);
}
} // namespace

void StreamCutter::feedTo(const uint8_t* data, int length, MessageSink onMessage)
{
    if (data == nullptr || length <= 0)
        return;
    const auto count = static_cast<std::size_t>(length);
    if (pending == Pending::Sysex && extendsSysex(data, count) && buffer.size() + count <= bufferLimit)
    {
        // Bytes inside a SysEx message that neither end nor restart it only
        // extend it: nothing to cut, the scan moves past them.
        appendTo(buffer, data, count);
        scanPosition = buffer.size();
        return;
    }
    appendTo(buffer, data, count);
    cut(onMessage);
    if (buffer.size() > bufferLimit)
    {
        trim();
        cut(onMessage);
    }
}

// The scan's two steps, inlined into cut: every byte passes through them.
inline std::size_t StreamCutter::beginMessage(const uint8_t* bytes, std::size_t i, std::size_t size)
{
    while (i < size && bytes[i] != 0xF0 && bytes[i] != 0xB0 && bytes[i] != 0xC0)
        ++i;
    if (i == size)
        return size;
    pending = bytes[i] == 0xF0   ? Pending::Sysex
              : bytes[i] == 0xB0 ? Pending::Controller
                                 : Pending::ProgramChange;
    messageStart = i;
    return i + 1;
}

inline std::size_t StreamCutter::findMessageEnd(const uint8_t* bytes, std::size_t i, std::size_t size)
{
    if (pending != Pending::Sysex)
    {
        // Two data bytes or one, whatever their values.
        const std::size_t last = messageStart + (pending == Pending::Controller ? 2 : 1);
        return last < size ? last : size;
    }
    // Data bytes extend the message; F0 restarts it there; any other status
    // byte stops the scan there (F7 ends it, a real-time byte is taken out of
    // it, the rest cut it short).
    for (;; messageStart = i++)
    {
        while (i < size && bytes[i] < 0x80)
            ++i;
        if (i == size || bytes[i] != 0xF0)
            return i;
    }
}

void StreamCutter::cut(MessageSink onMessage)
{
    // Messages are handed out straight from the buffer, which stays unchanged
    // until the scan ends.
    const uint8_t* bytes = buffer.data();
    std::size_t size = buffer.size();
    std::size_t consumed = 0;
    for (std::size_t i = scanPosition; i < size;)
    {
        if (pending == Pending::None)
        {
            i = beginMessage(bytes, i, size);
            continue;
        }
        const std::size_t last = findMessageEnd(bytes, i, size);
        if (last == size)
            break;
        if (pending == Pending::Sysex && bytes[last] != 0xF7)
        {
            if (isRealTime(bytes[last]))
            {
                // Rare: taken out in place, and the scan goes on after it.
                buffer.erase(buffer.begin() + static_cast<std::ptrdiff_t>(last));
                bytes = buffer.data();
                size = buffer.size();
                i = last;
                continue;
            }
            // Another message began inside it: what came before belongs to
            // no message, and the status byte is scanned afresh.
            pending = Pending::None;
            consumed = i = last;
            continue;
        }
        onMessage(bytes + messageStart, static_cast<int>(last - messageStart + 1));
        pending = Pending::None;
        consumed = i = last + 1;
    }
    scanPosition = size;
    dropFront(consumed);
}

void StreamCutter::trim()
{
    // Keep the message still arriving, from the last F0 on; when even that is
    // too long it can never be received, so keep only the last two bytes,
    // which may begin a channel message. The kept bytes are scanned afresh.
    const auto lastStart = std::find(buffer.rbegin(), buffer.rend(), uint8_t{0xF0});
    std::size_t keepFrom =
        lastStart == buffer.rend() ? 0 : static_cast<std::size_t>(lastStart.base() - buffer.begin()) - 1;
    if (buffer.size() - keepFrom > bufferLimit)
        keepFrom = buffer.size() - 2;
    pending = Pending::None;
    scanPosition = keepFrom;
    dropFront(keepFrom);
}

void StreamCutter::dropFront(std::size_t count)
{
    if (count == 0)
        return;
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
    scanPosition -= count;
    if (pending != Pending::None)
        messageStart -= count;
}
