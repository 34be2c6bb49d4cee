#pragma once

// The chunked-data transfer (command 45): a block of up to 65,024 bytes and
// its 8-bit sum, cut into at most 255 chunks of up to 255 bytes, each sent as
// its own Set frame without a reply; the device acknowledges the whole block
// once, after the last chunk.

#include "commands/ChunkDelay.h"
#include "commands/CommandLimits.h"
#include "device/MVDeviceSession.h"

#include <cstdint>
#include <vector>

// One chunk; on the wire its first dataLength + 3 bytes.
struct ChunkRecord
{
    uint8_t totalChunks;
    uint8_t chunkIndex;
    uint8_t dataLength; // 1 to 255
    uint8_t data[maxChunkDataLength];
};
static_assert(sizeof(ChunkRecord) == 258, "a chunk goes on the wire as it lies in memory");

// The chunks of data followed by its 8-bit sum: every chunk but the last
// carries 255 bytes, and the sum is the last data byte of the last. Empty
// data gives no chunks. Throws std::runtime_error when more than 255 chunks
// would be needed (data over 65,024 bytes).
std::vector<ChunkRecord> splitIntoChunks(std::vector<uint8_t> data);

// Sends every chunk of data as a Set 45 frame, calling sleepFor(chunkDelayMs)
// after each (the last too), then awaits one Ack 45. Leaves 17 for a null
// device, a bad session id or empty data, 10 when the block needs more than
// 255 chunks (nothing sent) or anything else throws, 8 when a send fails (the
// transfer stops at that chunk), and 1, 2 or 3 for the reply. The error field
// is written only on failure.
class ChunkedDataSession : public MVDeviceSession
{
public:
    bool doRun(MVDevice* device, int sessionId) override;

    int64_t chunkDelayMs = 0;
    std::vector<uint8_t> data;
    ChunkSleep sleepFor = sleepMilliseconds;
};
