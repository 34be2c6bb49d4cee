#pragma once

// The Set commands with a short packed payload (multi-byte fields
// little-endian), each answered by an Ack of its command. A refused argument
// leaves 17 and sends nothing; the reply leaves 1, 2 or 3 and a failed send 8.
// Bytes51, Bytes57, Bytes61 and Bytes63 write their code on every run (0 on
// success); the others write the error field only on failure.

#include "device/MVDeviceSession.h"

#include <cstdint>

// Set 49: 06, a in 4 bytes, b in 2 bytes.
class Bytes49SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint32_t a = 0;
    uint16_t b = 0;
};

// Set 50: one byte.
class Byte50SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t value = 0;
};

// Set 51: first, second.
class Bytes51SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t first = 0;
    uint8_t second = 0;
};

// Set 57: first as a u16, the low 16 bits of second, third as a float (8
// bytes). second must be at most 65535; a negative value passes and its low
// 16 bits travel.
class Bytes57SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t first = 0;
    int second = 0;
    float third = 0;
};

// Set 61: the two bytes in order.
class Bytes61SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t bytes[2] = {};
};

// Set 63: the four bytes in order.
class Bytes63SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t bytes[4] = {};
};

// Set 80: one byte.
class Byte80SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t value = 0;
};

// Set 81: a flag below 2.
class Flag81SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t value = 0;
};

// Set 82: first, third, second, one byte each (in this order); each must lie
// in 0 to 255.
class Bytes82SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    int first = 0;
    int second = 0;
    int third = 0;
};
