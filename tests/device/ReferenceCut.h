#pragma once

// The stream cutter's rules the plain way, as a reference for its tests and
// its fuzzer: one pass over the whole stream, each message searched for from
// the end of the one before.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace stream_reference
{

// Every message in the whole stream, in order, and in left the count of bytes
// a cutter keeps after them. Messages: B0 and two bytes, C0 and one byte, or
// a SysEx from the last F0 ahead of its F7 through that F7, holding its data
// bytes but not the real-time bytes (F8-FF) among them. Any other status byte
// inside a SysEx cuts it short: its bytes belong to no message and the search
// goes on at that byte. Other bytes are skipped; an incomplete message ends
// the search, its real-time bytes already taken out.
inline std::vector<std::vector<uint8_t>> referenceCut(const std::vector<uint8_t>& stream, std::size_t& left)
{
    std::vector<std::vector<uint8_t>> messages;
    const std::size_t n = stream.size();
    std::size_t dropped = 0; // bytes before this one are gone from the buffer
    std::size_t i = 0;
    for (;;)
    {
        while (i < n && stream[i] != 0xF0 && stream[i] != 0xB0 && stream[i] != 0xC0)
            ++i;
        if (i == n)
            break;
        if (stream[i] != 0xF0)
        {
            const std::size_t length = stream[i] == 0xB0 ? 3 : 2;
            if (i + length > n)
                break;
            messages.emplace_back(stream.begin() + long(i), stream.begin() + long(i + length));
            dropped = i += length;
            continue;
        }
        std::vector<uint8_t> message{0xF0};
        std::size_t realTime = 0;
        std::size_t j = i + 1;
        for (; j < n; ++j)
        {
            const uint8_t b = stream[j];
            if (b < 0x80)
                message.push_back(b);
            else if (b == 0xF0)
                message.assign(1, 0xF0);
            else if (b >= 0xF8)
                ++realTime;
            else
                break; // F7 ends it, any other status byte cuts it
        }
        if (j == n)
        {
            left = n - dropped - realTime;
            return messages;
        }
        if (stream[j] == 0xF7)
        {
            message.push_back(0xF7);
            messages.push_back(message);
            ++j;
        }
        dropped = i = j;
    }
    left = n - dropped;
    return messages;
}

} // namespace stream_reference
