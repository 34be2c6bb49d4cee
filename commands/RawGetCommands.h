#pragma once

// The Get commands whose Data reply is read as raw little-endian bytes. The
// reply payload is decoded into a zeroed 768-byte buffer and the results are
// read from it: bytes the reply does not carry read as 0, further bytes are
// ignored (Byte50GetSession alone requires exactly one byte, else 7 with its
// value kept). Failures: 17 null device or bad session id, 8 send failed,
// 1, 2, 3 the reply, 7 a payload over 768 bytes. The error field is written
// only on failure.

#include "device/MVDeviceSession.h"

#include <cstdint>

// Get 22 with the query in 4 bytes; value = decoded byte 0.
class Query22GetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint32_t query = 0;
    int value = 0;
};

// Get 25; value = decoded byte 0.
class Value25GetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    int value = 0;
};

// Get 32; first, second = decoded bytes 0 to 3 and 4 to 7.
class Values32GetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint32_t first = 0;
    uint32_t second = 0;
};

// Get 33; value = decoded bytes 0 to 3.
class Value33GetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint32_t value = 0;
};

// Get 40; first, second, third = decoded bytes 0 to 3, 4 to 7 and 8 to 11.
class Values40GetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint32_t first = 0;
    uint32_t second = 0;
    uint32_t third = 0;
};

// Get 50; value = the one decoded byte.
class Byte50GetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t value = 0;
};
