#pragma once

#include "device/CAbstractMessage.h"
#include "device/MVDevice.h"
#include "device/MVDeviceSession.h"
#include "device/MessageCodec.h"
#include "device/StdStringPacker.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace mv
{

// One side of an exchange: a message class and a command, kept as two bytes.
template <uint8_t MessageClassValue, uint8_t CommandValue> struct SessionOperationCode
{
    static constexpr uint8_t messageClassValue = MessageClassValue;
    static constexpr uint8_t commandValue = CommandValue;

    uint8_t messageClass = MessageClassValue;
    uint8_t command = CommandValue;
};

// A command-frame request with one body and one reply body. The request is
// framed with MavoSeriesStackCodec on the session's id; the reply is the next
// message on that id, whatever its class and command: only its checksum is
// checked. Instances are always owned by a std::shared_ptr.
//
// doRun never returns false; it throws std::runtime_error with
// "Message pack failed", "Device reading timeout", "checksum mismatched"
// or "Message unpack failed" (MVDeviceSession::run passes them on).
template <typename RequestOp, typename RequestBody, typename ReplyOp, typename ReplyBody, int Variant>
class GenericDeviceSession : public MVDeviceSession,
                             public std::enable_shared_from_this<
                                 GenericDeviceSession<RequestOp, RequestBody, ReplyOp, ReplyBody, Variant>>
{
public:
    static constexpr unsigned bufferSize = 1024;

    explicit GenericDeviceSession(int timeoutMs_ = defaultTimeoutMs) : MVDeviceSession(timeoutMs_) {}

    bool doRun(MVDevice* device, int sessionId) override
    {
        std::vector<uint8_t> request(bufferSize, 0);
        uint8_t* out = nullptr;
        unsigned outLength = 0;
        if (!requestMessage.pack(request.data(), bufferSize, &out, &outLength) || outLength > bufferSize)
            throw std::runtime_error("Message pack failed");
        // A body may pack anywhere inside the buffer; take its bytes from out.
        std::vector<uint8_t> body;
        if (out != nullptr && outLength > 0)
            body.assign(out, out + outLength);

        const auto id = static_cast<uint8_t>(sessionId);
        MavoSeriesStackCodec requestCodec(id, requestOp.messageClass, requestOp.command);
        const std::vector<uint8_t> frame = requestCodec.encode(body);
        device->send(frame.data(), static_cast<int>(frame.size()));

        std::vector<uint8_t> reply(bufferSize, 0);
        const int received = device->receive(static_cast<unsigned>(sessionId), reply.data(), timeoutMs,
                                             static_cast<int>(bufferSize));
        if (received < 0)
            throw std::runtime_error("Device reading timeout");
        reply.resize(static_cast<std::size_t>(received));

        MavoSeriesStackCodec replyCodec(id, replyOp.messageClass, replyOp.command);
        const std::vector<uint8_t> payload = replyCodec.decode(reply);
        if (!replyPacker.unpack(payload.data(), static_cast<unsigned>(payload.size())))
            throw std::runtime_error("Message unpack failed");
        return true;
    }

    RequestOp requestOp;
    RequestBody requestMessage;
    ReplyOp replyOp;
    ReplyBody replyPacker;
};

} // namespace mv

// Reads the device's command-17 string: Get 17, answered by Data 17.
using Command17Session =
    mv::GenericDeviceSession<mv::SessionOperationCode<2, 17>, mvmsgpack::CNull,
                             mv::SessionOperationCode<3, 17>, bootloader::StdStringPacker, 1>;

// Reads the device's serial number: Get 35; the reply's class is not compared.
using SerialNumberSession =
    mv::GenericDeviceSession<mv::SessionOperationCode<2, 35>, mvmsgpack::CNull,
                             mv::SessionOperationCode<2, 35>, bootloader::StdStringPacker, 1>;

// A new serial-number session with timeout 3000, owned by a shared pointer.
inline std::shared_ptr<SerialNumberSession> createSerialNumberSession()
{
    return std::shared_ptr<SerialNumberSession>(new SerialNumberSession(MVDeviceSession::defaultTimeoutMs));
}
