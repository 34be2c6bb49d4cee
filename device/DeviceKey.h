#pragma once

#include <cstdint>

// One device found by the discovery: the probe reply's first word (payload
// byte 0 least significant), the reply frame's length, and the indices of the
// MIDI input that answered and of the MIDI output that was probed.
struct DeviceRecord
{
    uint32_t replyWord;
    uint32_t replyLength;
    int32_t midiInputIndex;
    int32_t midiOutputIndex;
};

static_assert(sizeof(DeviceRecord) == 16, "DeviceRecord is copied whole as 16 bytes");

// The identity of a device: the first two fields of its record.
struct DeviceKey
{
    uint32_t replyWord;
    uint32_t replyLength;
};

inline bool operator==(const DeviceKey& a, const DeviceKey& b)
{
    return a.replyWord == b.replyWord && a.replyLength == b.replyLength;
}

inline bool operator!=(const DeviceKey& a, const DeviceKey& b)
{
    return !(a == b);
}

inline DeviceKey deviceKeyOf(const DeviceRecord& record)
{
    return DeviceKey{record.replyWord, record.replyLength};
}
