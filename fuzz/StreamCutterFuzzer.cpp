// The receive stream cutter with routing. The first byte picks how the rest is
// split into input callbacks; every message must reach the right place, and
// cutting must not depend on the split.
#include "device/CommandFrame.h"
#include "device/MVDevice.h"
#include "tests/device/ReferenceCut.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
class FuzzDevice : public MVDevice
{
public:
    bool open() override { return true; }
    void close() override {}
    int writeRaw(const uint8_t*, int length) override { return length; }
};

struct Collector : mvhw::MVDeviceEventDelegate
{
    void handleMessage(const uint8_t* m, int n) override
    {
        if (m == nullptr || n <= 0)
            std::abort();
        messages.emplace_back(m, m + n);
    }
    void handleSysex(const uint8_t* m, int n) override
    {
        if (n <= 0 || m[0] != 0xF0 || m[n - 1] == 0)
            std::abort();
        ++sysex;
    }
    std::vector<std::vector<uint8_t>> messages;
    int sysex = 0;
};

bool isBootloaderReply(const std::vector<uint8_t>& m)
{
    for (const char* keyword : {"RetFwStatus", "RetFwInfo", "RetWriteFlash"})
    {
        const std::size_t k = std::strlen(keyword);
        if (m.size() > k + 1 && std::memcmp(m.data() + 1, keyword, k) == 0)
            return true;
    }
    return false;
}

struct Outcome
{
    std::vector<std::vector<uint8_t>> queued[MVDevice::sessionCount];
    std::vector<std::vector<uint8_t>> delegated;
    std::size_t left = 0;
};

Outcome run(const uint8_t* data, std::size_t size, std::size_t chunk)
{
    FuzzDevice device;
    Collector collector;
    device.setEventDelegate(&collector);
    // Ids 0 (own) to 5 in use, 3 released again.
    for (int i = 0; i < 5; ++i)
        device.acquireSessionId();
    device.releaseSessionId(3);

    for (std::size_t pos = 0; pos < size; pos += chunk)
    {
        const std::size_t n = size - pos < chunk ? size - pos : chunk;
        device.appendReceivedBytes(data + pos, static_cast<int>(n));
        if (device.getReceiveBufferSize() > StreamCutter::bufferLimit)
            std::abort();
    }

    Outcome out;
    static std::vector<uint8_t> buffer(MVQueue::maxBytes);
    for (unsigned id = 0; id < MVDevice::sessionCount; ++id)
    {
        for (int n; (n = device.receive(id, buffer.data(), -1, int(buffer.size()))) >= 0;)
        {
            const std::vector<uint8_t> m(buffer.data(), buffer.data() + n);
            const bool frameForId =
                validateCommandFrame(m.data(), m.size()) && getCommandFrameSessionId(m.data()) == id;
            if (!(frameForId || (id == 0 && isBootloaderReply(m))) || id == 3 || id > 5)
                std::abort();
            out.queued[id].push_back(m);
        }
    }
    for (const auto& m : collector.messages)
    {
        if (isBootloaderReply(m))
            std::abort();
        if (validateCommandFrame(m.data(), m.size()) && getCommandFrameSessionId(m.data()) < 64)
            std::abort();
    }
    out.delegated = collector.messages;
    out.left = device.getReceiveBufferSize();
    return out;
}

// Every message, in order, that the reference cut finds in the whole stream,
// each routed alone, and the bytes left after the last one.
Outcome reference(const uint8_t* data, std::size_t size)
{
    Outcome out;
    for (const auto& m : stream_reference::referenceCut(std::vector<uint8_t>(data, data + size), out.left))
    {
        const Outcome one = run(m.data(), m.size(), m.size());
        for (unsigned id = 0; id < MVDevice::sessionCount; ++id)
            out.queued[id].insert(out.queued[id].end(), one.queued[id].begin(), one.queued[id].end());
        out.delegated.insert(out.delegated.end(), one.delegated.begin(), one.delegated.end());
    }
    return out;
}

bool operator!=(const Outcome& a, const Outcome& b)
{
    for (unsigned id = 0; id < MVDevice::sessionCount; ++id)
        if (a.queued[id] != b.queued[id])
            return true;
    return a.delegated != b.delegated || a.left != b.left;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 4 * StreamCutter::bufferLimit)
        return 0;
    const std::size_t chunk = 1 + data[0] % 64;
    const Outcome split = run(data + 1, size - 1, chunk);
    // Past the buffer's limit what is kept depends on where the pieces end;
    // below it the cut must not.
    if (size - 1 > StreamCutter::bufferLimit)
        return 0;
    const Outcome whole = run(data + 1, size - 1, size);
    if (whole != split)
        std::abort();
    // Small enough that no queue reaches its limit.
    if (size - 1 <= 1500 && whole != reference(data + 1, size - 1))
        std::abort();
    return 0;
}
