#pragma once

// The addressed block transfer (command 1), both ways. A block travels as a
// run of chunks, one frame each:
//   total chunks, chunk index (from 0), [address A, address B: chunk 0 only],
//   data length L (1 to 255), L data bytes, [block sum: last chunk only]
// A write sends every chunk as a Set frame and awaits one Ack after the last;
// a read sends one Get with the two address bytes and receives every chunk as
// Data, in a row.

#include "commands/ChunkDelay.h"
#include "commands/CommandLimits.h"
#include "device/MVDeviceSession.h"

#include <cstdint>
#include <vector>

// The parsed view of one chunk.
struct BlockChunk
{
    uint8_t totalChunks = 0;
    uint8_t chunkNumber = 0; // the index plus 1
    uint8_t addressA = 0;
    uint8_t addressB = 0;
    uint8_t blockSum = 0;
    uint8_t dataLength = 0;
    uint8_t data[maxChunkDataLength] = {};

    // Fills the fields from a decoded chunk payload, which must be readable
    // for the chunk's header, its L data bytes and its sum byte (a zeroed
    // 768-byte buffer always is). addressA and addressB are set only for
    // chunk number 1, blockSum only when the chunk number equals the total;
    // otherwise they keep their values. Whether the chunk's bytes lie within
    // the decoded length is for the caller to check (see chunkSize).
    void parse(const uint8_t* payload);

    // Bytes the chunk just parsed takes: its header, L and, on the chunk
    // whose number equals its total, the sum byte.
    unsigned chunkSize() const;
};

// The request frame of a block read: Get 1 with the bytes at addressA and
// addressB, built into out (at least 1024 bytes). Returns its length, or 0
// (nothing written) for a null pointer or a session id outside 0-63.
int buildBlockReadFrame(int sessionId, const uint8_t* addressA, const uint8_t* addressB, uint8_t* out);

// Writes block at the two addresses in chunks of chunkSize data bytes (0: the
// whole block, at most 255 bytes, in one chunk), calling sleepFor(chunkDelayMs)
// before every chunk. totalChunks must be the count the chunk size gives
// (ceil(size / chunkSize), 1 for chunk size 0), at most 255. Refused with 17,
// nothing sent: a null device, a session id outside 0-63, a null or empty
// block, a chunk size above 255, chunk size 0 with a block above 255 bytes, a
// total that does not match, an address above 255. A failed send leaves 8 and
// stops; the reply after the last chunk leaves 1, 2 or 3. The error field is
// written only on failure.
class BlockWriteSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    // Writes the chunk at cursor into out (at least 261 bytes), advances the
    // cursor and returns the chunk's length. Returns 0 and leaves the cursor
    // when the chunk's position (cursor times chunk size) is not inside the
    // block, for a cursor past 0 with chunk size 0, for a null out, and when
    // the chunk would carry more than 255 data bytes.
    int buildChunk(uint8_t* out, const std::vector<uint8_t>& block, unsigned& cursor) const;

    uint32_t addressA = 0;
    uint32_t addressB = 0;
    uint32_t chunkSize = 0;
    int64_t chunkDelayMs = 0;
    const std::vector<uint8_t>* block = nullptr; // the caller's, alive during the run
    int totalChunks = 0;
    ChunkSleep sleepFor = sleepMilliseconds;
};

// Reads the block at the two addresses (their low bytes travel). The chunks
// must arrive in order, the first carrying the addresses and the total, each
// holding its header, data and, on the last, the sum within its payload; the
// assembled block must match the last chunk's sum. Failures: 17 (null device,
// bad session id), 8 (send failed), 1, 2, 3 (no reply to the request or
// between chunks, wrong class, wrong command), 7 (a chunk's bytes run past
// its payload, or a payload over 768 bytes), 4 (addresses differ; an address
// above 255 never matches), 5 (a chunk out of order, the first not chunk 0, a
// total of 0 or a later chunk naming another total), 6 (block sum differs).
// On failure the block keeps its old contents and the error field is set;
// success does not write it.
class BlockReadSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    uint32_t addressA = 0;
    uint32_t addressB = 0;
    std::vector<uint8_t> block;
};
