#include "commands/BlockTransfer.h"

#include "commands/ByteSum.h"
#include "commands/CommandLimits.h"
#include "commands/CommandSession.h"
#include "commands/MessageExchange.h"
#include "device/CommandFrame.h"
#include "device/SessionError.h"

#include <algorithm>
#include <cstring>

void BlockChunk::parse(const uint8_t* payload)
{
    unsigned at = 0;
    totalChunks = payload[at++];
    chunkNumber = static_cast<uint8_t>(payload[at++] + 1);
    if (chunkNumber == 1)
    {
        addressA = payload[at++];
        addressB = payload[at++];
    }
    dataLength = payload[at++];
    std::memcpy(data, payload + at, dataLength);
    at += dataLength;
    if (chunkNumber == totalChunks)
        blockSum = payload[at];
}

unsigned BlockChunk::chunkSize() const
{
    return (chunkNumber == 1 ? 5u : 3u) + dataLength + (chunkNumber == totalChunks ? 1u : 0u);
}

int buildBlockReadFrame(int sessionId, const uint8_t* addressA, const uint8_t* addressB, uint8_t* out)
{
    if (addressA == nullptr || addressB == nullptr || out == nullptr || !isSessionId(sessionId))
        return 0;
    const uint8_t payload[2] = {*addressA, *addressB};
    return buildCommandFrame(static_cast<uint8_t>(sessionId), MessageClass::Get, CommandId::AddressedBlock,
                             payload, 2, out);
}

int BlockWriteSession::buildChunk(uint8_t* out, const std::vector<uint8_t>& data, unsigned& cursor) const
{
    const uint64_t size = data.size();
    const uint64_t position = uint64_t(cursor) * chunkSize;
    if (out == nullptr || position >= size || (chunkSize == 0 && cursor > 0))
        return 0;
    const uint64_t length = chunkSize == 0 ? size : std::min<uint64_t>(chunkSize, size - position);
    if (length > maxChunkDataLength)
        return 0;

    int n = 0;
    out[n++] = static_cast<uint8_t>(totalChunks);
    out[n++] = static_cast<uint8_t>(cursor);
    if (cursor == 0)
    {
        out[n++] = static_cast<uint8_t>(addressA);
        out[n++] = static_cast<uint8_t>(addressB);
    }
    out[n++] = static_cast<uint8_t>(length);
    std::memcpy(out + n, data.data() + position, length);
    n += static_cast<int>(length);
    if (int64_t(cursor) == int64_t(totalChunks) - 1)
        out[n++] = sumBytes(data);
    ++cursor;
    return n;
}

bool BlockWriteSession::doRun(MVDevice* device, int sessionId)
{
    if (checkTarget(device, sessionId) != 0 || block == nullptr || block->empty() ||
        chunkSize > maxChunkDataLength || (chunkSize == 0 && block->size() > maxChunkDataLength) ||
        addressA > 0xFF || addressB > 0xFF)
        return storeFailure(*this, SessionError::InvalidRequest);
    const int64_t needed = chunkSize == 0 ? 1 : int64_t((block->size() + chunkSize - 1) / chunkSize);
    if (totalChunks != needed || needed > int64_t(maxChunkCount))
        return storeFailure(*this, SessionError::InvalidRequest);

    const MessageExchange exchange(CommandId::AddressedBlock, timeoutMs);
    unsigned cursor = 0;
    for (int i = 0; i < totalChunks; ++i)
    {
        if (sleepFor)
            sleepFor(chunkDelayMs);
        MessageExchange::Payload chunk = {};
        const int length = buildChunk(chunk, *block, cursor);
        if (const int failed = exchange.send(device, sessionId, MessageClass::Set, chunk, length))
            return storeFailure(*this, failed);
    }
    ReplyFrame reply;
    return storeFailure(*this, exchange.receive(device, sessionId, MessageClass::Ack, reply));
}

bool BlockReadSession::doRun(MVDevice* device, int sessionId)
{
    if (checkTarget(device, sessionId) != 0)
        return storeFailure(*this, SessionError::InvalidRequest);

    const MessageExchange exchange(CommandId::AddressedBlock, timeoutMs);
    uint8_t frame[frameBufferSize] = {};
    const uint8_t requestA = static_cast<uint8_t>(addressA);
    const uint8_t requestB = static_cast<uint8_t>(addressB);
    const int frameLength = buildBlockReadFrame(sessionId, &requestA, &requestB, frame);
    if (const int failed = MessageExchange::sendFrame(device, frame, frameLength))
        return storeFailure(*this, failed);

    std::vector<uint8_t> assembled;
    BlockChunk chunk;
    uint8_t total = 0;
    for (unsigned expected = 1;; ++expected)
    {
        ReplyFrame reply;
        if (const int failed = exchange.receive(device, sessionId, MessageClass::Data, reply))
            return storeFailure(*this, failed);
        MessageExchange::Payload payload;
        unsigned decoded = 0;
        if (const int failed = MessageExchange::decodePayload(reply, payload, decoded))
            return storeFailure(*this, failed);
        chunk.parse(payload);
        if (chunk.chunkSize() > decoded)
            return storeFailure(*this, SessionError::BadLength);

        if (expected == 1)
        {
            if (chunk.chunkNumber != 1)
                return storeFailure(*this, SessionError::ChunkOutOfOrder);
            if (chunk.addressA != addressA || chunk.addressB != addressB)
                return storeFailure(*this, SessionError::AddressMismatch);
            total = chunk.totalChunks;
        }
        if (chunk.totalChunks != total || chunk.chunkNumber != expected || expected > total)
            return storeFailure(*this, SessionError::ChunkOutOfOrder);

        assembled.insert(assembled.end(), chunk.data, chunk.data + chunk.dataLength);
        if (expected == total)
        {
            if (chunk.blockSum != sumBytes(assembled))
                return storeFailure(*this, SessionError::ChecksumMismatch);
            block = std::move(assembled);
            return true;
        }
    }
}
