#pragma once

#include "device/CAbstractMessage.h"

#include <cstring>
#include <string>

namespace bootloader
{

// A raw byte string body: packs to its bytes, unpacks to exactly the bytes
// given (zero bytes included, no terminator expected).
class StdStringPacker : public mvmsgpack::CMessage<std::string>
{
public:
    StdStringPacker() = default;

    // False, writing nothing, when the string does not fit into capacity.
    bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) override
    {
        if (buffer == nullptr || out == nullptr || outLength == nullptr || value.size() > capacity)
            return false;
        if (!value.empty())
            std::memcpy(buffer, value.data(), value.size());
        *out = buffer;
        *outLength = static_cast<unsigned>(value.size());
        return true;
    }

    bool unpack(const uint8_t* data, unsigned length) override
    {
        if (data == nullptr || length == 0)
            value.clear();
        else
            value.assign(reinterpret_cast<const char*>(data), length);
        return true;
    }
};

} // namespace bootloader
