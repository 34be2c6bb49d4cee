#pragma once

// Shared by the MessagePack writer and reader; not part of the library's
// interface.

#include <cstdint>

namespace mpk_detail
{

// Bytes between current and end; 0 for a context whose pointers are unset.
template <typename Pointer> inline uint64_t bytesLeft(Pointer current, Pointer end)
{
    return (current != nullptr && current < end) ? static_cast<uint64_t>(end - current) : 0;
}

} // namespace mpk_detail
