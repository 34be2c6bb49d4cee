#pragma once

// The commands whose request is one MessagePack body or a single byte, run by
// MessageExchange. Each checks its arguments first (a refusal leaves 17 and
// sends nothing), then stores the exchange's code in its error field on every
// run, 0 on success, and returns whether it is 0. Texts travel in 32-byte
// fields: at most 31 characters, longer texts are cut.

#include "device/MVDeviceSession.h"

#include <cstdint>
#include <string>
#include <vector>

// Get 4: a DSP parameter's value, answered by a float. value is copied from
// the reply after every run (0 when none was unpacked).
class DspParamGetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    std::string moduleId;
    uint32_t parameterIndex = 0;
    float value = 0;
};

// Set 6: replaces the first DSP module by the second.
class ReplaceDspModuleSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    std::string firstModuleId;
    std::string secondModuleId;
};

// Set 17: the command-17 string.
class String17SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    std::string text;
};

// Set 21: switches a DSP module on or off.
class DspOnOffSetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    std::string moduleId;
    bool on = false;
};

// Get 21: whether a DSP module is on, answered by a boolean; on is copied
// from the reply after every run (0 when none was unpacked).
class DspOnOffGetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    std::string moduleId;
    int on = 0;
};

// Set 23: a string setting.
class String23SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    std::string text;
};

// Set 35: the serial number.
class SerialNumberSetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    std::string serialNumber;
};

// One result of Int32ArrayGetSession (10 bytes, packed).
#pragma pack(push, 1)
struct Int32ArrayEntry
{
    uint32_t key;
    uint32_t value;
    uint8_t reserved[2]; // always 0
};
#pragma pack(pop)
static_assert(sizeof(Int32ArrayEntry) == 10, "packed entry");

// Get 36: one value per key, both ways as MessagePack arrays. A failed
// exchange leaves its own code, a reply with another number of values than
// keys leaves 7; either way there are no entries.
class Int32ArrayGetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    std::vector<uint32_t> keys;
    std::vector<Int32ArrayEntry> entries;
};

// Set 44: a flag, 0 or 1.
class Flag44SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t value = 0;
};

// Set 56: switches to a preset; second at most 127.
class SwitchPresetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t first = 0;
    uint8_t second = 0;
};

// Set 96: one byte.
class Byte96SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t value = 0;
};

// Set 97: one byte.
class Byte97SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t value = 0;
};

// Set 98: a float.
class Float98SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    float value = 0;
};
