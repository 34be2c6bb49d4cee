#pragma once

#include <cstdint>

namespace mvhw
{

// Receives the messages that no session takes: valid frames for session ids
// of 64 or more and every message that is no command frame. Called on the
// thread that feeds the device's receive path (the MIDI input thread).
class MVDeviceEventDelegate
{
public:
    virtual ~MVDeviceEventDelegate() = default;

    virtual void handleMessage(const uint8_t* message, int length) = 0;
    // Called before handleMessage for a non-frame message starting with F0
    // whose last byte is not 0.
    virtual void handleSysex(const uint8_t* message, int length) = 0;
};

} // namespace mvhw
