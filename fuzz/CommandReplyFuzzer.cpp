// Every reply path of the command library fed arbitrary replies through a
// device whose stream cutter and routing are the real ones. Byte 0 picks the
// command; the rest is a run of replies, each
//   selector, command byte, length (2 bytes, little-endian), payload
// framed as a command frame on the request's session id: a selector below
// 0x80 gives the expected class (else its low 3 bits), a command byte below
// 0x80 the request's command (else its low 7 bits). Payloads up to 1,200
// bytes give frames beyond 1024 bytes.
#include "commands/BlockTransfer.h"
#include "commands/MessageCommands.h"
#include "commands/MessageExchange.h"
#include "commands/MessagePackMessages.h"
#include "commands/RawGetCommands.h"
#include "commands/RecordCommands.h"
#include "device/CommandFrame.h"
#include "device/MVDevice.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

// Delivers every reply of the input when the first request is sent.
class FuzzDevice : public MVDevice
{
public:
    FuzzDevice(const uint8_t* data_, std::size_t size_) : data(data_), size(size_) {}
    bool open() override { return true; }
    void close() override {}
    int writeRaw(const uint8_t* request, int length) override
    {
        if (sends++ > 0 || length < 7)
            return length;
        const uint8_t sessionId = request[2];
        const uint8_t command = request[5];
        const uint8_t expectedClass =
            request[4] == MessageClass::Get ? MessageClass::Data : MessageClass::Ack;
        std::vector<uint8_t> frame(4096);
        std::size_t at = 0;
        while (size - at >= 4)
        {
            const uint8_t selector = data[at];
            const uint8_t commandByte = data[at + 1];
            std::size_t n = std::size_t(data[at + 2]) | std::size_t(data[at + 3]) << 8;
            at += 4;
            n = std::min({n, size - at, std::size_t(1200)});
            const uint8_t cls = selector < 0x80 ? expectedClass : uint8_t(selector & 7);
            const uint8_t cmd = commandByte < 0x80 ? command : uint8_t(commandByte & 0x7F);
            const int frameLength = buildCommandFrame(sessionId, cls, cmd, data + at, int(n), frame.data());
            appendReceivedBytes(frame.data(), frameLength);
            at += n;
        }
        return length;
    }

    const uint8_t* data;
    std::size_t size;
    int sends = 0;
};

// A negative timeout: a receive ends at once when nothing is queued.
constexpr int noWait = -1;

template <typename Session> void runSession(Session& session, FuzzDevice& device)
{
    session.timeoutMs = noWait;
    session.run(&device);
}

template <typename Body> void exchangeGet(FuzzDevice& device)
{
    mvmsgpack::CNull request;
    Body reply;
    const int id = device.acquireSessionId();
    const int code = MessageExchange(CommandId::DspParam, noWait).get(&device, id, request, reply);
    if (code < 0 || code > 18)
        std::abort();
    device.releaseSessionId(unsigned(id));
}

template <typename Session> void recordGet(FuzzDevice& device)
{
    Session session;
    session.keys.resize(2);
    session.results.resize(1);
    runSession(session, device);
    if (session.error != 0 && !session.results.empty())
        std::abort(); // a failed Get leaves no results
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The message layer's lines for unpackable replies.
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t op = data[0] % 22;
    FuzzDevice device(data + 1, size - 1);
    switch (op)
    {
        case 0:
        {
            DspParamGetSession s;
            s.moduleId = "amp";
            runSession(s, device);
            break;
        }
        case 1:
        {
            DspOnOffGetSession s;
            s.moduleId = "amp";
            runSession(s, device);
            break;
        }
        case 2:
        {
            Int32ArrayGetSession s;
            s.keys = {1, 2, 3};
            runSession(s, device);
            // One entry per key on success, none on failure.
            if (s.entries.size() != (s.error == 0 ? 3u : 0u))
                std::abort();
            break;
        }
        case 3:
            exchangeGet<mvmsgpack::CSwitchPreset>(device);
            break;
        case 4:
            exchangeGet<mvmsgpack::CReplaceDspModule>(device);
            break;
        case 5:
            exchangeGet<mvmsgpack::CSetDspOnOff>(device);
            break;
        case 6:
            exchangeGet<mvmsgpack::CGetDspParam>(device);
            break;
        case 7:
            exchangeGet<mvmsgpack::CSetDspParam>(device);
            break;
        case 8:
            exchangeGet<mvmsgpack::CString>(device);
            break;
        case 9:
            exchangeGet<mvmsgpack::CFloat>(device);
            break;
        case 10:
            exchangeGet<mvmsgpack::CBool>(device);
            break;
        case 11:
            exchangeGet<mvmsgpack::CInt32Array>(device);
            break;
        case 12:
        {
            Query22GetSession s;
            runSession(s, device);
            break;
        }
        case 13:
        {
            Value25GetSession s;
            runSession(s, device);
            break;
        }
        case 14:
        {
            Values32GetSession s;
            runSession(s, device);
            break;
        }
        case 15:
        {
            Value33GetSession s;
            runSession(s, device);
            break;
        }
        case 16:
        {
            Values40GetSession s;
            runSession(s, device);
            break;
        }
        case 17:
        {
            Byte50GetSession s;
            s.value = 0x5A;
            runSession(s, device);
            if (s.error != 0 && s.value != 0x5A)
                std::abort();
            break;
        }
        case 18:
            recordGet<Records6GetSession>(device);
            break;
        case 19:
            recordGet<Records10GetSession>(device);
            break;
        case 20:
            recordGet<Records16GetSession>(device);
            break;
        default:
        {
            BlockReadSession s;
            s.addressA = 1;
            s.addressB = 2;
            s.block = {7};
            runSession(s, device);
            if (s.error != 0 && s.block != std::vector<uint8_t>{7})
                std::abort(); // a failed read keeps the old block
            break;
        }
    }
    return 0;
}
