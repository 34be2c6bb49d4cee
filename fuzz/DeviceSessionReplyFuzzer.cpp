// A command session's whole reply path: the request goes out, the input comes
// back as the amplifier's bytes, in pieces, through the stream cutter and the
// routing into the session's queue, then the codec and the reply body. Byte 0
// picks the session and the piece size; the rest is what the amplifier sends.
#include "device/GenericDeviceSession.h"
#include "device/MVDevice.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace
{

class FuzzDevice : public MVDevice
{
public:
    FuzzDevice(const uint8_t* data_, size_t size_, size_t piece_) : data(data_), size(size_), piece(piece_) {}
    bool open() override { return true; }
    void close() override {}
    int writeRaw(const uint8_t*, int length) override
    {
        // The reply may name the request's session: byte 2 of each frame is
        // whatever the input says, so replies also reach other ids or none.
        for (size_t at = 0; at < size; at += piece)
            appendReceivedBytes(data + at, int(size - at < piece ? size - at : piece));
        return length;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t piece;
};

template <typename Session> void runSession(MVDevice& device)
{
    auto session = std::make_shared<Session>(0);
    session->timeoutMs = -1; // only what the input queued
    try
    {
        session->run(&device);
    }
    catch (const std::runtime_error&)
    {
    }
    // The reply text comes from one frame of at most the receive buffer.
    if (session->replyPacker.value.size() > Session::bufferSize)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 8192)
        return 0;
    const size_t piece = 1 + (data[0] >> 1) % 64;
    FuzzDevice device(data + 1, size - 1, piece);
    if (data[0] & 1)
        runSession<SerialNumberSession>(device);
    else
        runSession<Command17Session>(device);
    // Every id the session took is free again.
    for (int i = 1; i < MVDevice::sessionCount; ++i)
        if (device.acquireSessionId() < 0)
            std::abort();
    return 0;
}
