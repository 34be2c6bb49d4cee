// Every message body's unpack on arbitrary bytes. A body that unpacks must
// pack again without reading past its fields, and the packed bytes must
// unpack to the same fields.
#include "commands/MessagePackMessages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

bool sameString(const FixedString& a, const FixedString& b)
{
    return a.length == b.length && a.length <= kFixedStringCapacity &&
           std::memcmp(a.chars, b.chars, a.length) == 0;
}

template <typename T> bool sameBits(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same(const mvmsgpack::CSwitchPreset& a, const mvmsgpack::CSwitchPreset& b)
{
    return a.value.first == b.value.first && a.value.second == b.value.second;
}
bool same(const mvmsgpack::CReplaceDspModule& a, const mvmsgpack::CReplaceDspModule& b)
{
    return sameString(a.value.firstId, b.value.firstId) && sameString(a.value.secondId, b.value.secondId);
}
bool same(const mvmsgpack::CSetDspOnOff& a, const mvmsgpack::CSetDspOnOff& b)
{
    return sameString(a.value.id, b.value.id) && a.value.on == b.value.on;
}
bool same(const mvmsgpack::CGetDspParam& a, const mvmsgpack::CGetDspParam& b)
{
    return sameString(a.value.id, b.value.id) && a.value.index == b.value.index;
}
bool same(const mvmsgpack::CSetDspParam& a, const mvmsgpack::CSetDspParam& b)
{
    return sameString(a.value.id, b.value.id) && a.value.index == b.value.index &&
           sameBits(a.value.value, b.value.value);
}
bool same(const mvmsgpack::CString& a, const mvmsgpack::CString& b)
{
    return sameString(a.value.text, b.value.text);
}
bool same(const mvmsgpack::CFloat& a, const mvmsgpack::CFloat& b)
{
    return sameBits(a.value, b.value);
}
bool same(const mvmsgpack::CBool& a, const mvmsgpack::CBool& b)
{
    return a.value == b.value;
}
bool same(const mvmsgpack::CInt32Array& a, const mvmsgpack::CInt32Array& b)
{
    return a.value == b.value;
}
bool same(const mvmsgpack::CUInt32& a, const mvmsgpack::CUInt32& b)
{
    return a.value == b.value;
}

template <typename M> void roundTrip(const uint8_t* data, size_t size)
{
    M message;
    if (!message.unpack(data, static_cast<unsigned>(size)))
        return;
    // Room for any body this input can give (each array element came from at
    // least one input byte and packs to at most five).
    static uint8_t buffer[5 * 65536 + 16];
    uint8_t* out = nullptr;
    unsigned outLength = 0;
    if (!message.pack(buffer, sizeof buffer, &out, &outLength))
        std::abort();
    M again;
    if (!again.unpack(out, outLength) || !same(message, again))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The message layer reports each failure on standard output.
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return 0;
    roundTrip<mvmsgpack::CSwitchPreset>(data, size);
    roundTrip<mvmsgpack::CReplaceDspModule>(data, size);
    roundTrip<mvmsgpack::CSetDspOnOff>(data, size);
    roundTrip<mvmsgpack::CGetDspParam>(data, size);
    roundTrip<mvmsgpack::CSetDspParam>(data, size);
    roundTrip<mvmsgpack::CString>(data, size);
    roundTrip<mvmsgpack::CFloat>(data, size);
    roundTrip<mvmsgpack::CBool>(data, size);
    roundTrip<mvmsgpack::CInt32Array>(data, size);
    roundTrip<mvmsgpack::CUInt32>(data, size);
    return 0;
}
