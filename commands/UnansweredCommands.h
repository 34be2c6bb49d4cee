#pragma once

// The two Set commands the amplifier does not answer: they send their frame
// and return at once. A null device or a bad session id leaves 17, a failed
// send 8; otherwise the error field is not written.

#include "device/MVDeviceSession.h"

#include <cstdint>
#include <string>

// Set 4: a DSP parameter's value as a MessagePack body (17 when it cannot be
// packed, nothing sent).
class DspParamSetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    std::string moduleId;
    uint32_t parameterIndex = 0;
    float value = 0;
};

// Set 25 without payload.
class Value25SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;
};
