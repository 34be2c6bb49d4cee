#pragma once

// Byte strings for the MessagePack writer, reader and message tests, and the
// line a message body prints when its buffer is too small.

#include <cstdint>
#include <string>
#include <vector>

namespace packtest
{

using Bytes = std::vector<uint8_t>;

inline Bytes concat(Bytes head, const Bytes& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

inline const std::string kOverflow = "checkBufferRange ERROR : buffer not enough !\n";

} // namespace packtest
