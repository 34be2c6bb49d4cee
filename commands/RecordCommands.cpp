#include "commands/RecordCommands.h"

#include "commands/CommandSession.h"
#include "commands/MessageExchange.h"
#include "device/CommandFrame.h"
#include "device/SessionError.h"

namespace
{

// Refuses a bad target (17) or a request that does not fit the payload buffer
// (7), then sends the frame build(frame) writes and awaits replyClass.
template <typename Build>
int exchangeFrame(const MVDeviceSession& session, uint8_t command, MVDevice* device, int sessionId,
                  bool fitsPayload, uint8_t replyClass, ReplyFrame& reply, Build build)
{
    if (const int refused = checkTarget(device, sessionId))
        return refused;
    if (!fitsPayload)
        return SessionError::BadLength;
    uint8_t frame[frameBufferSize];
    const int length = build(frame);
    if (length == 0)
        return SessionError::InvalidRequest;
    if (const int failed = MessageExchange::sendFrame(device, frame, length))
        return failed;
    return MessageExchange(command, session.timeoutMs).receive(device, sessionId, replyClass, reply);
}

template <typename Record, typename Build>
bool setList(MVDeviceSession& session, uint8_t command, MVDevice* device, int sessionId,
             const std::vector<Record>& records, std::size_t entrySize, uint8_t replyClass, Build build)
{
    ReplyFrame reply;
    return storeFailure(session,
                        exchangeFrame(session, command, device, sessionId,
                                      records.size() <= maxListEntries(entrySize), replyClass, reply,
                                      [&](uint8_t* frame) { return build(sessionId, records, frame); }));
}

// Sends the keys in a Get and parses the Data reply into results.
template <typename Record, typename Build, typename Parse>
bool getList(MVDeviceSession& session, uint8_t command, MVDevice* device, int sessionId,
             const std::vector<Record>& keys, std::size_t keySize, std::vector<Record>& results, Build build,
             Parse parse)
{
    results.clear();
    ReplyFrame reply;
    if (const int failed = exchangeFrame(session, command, device, sessionId,
                                         keys.size() <= maxListEntries(keySize), MessageClass::Data, reply,
                                         [&](uint8_t* frame) { return build(sessionId, keys, frame); }))
        return storeFailure(session, failed);
    MessageExchange::Payload payload;
    unsigned decoded = 0;
    if (const int failed = MessageExchange::decodePayload(reply, payload, decoded))
        return storeFailure(session, failed);
    if (!parse(payload, static_cast<int>(decoded), results))
        return storeFailure(session, SessionError::BadLength);
    return true;
}

int buildRecords16Set(int sessionId, const std::vector<SixteenByteRecord>& records, uint8_t* out)
{
    return buildRecords16Frame(sessionId, MessageClass::Set, records, out);
}

int buildRecords16AltSet(int sessionId, const std::vector<SixteenByteRecord>& records, uint8_t* out)
{
    return buildRecords16Frame(sessionId, MessageClass::AltSet, records, out);
}

int buildRecords16Get(int sessionId, const std::vector<SixteenByteRecord>& records, uint8_t* out)
{
    return buildRecords16Frame(sessionId, MessageClass::Get, records, out);
}

} // namespace

bool Records6SetSession::doRun(MVDevice* device, int sessionId)
{
    return setList(*this, CommandId::Records6, device, sessionId, records, 6, MessageClass::Ack,
                   buildRecords6SetFrame);
}

bool Records6AltSetSession::doRun(MVDevice* device, int sessionId)
{
    return setList(*this, CommandId::Records6, device, sessionId, records, 6, MessageClass::AltAck,
                   buildRecords6AltSetFrame);
}

bool Records6GetSession::doRun(MVDevice* device, int sessionId)
{
    return getList(*this, CommandId::Records6, device, sessionId, keys, 2, results, buildRecords6GetFrame,
                   parseRecords6);
}

bool Records10SetSession::doRun(MVDevice* device, int sessionId)
{
    return setList(*this, CommandId::Records10, device, sessionId, records, 10, MessageClass::Ack,
                   buildRecords10SetFrame);
}

bool Records10AltSetSession::doRun(MVDevice* device, int sessionId)
{
    return setList(*this, CommandId::Records10, device, sessionId, records, 10, MessageClass::AltAck,
                   buildRecords10AltSetFrame);
}

bool Records10GetSession::doRun(MVDevice* device, int sessionId)
{
    return getList(*this, CommandId::Records10, device, sessionId, keys, 2, results, buildRecords10GetFrame,
                   parseRecords10);
}

bool PairsSetSession::doRun(MVDevice* device, int sessionId)
{
    return setList(*this, CommandId::Pairs, device, sessionId, records, 2, MessageClass::Ack,
                   buildPairsSetFrame);
}

bool Records16SetSession::doRun(MVDevice* device, int sessionId)
{
    return setList(*this, CommandId::Records16, device, sessionId, records, 16, MessageClass::Ack,
                   buildRecords16Set);
}

bool Records16AltSetSession::doRun(MVDevice* device, int sessionId)
{
    return setList(*this, CommandId::Records16, device, sessionId, records, 16, MessageClass::AltSet,
                   buildRecords16AltSet);
}

bool Records16GetSession::doRun(MVDevice* device, int sessionId)
{
    return getList(*this, CommandId::Records16, device, sessionId, keys, 4, results, buildRecords16Get,
                   parseRecords16);
}

bool BlobSetSession::doRun(MVDevice* device, int sessionId)
{
    if (data == nullptr && length > 0)
        return storeFailure(*this, SessionError::InvalidRequest);
    ReplyFrame reply;
    return storeFailure(*this,
                        exchangeFrame(*this, CommandId::Blob, device, sessionId, length <= maxBlobLength,
                                      MessageClass::Ack, reply,
                                      [&](uint8_t* frame)
                                      { return buildBlobSetFrame(sessionId, frame, data, length, value); }));
}
