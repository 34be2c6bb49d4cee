// 7-bit packing beside memcpy of the same bytes, and the receive stream
// cutter on a stream of 300-byte command frames.
#include "device/CommandFrame.h"
#include "device/MVDevice.h"
#include "device/SevenBitPacking.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace
{
std::vector<uint8_t> randomBytes(std::size_t n)
{
    std::mt19937 rng(1234);
    std::vector<uint8_t> out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

class NullDevice : public MVDevice
{
public:
    bool open() override { return true; }
    void close() override {}
    int writeRaw(const uint8_t*, int length) override { return length; }
};

// 256 raw bytes pack into 293, plus 7 bytes of envelope.
constexpr int framePayload = 256;
constexpr int frameSize = 300;
constexpr int framesPerIteration = 64;

std::vector<uint8_t> frameStream(uint8_t sessionId)
{
    const std::vector<uint8_t> payload = randomBytes(framePayload);
    std::vector<uint8_t> stream;
    uint8_t frame[1024];
    for (int i = 0; i < framesPerIteration; ++i)
    {
        const int n =
            buildCommandFrame(sessionId, MessageClass::Data, 36, payload.data(), framePayload, frame);
        stream.insert(stream.end(), frame, frame + n);
    }
    return stream;
}
} // namespace

// Throughput is counted in raw (unpacked) bytes for all three.
static void BM_Memcpy(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<uint8_t> in = randomBytes(n);
    std::vector<uint8_t> out(n);
    for (auto _ : state)
    {
        std::memcpy(out.data(), in.data(), n);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}
BENCHMARK(BM_Memcpy)->Arg(889)->Arg(64 * 1024);

static void BM_EncodeSevenBit(benchmark::State& state)
{
    const auto n = static_cast<int>(state.range(0));
    const std::vector<uint8_t> in = randomBytes(static_cast<std::size_t>(n));
    std::vector<uint8_t> out(static_cast<std::size_t>(n + (n + 6) / 7));
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(encodeSevenBit(out.data(), in.data(), n));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_EncodeSevenBit)->Arg(889)->Arg(64 * 1024);

static void BM_DecodeSevenBit(benchmark::State& state)
{
    const auto n = static_cast<int>(state.range(0));
    const std::vector<uint8_t> raw = randomBytes(static_cast<std::size_t>(n));
    std::vector<uint8_t> packed(static_cast<std::size_t>(n + (n + 6) / 7));
    const int m = encodeSevenBit(packed.data(), raw.data(), n);
    std::vector<uint8_t> out(static_cast<std::size_t>(n));
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(decodeSevenBit(packed.data(), out.data(), static_cast<unsigned>(m)));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_DecodeSevenBit)->Arg(889)->Arg(64 * 1024);

// Frames fed in callbacks of range(0) bytes. range(1) = 1: the frames go to a
// session queue and are received; 0: their id is not in use and they are
// dropped after validation.
static void BM_StreamCutter(benchmark::State& state)
{
    const int chunk = static_cast<int>(state.range(0));
    const bool queued = state.range(1) != 0;
    NullDevice device;
    const int id = device.acquireSessionId();
    const std::vector<uint8_t> stream = frameStream(static_cast<uint8_t>(queued ? id : 9));
    const int size = static_cast<int>(stream.size());
    uint8_t reply[1024];
    for (auto _ : state)
    {
        for (int pos = 0; pos < size; pos += chunk)
            device.appendReceivedBytes(stream.data() + pos, std::min(chunk, size - pos));
        if (queued)
            for (int i = 0; i < framesPerIteration; ++i)
                benchmark::DoNotOptimize(device.receive(static_cast<unsigned>(id), reply, -1, sizeof reply));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * framesPerIteration, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StreamCutter)
    ->ArgNames({"chunk", "queued"})
    ->Args({frameSize, 0})
    ->Args({frameSize, 1})
    ->Args({1, 1})
    ->Args({3, 1})
    ->Args({64, 1})
    ->Args({frameSize * framesPerIteration, 1});

// One SysEx message of range(0) bytes arriving a byte at a time: every byte
// is scanned once, however long the message still to be completed.
static void BM_StreamCutterLongMessage(benchmark::State& state)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    std::vector<uint8_t> message(size, 0x11);
    message.front() = 0xF0;
    message.back() = 0xF7;
    NullDevice device;
    for (auto _ : state)
        for (const uint8_t& byte : message)
            device.appendReceivedBytes(&byte, 1);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(BM_StreamCutterLongMessage)->Arg(60 * 1024);

BENCHMARK_MAIN();
