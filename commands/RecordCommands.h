#pragma once

// The record-list commands (2, 3, 24), the pairs (5) and the blob (34). Set
// is answered by Ack, the AltSets of 2 and 3 by AltAck, the AltSet of 24 by
// AltSet, Get by Data carrying a list of records. Failures: 17 null device
// or bad session id (or null blob data with a length), 7 a list or blob
// beyond the 768-byte payload buffer (nothing sent) or a Get reply whose
// length is not 4 + count records, 8 a failed send, 1, 2, 3 the reply. The
// error field is written only on failure; a failed Get leaves no results.

#include "commands/RecordLists.h"
#include "device/MVDeviceSession.h"

#include <cstdint>
#include <vector>

class Records6SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;
    std::vector<SixByteRecord> records;
};

// Only the low byte of each value travels.
class Records6AltSetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;
    std::vector<SixByteRecord> records;
};

// Sends first and second of each key; results are the reply's records.
class Records6GetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;
    std::vector<SixByteRecord> keys;
    std::vector<SixByteRecord> results;
};

class Records10SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;
    std::vector<TenByteRecord> records;
};

// Only the low bytes of valueA and valueB travel.
class Records10AltSetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;
    std::vector<TenByteRecord> records;
};

class Records10GetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;
    std::vector<TenByteRecord> keys;
    std::vector<TenByteRecord> results;
};

// The low byte of first and second of each record.
class PairsSetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;
    std::vector<FiveByteRecord> records;
};

class Records16SetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;
    std::vector<SixteenByteRecord> records;
};

// Answered by AltSet 24.
class Records16AltSetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;
    std::vector<SixteenByteRecord> records;
};

// Sends the key of each record.
class Records16GetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;
    std::vector<SixteenByteRecord> keys;
    std::vector<SixteenByteRecord> results;
};

// value, length, the data and their 8-bit sum.
class BlobSetSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;
    const uint8_t* data = nullptr; // the caller's, alive during the run
    uint32_t length = 0;
    uint32_t value = 0;
};
