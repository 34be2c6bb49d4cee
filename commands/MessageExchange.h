#pragma once

// The request-and-reply step shared by every amplifier command. A request is
// built into a 1024-byte frame buffer and sent whole; its body is packed into
// a 768-byte buffer first. The reply is the next message on the session id,
// received into a 1024-byte buffer; its class and command are checked, and a
// payload that is read is decoded into a 768-byte buffer. All buffers live on
// the stack: an exchange allocates nothing.
//
// Every operation returns a SessionError code (0 on success):
//   17 null device, session id outside 0-63, or a request that cannot be built;
//    8 the device reported the send as failed (-1);
//    1 no reply within the timeout (or the reply did not fit 1024 bytes);
//    2 the reply's class is not the expected one;
//    3 the reply's command is not the request's;
//    7 a reply payload that decodes to more than 768 bytes (frame over 885);
//   18 (get) the reply body did not unpack.

#include "commands/CommandLimits.h"
#include "device/CAbstractMessage.h"

#include <cstdint>

class MVDevice;

// The bytes of one received reply frame.
struct ReplyFrame
{
    uint8_t bytes[frameBufferSize];
    int length;
};

class MessageExchange
{
public:
    using Payload = uint8_t[payloadBufferSize];

    MessageExchange(uint8_t command_, int timeoutMs_) : command(command_), timeoutMs(timeoutMs_) {}

    // Set with the packed request body; the reply must be an Ack. Its payload
    // is not read.
    int set(MVDevice* device, int sessionId, mvmsgpack::CAbstractMessage& request) const;
    // Get with the packed request body; the reply must be Data, and its
    // payload is unpacked into reply.
    int get(MVDevice* device, int sessionId, mvmsgpack::CAbstractMessage& request,
            mvmsgpack::CAbstractMessage& reply) const;
    // Set whose payload is the one byte at value (17 for a null pointer); the
    // reply must be an Ack.
    int setByte(MVDevice* device, int sessionId, const uint8_t* value) const;

    // The steps the commands build on.

    // Frames the payload (at most payloadBufferSize bytes; none for a null
    // payload or a length of 0) with the exchange's command and sends it.
    int send(MVDevice* device, int sessionId, uint8_t messageClass, const uint8_t* payload, int length) const;
    // Sends a complete frame: 8 when the device reports -1, else 0.
    static int sendFrame(MVDevice* device, const uint8_t* frame, int length);
    // Waits for the next reply on the id and checks its class and command.
    int receive(MVDevice* device, int sessionId, uint8_t expectedClass, ReplyFrame& reply) const;
    // send, then receive.
    int exchange(MVDevice* device, int sessionId, uint8_t requestClass, const uint8_t* payload, int length,
                 uint8_t replyClass, ReplyFrame& reply) const;
    // Decodes the reply's payload into out, zeroed first, and sets length to
    // the count decoded. A payload that would decode to more than
    // payloadBufferSize bytes leaves 7 with out untouched.
    static int decodePayload(const ReplyFrame& reply, Payload& out, unsigned& length);

    uint8_t command;
    int timeoutMs;
};
