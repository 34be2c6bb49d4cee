// The command library without a link: frame builders, packers and reply
// parsers in frames per second, and the fixed-payload commands on a device
// that answers at once from a prebuilt reply. Every benchmark reports the
// heap allocations per iteration ("allocs"). The commands run on a session id
// held across runs (doRun); Transport is what the device link itself
// allocates for one request and its reply (the queue's copy of the reply),
// which every command run includes. MVDeviceSession::run adds a fresh queue
// for the session id it takes.
#include "AllocationCounting.h"

#include "commands/BlockTransfer.h"
#include "commands/MessageCommands.h"
#include "commands/PackedSetCommands.h"
#include "commands/RawGetCommands.h"
#include "commands/RecordCommands.h"
#include "commands/RecordLists.h"
#include "device/CommandFrame.h"
#include "device/MVDevice.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace
{

// Answers every request at once with the reply frame given, on the request's
// session id (the frame's checksum does not cover it).
class AnsweringDevice : public MVDevice
{
public:
    explicit AnsweringDevice(std::vector<uint8_t> reply_) : reply(std::move(reply_)) {}
    bool open() override { return true; }
    void close() override {}
    int writeRaw(const uint8_t* request, int length) override
    {
        reply[2] = request[2];
        appendReceivedBytes(reply.data(), int(reply.size()));
        return length;
    }

    std::vector<uint8_t> reply;
};

std::vector<uint8_t> replyFrame(uint8_t cls, uint8_t command, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> frame(1024);
    frame.resize(
        size_t(buildCommandFrame(0, cls, command, payload.data(), int(payload.size()), frame.data())));
    return frame;
}

std::vector<SixByteRecord> sixRecords(size_t n)
{
    std::vector<SixByteRecord> r(n);
    for (size_t i = 0; i < n; ++i)
        r[i] = {uint8_t(i), uint8_t(~i), uint32_t(i * 0x01010101u)};
    return r;
}

void countFrames(benchmark::State& state)
{
    state.counters["frames_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BuildRecords6SetFrame127(benchmark::State& state)
{
    const auto records = sixRecords(127);
    uint8_t out[1024];
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(buildRecords6SetFrame(1, records, out));
        benchmark::ClobberMemory();
    }
    countFrames(state);
}

void BuildRecords6GetFrame382(benchmark::State& state)
{
    const auto keys = sixRecords(382);
    uint8_t out[1024];
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(buildRecords6GetFrame(1, keys, out));
        benchmark::ClobberMemory();
    }
    countFrames(state);
}

void BuildBlobSetFrame759(benchmark::State& state)
{
    std::vector<uint8_t> blob(759, 0x81);
    uint8_t out[1024];
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(buildBlobSetFrame(1, out, blob.data(), 759, 7));
        benchmark::ClobberMemory();
    }
    countFrames(state);
}

void BuildBlockReadFrame(benchmark::State& state)
{
    const uint8_t a = 1, b = 2;
    uint8_t out[1024];
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(buildBlockReadFrame(1, &a, &b, out));
        benchmark::ClobberMemory();
    }
    countFrames(state);
}

void PackTenByteRecords76(benchmark::State& state)
{
    std::vector<TenByteRecord> records(76, TenByteRecord{1, 2, 0x01020304, 0x05060708});
    uint8_t out[768];
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(packTenByteRecords(records, out));
        benchmark::ClobberMemory();
    }
    countFrames(state);
}

void BuildChunk255(benchmark::State& state)
{
    BlockWriteSession session;
    session.chunkSize = 255;
    session.totalChunks = 255;
    const std::vector<uint8_t> block(65025, 0x42);
    uint8_t out[768];
    AllocationMeter meter(state);
    unsigned cursor = 0;
    for (auto _ : state)
    {
        if (cursor == 255)
            cursor = 0;
        benchmark::DoNotOptimize(session.buildChunk(out, block, cursor));
        benchmark::ClobberMemory();
    }
    countFrames(state);
}

