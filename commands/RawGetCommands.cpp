#include "commands/RawGetCommands.h"

#include "commands/MessageExchange.h"
#include "device/CommandFrame.h"
#include "device/SessionError.h"

namespace
{

// Get of command with the request payload; on success the decoded reply
// payload is in payload and its length in length.
int rawGet(const MVDeviceSession& session, uint8_t command, MVDevice* device, int sessionId,
           const uint8_t* request, int requestLength, MessageExchange::Payload& payload, unsigned& length)
{
    ReplyFrame reply;
    if (const int failed = MessageExchange(command, session.timeoutMs)
                               .exchange(device, sessionId, MessageClass::Get, request, requestLength,
                                         MessageClass::Data, reply))
        return failed;
    return MessageExchange::decodePayload(reply, payload, length);
}

uint32_t readLittleEndian(const uint8_t* in)
{
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

} // namespace

bool Query22GetSession::doRun(MVDevice* device, int sessionId)
{
    const uint8_t request[4] = {static_cast<uint8_t>(query), static_cast<uint8_t>(query >> 8),
                                static_cast<uint8_t>(query >> 16), static_cast<uint8_t>(query >> 24)};
    MessageExchange::Payload payload;
    unsigned length = 0;
    if (const int failed = rawGet(*this, CommandId::Query22, device, sessionId, request, 4, payload, length))
        return storeFailure(*this, failed);
    value = payload[0];
    return true;
}

bool Value25GetSession::doRun(MVDevice* device, int sessionId)
{
    MessageExchange::Payload payload;
    unsigned length = 0;
    if (const int failed = rawGet(*this, CommandId::Value25, device, sessionId, nullptr, 0, payload, length))
        return storeFailure(*this, failed);
    value = payload[0];
    return true;
}

bool Values32GetSession::doRun(MVDevice* device, int sessionId)
{
    MessageExchange::Payload payload;
    unsigned length = 0;
    if (const int failed = rawGet(*this, CommandId::Values32, device, sessionId, nullptr, 0, payload, length))
        return storeFailure(*this, failed);
    first = readLittleEndian(payload);
    second = readLittleEndian(payload + 4);
    return true;
}

bool Value33GetSession::doRun(MVDevice* device, int sessionId)
{
    MessageExchange::Payload payload;
    unsigned length = 0;
    if (const int failed = rawGet(*this, CommandId::Value33, device, sessionId, nullptr, 0, payload, length))
        return storeFailure(*this, failed);
    value = readLittleEndian(payload);
    return true;
}

bool Values40GetSession::doRun(MVDevice* device, int sessionId)
{
    MessageExchange::Payload payload;
    unsigned length = 0;
    if (const int failed = rawGet(*this, CommandId::Values40, device, sessionId, nullptr, 0, payload, length))
        return storeFailure(*this, failed);
    first = readLittleEndian(payload);
    second = readLittleEndian(payload + 4);
    third = readLittleEndian(payload + 8);
    return true;
}

bool Byte50GetSession::doRun(MVDevice* device, int sessionId)
{
    MessageExchange::Payload payload;
    unsigned length = 0;
    if (const int failed = rawGet(*this, CommandId::Byte50, device, sessionId, nullptr, 0, payload, length))
        return storeFailure(*this, failed);
    if (length != 1)
        return storeFailure(*this, SessionError::BadLength);
    value = payload[0];
    return true;
}
