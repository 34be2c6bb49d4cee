#include "commands/PackedSetCommands.h"

#include "commands/CommandSession.h"
#include "commands/MessageExchange.h"
#include "common/LittleEndianWord.h"
#include "device/CommandFrame.h"
#include "device/SessionError.h"

#include <cstring>

namespace
{

// Set of command with the payload, answered by Ack; the code.
int setPayload(const MVDeviceSession& session, uint8_t command, MVDevice* device, int sessionId,
               const uint8_t* payload, int length)
{
    ReplyFrame reply;
    return MessageExchange(command, session.timeoutMs)
        .exchange(device, sessionId, MessageClass::Set, payload, length, MessageClass::Ack, reply);
}

bool isByte(int value)
{
    return value >= 0 && value <= 255;
}

} // namespace

bool Bytes49SetSession::doRun(MVDevice* device, int sessionId)
{
    uint8_t payload[7] = {0x06};
    writeLe(payload + 1, a, 4);
    writeLe(payload + 5, b, 2);
    return storeFailure(*this, setPayload(*this, CommandId::Bytes49, device, sessionId, payload, 7));
}

bool Byte50SetSession::doRun(MVDevice* device, int sessionId)
{
    return storeFailure(*this, setPayload(*this, CommandId::Byte50, device, sessionId, &value, 1));
}

bool Bytes51SetSession::doRun(MVDevice* device, int sessionId)
{
    const uint8_t payload[2] = {first, second};
    return storeResult(*this, setPayload(*this, CommandId::Bytes51, device, sessionId, payload, 2));
}

bool Bytes57SetSession::doRun(MVDevice* device, int sessionId)
{
    if (second > 65535)
        return storeResult(*this, SessionError::InvalidRequest);
    uint8_t payload[8] = {first, 0};
    writeLe(payload + 2, static_cast<uint32_t>(second), 2);
    uint32_t bits = 0;
    std::memcpy(&bits, &third, sizeof bits);
    writeLe(payload + 4, bits, 4);
    return storeResult(*this, setPayload(*this, CommandId::Bytes57, device, sessionId, payload, 8));
}

bool Bytes61SetSession::doRun(MVDevice* device, int sessionId)
{
    return storeResult(*this, setPayload(*this, CommandId::Bytes61, device, sessionId, bytes, 2));
}

bool Bytes63SetSession::doRun(MVDevice* device, int sessionId)
{
    return storeResult(*this, setPayload(*this, CommandId::Bytes63, device, sessionId, bytes, 4));
}

bool Byte80SetSession::doRun(MVDevice* device, int sessionId)
{
    return storeFailure(*this, setPayload(*this, CommandId::Byte80, device, sessionId, &value, 1));
}

bool Flag81SetSession::doRun(MVDevice* device, int sessionId)
{
    if (value >= 2)
        return storeFailure(*this, SessionError::InvalidRequest);
    return storeFailure(*this, setPayload(*this, CommandId::Flag81, device, sessionId, &value, 1));
}

bool Bytes82SetSession::doRun(MVDevice* device, int sessionId)
{
    if (!isByte(first) || !isByte(second) || !isByte(third))
        return storeFailure(*this, SessionError::InvalidRequest);
    const uint8_t payload[3] = {static_cast<uint8_t>(first), static_cast<uint8_t>(third),
                                static_cast<uint8_t>(second)};
    return storeFailure(*this, setPayload(*this, CommandId::Bytes82, device, sessionId, payload, 3));
}
