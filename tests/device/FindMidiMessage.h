#pragma once

// The stream cutter's rules the plain way, as a reference for its tests and
// its fuzzer: search the whole stream from the start after every message.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace stream_reference
{

// First and last index of the first complete message in buffer at or after
// from, or (-1, -1). Messages: B0 and two bytes, C0 and one byte, or the last
// F0 ahead of the first F7 through that F7. Other bytes are skipped; an
// incomplete message ends the search.
inline std::pair<int, int> findMidiMessage(const std::vector<uint8_t>& buffer, int from)
{
    const int size = static_cast<int>(buffer.size());
    const std::pair<int, int> none{-1, -1};
    if (from < 0)
        from = 0;
    for (int i = from; i < size; ++i)
    {
        const uint8_t b = buffer[i];
        if (b == 0xB0)
            return i + 2 < size ? std::make_pair(i, i + 2) : none;
        if (b == 0xC0)
            return i + 1 < size ? std::make_pair(i, i + 1) : none;
        if (b == 0xF0)
        {
            int start = i;
            for (int j = i + 1; j < size; ++j)
            {
                if (buffer[j] == 0xF7)
                    return {start, j};
                if (buffer[j] == 0xF0)
                    start = j;
            }
            return none;
        }
    }
    return none;
}

// Every message findMidiMessage finds in the whole stream, in order, and in
// left the count of bytes after the last one.
inline std::vector<std::vector<uint8_t>> referenceCut(const std::vector<uint8_t>& stream, std::size_t& left)
{
    std::vector<std::vector<uint8_t>> messages;
    int last = -1;
    for (auto found = findMidiMessage(stream, 0); found.first >= 0;
         found = findMidiMessage(stream, found.second + 1))
    {
        messages.emplace_back(stream.begin() + found.first, stream.begin() + found.second + 1);
        last = found.second;
    }
    left = stream.size() - static_cast<std::size_t>(last + 1);
    return messages;
}

} // namespace stream_reference
