// The bootloader's reply parsing behind the receive stream cutter: the input
// is cut into callbacks, routed by the device and awaited by readFwStatus,
// readFwInfo or the flash loop, exactly as bytes from the amplifier would be.
// Byte 0 picks the operation, byte 1 the size of the pieces fed per request.
#include "device/Bootloader.h"
#include "device/FirmwareUpdateSession.h"
#include "device/MVDevice.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

// Feeds the next piece of the input every time the host sends a request.
class FuzzDevice : public MVDevice
{
public:
    FuzzDevice(const uint8_t* data_, std::size_t size_, std::size_t piece_)
        : data(data_), size(size_), piece(piece_)
    {
    }
    bool open() override { return true; }
    void close() override {}
    int writeRaw(const uint8_t*, int length) override
    {
        ++sends;
        const std::size_t n = std::min(piece, size - at);
        if (n > 0)
            appendReceivedBytes(data + at, int(n));
        at += n;
        return length;
    }

    const uint8_t* data;
    std::size_t size;
    std::size_t piece;
    std::size_t at = 0;
    int sends = 0;
};

// The block's bytes from index from on are all zero.
bool zeroFrom(const FirmwareInfoBlock& info, int from)
{
    uint8_t bytes[FirmwareInfoBlock::size];
    encodeFirmwareInfoBlock(info, bytes);
    for (int i = from; i < int(FirmwareInfoBlock::size); ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

void checkProgress(MVDevice*, FirmwareUpdateSession*, int percent, void* user)
{
    int& last = *static_cast<int*>(user);
    if (percent < last || percent > 100)
        std::abort();
    last = percent;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // readFwInfo's progress lines.
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t mode = data[0] % 3;
    const std::size_t piece = std::size_t(data[1]) + 1;
    data += 2;
    size -= 2;

    // The parsers on the raw bytes: never beyond the message, and a block
    // holds nothing beyond the bytes the reply carried.
    FirmwareInfoBlock direct;
    const int decoded = bootloader::decodeRetFwInfo(data, int(size), &direct);
    if (decoded < -1 || decoded > bootloader::bufferSize || !zeroFrom(direct, decoded < 0 ? 0 : decoded))
        std::abort();
    const int result = bootloader::retWriteFlashResult(data, int(size));
    if (result < 0 || result > 255)
        std::abort();

    FuzzDevice device(data, size, piece);
    uint8_t tx[bootloader::bufferSize];
    uint8_t rx[bootloader::bufferSize];
    // A short, finite deadline: a wait that never ends shows as a timeout.
    constexpr int replyWaitMs = 1;
    if (mode == 0)
    {
        uint8_t status = 0;
        readFwStatus(&device, device.getOwnSessionId(), tx, rx, &status, replyWaitMs);
    }
    else if (mode == 1)
    {
        FirmwareInfoBlock info;
        int infoBytes = -1;
        const bool ok = readFwInfo(&device, device.getOwnSessionId(), tx, rx, &info, replyWaitMs, &infoBytes);
        // A failed read leaves the block zeroed and reports no bytes.
        if (infoBytes < 0 || (!ok && infoBytes != 0) || !zeroFrom(info, infoBytes))
            std::abort();
    }
    else
    {
        static const std::vector<uint8_t> image = []
        {
            std::vector<uint8_t> v(700);
            for (std::size_t i = 0; i < v.size(); ++i)
                v[i] = uint8_t(i * 37);
            return v;
        }();
        FirmwareUpdateSession session;
        session.timeoutMs = replyWaitMs;
        int last = 0;
        session.setProgressCallback(checkProgress, &last);
        const bool ok =
            session.flashImage(&device, device.getOwnSessionId(), image.data(), int64_t(image.size()));
        // Three blocks need at least three sends and at most six. Replies
        // are skipped for naming another block only once blocks 0 and 1
        // showed that the amplifier echoes offsets.
        if (device.sends > 6 || (ok && (device.sends < 3 || last != 100)) ||
            session.staleRepliesSkipped < 0 || (!session.offsetsEchoed && session.staleRepliesSkipped != 0))
            std::abort();
    }
    return 0;
}
