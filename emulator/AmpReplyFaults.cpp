#include "emulator/AmpReplyFaults.h"

#include "emulator/AmpCommandState.h"
#include "emulator/AmpMessagePack.h"

#include <algorithm>

namespace emu
{

namespace
{

using Bytes = std::vector<uint8_t>;

// 2, 3, 24: the record count a Get's reply starts with.
void miscountRecords(uint8_t command, Bytes& payload, const CommandReplyFaults& f)
{
    const std::size_t size = recordSize(command);
    const uint32_t count = readLe32At(payload, 0);
    uint32_t claimed = count + uint32_t(f.lengthDelta);
    if (f.wrappingCount)
        claimed = count + uint32_t((uint64_t(1) << 32) / (size & (~size + 1)));
    Bytes word;
    appendLe32(word, claimed);
    std::copy(word.begin(), word.end(), payload.begin());
}

// 36: the array of values, lengthDelta values longer (zeros) or shorter.
void miscountValues(Bytes& payload, int lengthDelta)
{
    MpReader reader(payload);
    MpItem header;
    reader.next(header);
    std::vector<uint64_t> values(header.number);
    for (uint64_t& value : values)
        reader.nextUnsigned(value);
    if (lengthDelta < 0)
        values.resize(values.size() - std::min(values.size(), std::size_t(-lengthDelta)));
    else
        values.resize(values.size() + std::size_t(lengthDelta), 0);
    Bytes out;
    mpWriteArrayHeader(out, uint32_t(values.size()));
    for (uint64_t value : values)
        mpWriteUnsigned(out, value);
    payload = out;
}

// The counts and lengths a Get's reply claims.
void miscount(uint8_t command, Bytes& payload, const CommandReplyFaults& f)
{
    switch (command)
    {
        case 2:
        case 3:
        case 24:
            miscountRecords(command, payload, f);
            break;
        case 36:
            miscountValues(payload, f.lengthDelta);
            break;
        case 50:
        {
            const uint8_t value = payload.front();
            payload.assign(std::size_t(std::max(0, 1 + f.lengthDelta)), value);
            break;
        }
        default:
            break;
    }
}

void applyBlockReadFaults(std::vector<AmpReply>& chunks, const BlockReadFaults& f)
{
    const std::size_t k = std::size_t(std::max(0, f.chunk));
    if (k >= chunks.size())
        return;
    Bytes& chunk = chunks[k].payload;
    using Kind = BlockReadFaults::Kind;
    switch (f.kind)
    {
        case Kind::MissingChunk:
            chunks.erase(chunks.begin() + long(k));
            break;
        case Kind::RepeatedChunk:
            chunks.insert(chunks.begin() + long(k) + 1, chunks[k]);
            break;
        case Kind::SwappedChunks:
            if (k + 1 < chunks.size())
                std::swap(chunks[k], chunks[k + 1]);
            break;
        case Kind::WrongTotal:
            ++chunk[0];
            break;
        case Kind::WrongAddress:
            ++chunks[0].payload[2];
            break;
        case Kind::WrongSum:
            ++chunks.back().payload.back();
            break;
        case Kind::LengthPastPayload:
            ++chunk[k == 0 ? 4 : 2];
            break;
        case Kind::SilentAfter:
            chunks.resize(k + 1);
            break;
        case Kind::None:
            break;
    }
}

Bytes faultedFrame(const ParsedFrame& request, const AmpReply& reply, const CommandReplyFaults& f)
{
    Bytes payload = reply.payload;
    if (f.padPayloadTo > 0 && payload.size() < std::size_t(f.padPayloadTo))
        payload.resize(std::size_t(f.padPayloadTo), 0);
    const uint8_t sessionId = f.wrongSession ? uint8_t((request.sessionId + 1) % 64) : request.sessionId;
    uint8_t messageClass = reply.messageClass;
    if (f.wrongClass)
        messageClass = messageClass == classData ? classAck : classData;
    const uint8_t command = uint8_t(request.command + (f.wrongCommand ? 1 : 0));
    Bytes frame = makeFrame(sessionId, messageClass, command, payload);
    if (f.badChecksum)
        frame[3] ^= 0x01;
    return frame;
}

} // namespace

std::vector<Bytes> faultedFrames(const ParsedFrame& request, std::vector<AmpReply> replies,
                                 const CommandReplyFaults& faults, const BlockReadFaults& blockReadFaults)
{
    if (faults.silent)
        return {};
    if (request.messageClass == classGet && !replies.empty())
    {
        if (request.command == 1)
            applyBlockReadFaults(replies, blockReadFaults);
        else
            miscount(request.command, replies.front().payload, faults);
    }
    std::vector<Bytes> frames;
    for (const AmpReply& reply : replies)
        frames.push_back(faultedFrame(request, reply, faults));
    return frames;
}

} // namespace emu
