#pragma once

// Lists of fixed-size records (commands 2, 3, 24), byte pairs (5) and the
// blob (34): their payloads, whole request frames, and the parsers of Get
// replies. A list payload is a u32 count n, then n entries; all fields are
// little-endian.
//
// Payloads are built in 768-byte buffers, which bound the lists: at most 127
// six-byte, 76 ten-byte and 47 sixteen-byte records, 382 two-byte keys or
// pairs, 191 four-byte keys, and 759 blob bytes. The frame builders return 0
// and write nothing for a longer list, a null out or data pointer, or a
// session id outside 0-63; the packers write wherever out points and return
// 0 only for a null out.

#include "commands/CommandLimits.h"

#include <cstdint>
#include <vector>

#pragma pack(push, 1)
// Command 2.
struct SixByteRecord
{
    uint8_t first;
    uint8_t second;
    uint32_t value;
};

// Command 3.
struct TenByteRecord
{
    uint8_t first;
    uint8_t second;
    uint32_t valueA;
    uint32_t valueB;
};

// Command 24: opaque but for its leading key.
struct SixteenByteRecord
{
    uint32_t key;
    uint8_t data[12];
};

// Command 5: only the low byte of first travels.
struct FiveByteRecord
{
    uint32_t first;
    uint8_t second;
};
#pragma pack(pop)
static_assert(sizeof(SixByteRecord) == 6 && sizeof(TenByteRecord) == 10 && sizeof(SixteenByteRecord) == 16 &&
                  sizeof(FiveByteRecord) == 5,
              "packed records");

// Packers: the count and the entries into out; the payload length.
// Each record whole: 4 + 6n.
int packSixByteRecords(const std::vector<SixByteRecord>& records, uint8_t* out);
// first, second and the low byte of value; the entry's other 3 bytes are not
// written (a zeroed out gives the AltSet payload): 4 + 6n.
int packSixByteAltValues(const std::vector<SixByteRecord>& records, uint8_t* out);
// first, second: 4 + 2n.
int packSixByteKeys(const std::vector<SixByteRecord>& records, uint8_t* out);
// Each record whole: 4 + 10n.
int packTenByteRecords(const std::vector<TenByteRecord>& records, uint8_t* out);
// first, second, the low byte of valueA at entry offset 2 and of valueB at 6;
// the other 6 bytes are not written: 4 + 10n.
int packTenByteAltValues(const std::vector<TenByteRecord>& records, uint8_t* out);
// first, second: 4 + 2n.
int packTenByteKeys(const std::vector<TenByteRecord>& records, uint8_t* out);
// Each record whole: 4 + 16n (command 24's Set and AltSet).
int packSixteenByteRecords(const std::vector<SixteenByteRecord>& records, uint8_t* out);
// Each key: 4 + 4n (command 24's Get).
int packSixteenByteKeys(const std::vector<SixteenByteRecord>& records, uint8_t* out);
// The low byte of first, second: 4 + 2n (command 5).
int packPairs(const std::vector<FiveByteRecord>& records, uint8_t* out);
// value, length, the data, their 8-bit sum: length + 9 (command 34). 0 for a
// null out, or null data with a length.
int packBlob(uint8_t* out, const uint8_t* data, uint32_t length, uint32_t value);

// Frame builders: the payload in a zeroed 768-byte buffer, framed into out
// (at least 1024 bytes); the frame length, or 0 (nothing written).
int buildRecords6SetFrame(int sessionId, const std::vector<SixByteRecord>& records, uint8_t* out);
int buildRecords6AltSetFrame(int sessionId, const std::vector<SixByteRecord>& records, uint8_t* out);
int buildRecords6GetFrame(int sessionId, const std::vector<SixByteRecord>& records, uint8_t* out);
int buildRecords10SetFrame(int sessionId, const std::vector<TenByteRecord>& records, uint8_t* out);
int buildRecords10AltSetFrame(int sessionId, const std::vector<TenByteRecord>& records, uint8_t* out);
int buildRecords10GetFrame(int sessionId, const std::vector<TenByteRecord>& records, uint8_t* out);
int buildPairsSetFrame(int sessionId, const std::vector<FiveByteRecord>& records, uint8_t* out);
int buildValue25SetFrame(int sessionId, uint8_t* out);
int buildBlobSetFrame(int sessionId, uint8_t* out, const uint8_t* data, uint32_t length, uint32_t value);
// Command 24's frames, for its commands: Set and AltSet with every record
// whole, Get with the keys.
int buildRecords16Frame(int sessionId, uint8_t messageClass, const std::vector<SixteenByteRecord>& records,
                        uint8_t* out);

// Reply parsers: out is emptied, then, when decodedLength is exactly 4 + m
// records for the count m at the start of decoded, the m records are
// appended and the result is true. A shorter or longer reply, one below 4
// bytes or a null pointer is false with out empty; nothing is allocated
// before the length has been checked.
bool parseRecords6(const uint8_t* decoded, int decodedLength, std::vector<SixByteRecord>& out);
bool parseRecords10(const uint8_t* decoded, int decodedLength, std::vector<TenByteRecord>& out);
bool parseRecords16(const uint8_t* decoded, int decodedLength, std::vector<SixteenByteRecord>& out);