// The parsers fill a vector kept across runs, so only its first run allocates.
template <typename Record>
void parseList(benchmark::State& state, bool (*parse)(const uint8_t*, int, std::vector<Record>&),
               uint8_t count)
{
    std::vector<uint8_t> payload(4 + sizeof(Record) * count, 0x11);
    payload[0] = count;
    payload[1] = payload[2] = payload[3] = 0;
    std::vector<Record> out;
    out.reserve(count);
    AllocationMeter meter(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(parse(payload.data(), int(payload.size()), out));
    countFrames(state);
}

void ParseRecords6_127(benchmark::State& state)
{
    parseList<SixByteRecord>(state, parseRecords6, 127);
}

void ParseRecords10_76(benchmark::State& state)
{
    parseList<TenByteRecord>(state, parseRecords10, 76);
}

void ParseBlockChunk(benchmark::State& state)
{
    uint8_t payload[768] = {1, 0, 1, 2, 255};
    BlockChunk chunk;
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        chunk.parse(payload);
        benchmark::DoNotOptimize(chunk.chunkSize());
    }
    countFrames(state);
}

// ---- commands on the answering device ----

template <typename Session>
void runCommand(benchmark::State& state, Session& session, AnsweringDevice& device)
{
    session.timeoutMs = -1; // the reply is queued before the receive
    const int id = device.acquireSessionId();
    AllocationMeter meter(state);
    for (auto _ : state)
        if (!session.doRun(&device, id))
            state.SkipWithError("command failed");
    state.counters["runs_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void Transport(benchmark::State& state)
{
    AnsweringDevice device(replyFrame(MessageClass::Ack, 96, {}));
    const uint8_t request[7] = {0xF0, 0x01, 1, 0, 1, 96, 0xF7};
    uint8_t reply[1024];
    const int id = device.acquireSessionId();
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        device.send(request, 7);
        benchmark::DoNotOptimize(device.receive(unsigned(id), reply, -1, 1024));
    }
}

void Byte96Set(benchmark::State& state)
{
    AnsweringDevice device(replyFrame(MessageClass::Ack, 96, {}));
    Byte96SetSession session;
    session.value = 3;
    runCommand(state, session, device);
}

void Bytes57Set(benchmark::State& state)
{
    AnsweringDevice device(replyFrame(MessageClass::Ack, 57, {}));
    Bytes57SetSession session;
    session.second = 0x1234;
    session.third = 1.5f;
    runCommand(state, session, device);
}

void DspParamGet(benchmark::State& state)
{
    AnsweringDevice device(replyFrame(MessageClass::Data, 4, {0xCA, 0x3F, 0x00, 0x00, 0x00}));
    DspParamGetSession session;
    session.moduleId = "ampDistortion01";
    session.parameterIndex = 7;
    runCommand(state, session, device);
}

void Values40Get(benchmark::State& state)
{
    AnsweringDevice device(replyFrame(MessageClass::Data, 40, std::vector<uint8_t>(12, 0x81)));
    Values40GetSession session;
    runCommand(state, session, device);
}

void Records6Set127(benchmark::State& state)
{
    AnsweringDevice device(replyFrame(MessageClass::Ack, 2, {}));
    Records6SetSession session;
    session.records = sixRecords(127);
    runCommand(state, session, device);
}

// Not a fixed payload: the keys, the reply's values and the entries live in
// vectors.
void Int32ArrayGet150(benchmark::State& state)
{
    std::vector<uint8_t> values{0xDC, 0x00, 150};
    for (int i = 0; i < 150; ++i)
        values.insert(values.end(), {0xCE, 0x00, 0x01, 0x00, uint8_t(i)});
    AnsweringDevice device(replyFrame(MessageClass::Data, 36, values));
    Int32ArrayGetSession session;
    for (uint32_t i = 0; i < 150; ++i)
        session.keys.push_back(0x10000 + i);
    runCommand(state, session, device);
}

} // namespace

BENCHMARK(BuildRecords6SetFrame127);
BENCHMARK(BuildRecords6GetFrame382);
BENCHMARK(BuildBlobSetFrame759);
BENCHMARK(BuildBlockReadFrame);
BENCHMARK(PackTenByteRecords76);
BENCHMARK(BuildChunk255);
BENCHMARK(ParseRecords6_127);
BENCHMARK(ParseRecords10_76);
BENCHMARK(ParseBlockChunk);
BENCHMARK(Transport);
BENCHMARK(Byte96Set);
BENCHMARK(Bytes57Set);
BENCHMARK(DspParamGet);
BENCHMARK(Values40Get);
BENCHMARK(Records6Set127);
BENCHMARK(Int32ArrayGet150);

BENCHMARK_MAIN();
