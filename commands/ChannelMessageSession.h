#pragma once

#include "device/MVDeviceSession.h"

#include <cstdint>

// A bare two-byte MIDI channel message: status, then second * 5 + first. No
// command frame, no session id, no reply. run leaves 8 for a null device or
// a failed send, 17 for a data value above 255 (nothing sent), and returns
// true when the send reports both bytes written (false otherwise, error
// field untouched).
class ChannelMessageSession : public MVDeviceSession
{
public:
    bool run(MVDevice* device) override;
    // The same as run: the message takes no session id.
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t first = 0;
    uint8_t second = 0;
    uint8_t status = 0;
};
