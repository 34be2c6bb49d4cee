#include "commands/MessageExchange.h"

#include "commands/CommandSession.h"
#include "device/CommandFrame.h"
#include "device/MVDevice.h"
#include "device/SessionError.h"
#include "device/SevenBitPacking.h"

#include <cstring>

namespace
{
// Bytes a packed payload of n bytes decodes into.
unsigned decodedSize(unsigned packed)
{
    return packed - (packed + 7) / 8;
}
} // namespace

int MessageExchange::sendFrame(MVDevice* device, const uint8_t* frame, int length)
{
    return device->send(frame, length) < 0 ? SessionError::NoDevice : SessionError::None;
}

int MessageExchange::send(MVDevice* device, int sessionId, uint8_t messageClass, const uint8_t* payload,
                          int length) const
{
    if (const int refused = checkTarget(device, sessionId))
        return refused;
    if (length > payloadBufferSize)
        return SessionError::InvalidRequest;
    uint8_t frame[frameBufferSize] = {};
    const int frameLength =
        buildCommandFrame(static_cast<uint8_t>(sessionId), messageClass, command, payload, length, frame);
    return sendFrame(device, frame, frameLength);
}

int MessageExchange::receive(MVDevice* device, int sessionId, uint8_t expectedClass, ReplyFrame& reply) const
{
    std::memset(reply.bytes, 0, sizeof reply.bytes);
    reply.length = device->receive(static_cast<unsigned>(sessionId), reply.bytes, timeoutMs, frameBufferSize);
    // Queued messages are valid frames, so at least 7 bytes; anything shorter
    // is no reply.
    if (reply.length < 7)
        return SessionError::NoReply;
    if (getCommandFrameClass(reply.bytes) != expectedClass)
        return SessionError::WrongClass;
    if (getCommandFrameCommand(reply.bytes) != command)
        return SessionError::WrongCommand;
    return SessionError::None;
}

int MessageExchange::exchange(MVDevice* device, int sessionId, uint8_t requestClass, const uint8_t* payload,
                              int length, uint8_t replyClass, ReplyFrame& reply) const
{
    if (const int failed = send(device, sessionId, requestClass, payload, length))
        return failed;
    return receive(device, sessionId, replyClass, reply);
}

int MessageExchange::decodePayload(const ReplyFrame& reply, Payload& out, unsigned& length)
{
    if (reply.length < 7)
        return SessionError::BadLength;
    const unsigned packed = static_cast<unsigned>(reply.length) - 7;
    if (decodedSize(packed) > static_cast<unsigned>(payloadBufferSize))
        return SessionError::BadLength;
    std::memset(out, 0, sizeof out);
    length = decodeSevenBit(reply.bytes + getCommandFrameHeaderSize(), out, packed);
    return SessionError::None;
}

namespace
{
// Packs a body into payload; 17 when it refuses or reports more than fits.
int packBody(mvmsgpack::CAbstractMessage& body, MessageExchange::Payload& payload, const uint8_t*& out,
             unsigned& outLength)
{
    std::memset(payload, 0, sizeof payload);
    uint8_t* packed = nullptr;
    outLength = 0;
    if (!body.pack(payload, sizeof payload, &packed, &outLength))
        return SessionError::InvalidRequest;
    if (packed == nullptr)
        outLength = 0;
    else if (packed < payload || outLength > static_cast<unsigned>(payload + sizeof payload - packed))
        return SessionError::InvalidRequest;
    out = packed;
    return SessionError::None;
}
} // namespace

namespace
{
// Packs the request body into payload and runs the exchange.
int exchangeBody(const MessageExchange& exchange, MVDevice* device, int sessionId,
                 mvmsgpack::CAbstractMessage& request, uint8_t requestClass, uint8_t replyClass,
                 MessageExchange::Payload& payload, ReplyFrame& reply)
{
    if (const int refused = checkTarget(device, sessionId))
        return refused;
    const uint8_t* body = nullptr;
    unsigned bodyLength = 0;
    if (const int refused = packBody(request, payload, body, bodyLength))
        return refused;
    return exchange.exchange(device, sessionId, requestClass, body, static_cast<int>(bodyLength), replyClass,
                             reply);
}
} // namespace

int MessageExchange::set(MVDevice* device, int sessionId, mvmsgpack::CAbstractMessage& request) const
{
    Payload payload;
    ReplyFrame reply;
    return exchangeBody(*this, device, sessionId, request, MessageClass::Set, MessageClass::Ack, payload,
                        reply);
}

int MessageExchange::get(MVDevice* device, int sessionId, mvmsgpack::CAbstractMessage& request,
                         mvmsgpack::CAbstractMessage& reply) const
{
    Payload payload;
    ReplyFrame frame;
    if (const int failed = exchangeBody(*this, device, sessionId, request, MessageClass::Get,
                                        MessageClass::Data, payload, frame))
        return failed;
    unsigned decoded = 0;
    if (const int failed = decodePayload(frame, payload, decoded))
        return failed;
    return reply.unpack(payload, decoded) ? SessionError::None : SessionError::UnpackFailed;
}

int MessageExchange::setByte(MVDevice* device, int sessionId, const uint8_t* value) const
{
    if (value == nullptr)
        return SessionError::InvalidRequest;
    ReplyFrame reply;
    return exchange(device, sessionId, MessageClass::Set, value, 1, MessageClass::Ack, reply);
}
