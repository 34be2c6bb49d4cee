#include "commands/ChunkedData.h"

#include "commands/ByteSum.h"
#include "commands/CommandLimits.h"
#include "commands/CommandSession.h"
#include "commands/MessageExchange.h"
#include "device/CommandFrame.h"
#include "device/SessionError.h"

#include <cstring>
#include <stdexcept>

namespace
{
constexpr int chunkHeaderSize = 3;
} // namespace

std::vector<ChunkRecord> splitIntoChunks(std::vector<uint8_t> data)
{
    std::vector<ChunkRecord> chunks;
    if (data.empty())
        return chunks;
    data.push_back(sumBytes(data));
    const std::size_t total = (data.size() + maxChunkDataLength - 1) / maxChunkDataLength;
    if (total > maxChunkCount)
        throw std::runtime_error("totalChunk size has exceed the limitation size");
    chunks.resize(total); // zero-filled
    for (std::size_t index = 0; index < total; ++index)
    {
        ChunkRecord& chunk = chunks[index];
        const std::size_t from = index * maxChunkDataLength;
        const std::size_t length = std::min(maxChunkDataLength, data.size() - from);
        chunk.totalChunks = static_cast<uint8_t>(total);
        chunk.chunkIndex = static_cast<uint8_t>(index);
        chunk.dataLength = static_cast<uint8_t>(length);
        std::memcpy(chunk.data, data.data() + from, length);
    }
    return chunks;
}

bool ChunkedDataSession::doRun(MVDevice* device, int sessionId)
{
    if (checkTarget(device, sessionId) != 0 || data.empty())
        return storeFailure(*this, SessionError::InvalidRequest);

    const MessageExchange exchange(CommandId::ChunkedData, timeoutMs);
    try
    {
        const std::vector<ChunkRecord> chunks = splitIntoChunks(data);
        for (const ChunkRecord& chunk : chunks)
        {
            const auto* wire = reinterpret_cast<const uint8_t*>(&chunk);
            if (const int failed = exchange.send(device, sessionId, MessageClass::Set, wire,
                                                 chunk.dataLength + chunkHeaderSize))
                return storeFailure(*this, failed);
            if (sleepFor)
                sleepFor(chunkDelayMs);
        }
    }
    catch (const std::exception&)
    {
        return storeFailure(*this, SessionError::NoSession);
    }
    ReplyFrame reply;
    return storeFailure(*this, exchange.receive(device, sessionId, MessageClass::Ack, reply));
}
