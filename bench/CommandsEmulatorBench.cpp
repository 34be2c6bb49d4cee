// The amplifier commands through MVUsbMidiK7 into the emulated amplifier,
// which answers at once: round trips per second and the CPU time of the
// calling thread per command ("cpu_us", from CLOCK_THREAD_CPUTIME_ID), and the
// three transfers of a 64 KB block in MB/s. The host thread's CPU time is what
// the command costs the caller; the rest of the wall time is the emulator's
// thread and the hand-over between the two.
#include "commands/BlockTransfer.h"
#include "commands/ChunkedData.h"
#include "commands/MessageCommands.h"
#include "commands/RecordCommands.h"
#include "device/Discovery.h"
#include "device/MVUsbMidiK7.h"
#include "device/MidiPortLayer.h"
#include "emulator/EmulatedPortLayer.h"
#include "emulator/K7Amplifier.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

#include <cstdio>
#include <ctime>

namespace
{

struct Rig
{
    std::shared_ptr<emu::EmulatedPortLayer> layer = std::make_shared<emu::EmulatedPortLayer>();
    std::shared_ptr<emu::K7Amplifier> amp;
    std::unique_ptr<MVUsbMidiK7> device;

    Rig()
    {
        mv::setMidiPortLayer(layer);
        amp = emu::Amplifier::create<emu::K7Amplifier>(
            emu::AmplifierConfig{"Tolvo K7", "Tolvo K7", 0x4B374150});
        layer->addAmplifier(amp);
        discoverDevices(50);
        device = std::make_unique<MVUsbMidiK7>(DeviceKey{0x4B374150, 12});
        if (!device->open())
            std::fprintf(stderr, "cannot open the emulated amplifier\n");
    }

    ~Rig()
    {
        device.reset();
        amp.reset();
        mv::setMidiPortLayer(nullptr);
    }
};

Rig* rig = nullptr;

double threadCpuMicros()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

// Runs the session once per iteration; bytes moved per run for MB/s. The
// host thread's CPU time is read around runs of clearEvery commands, so the
// cost of reading the clock (a system call) is spread over them as a flash
// update spreads it over its blocks; between those runs, outside the timing
// and the CPU count, the emulator's logs of what it received are emptied. A
// transfer logs 255 frames a run: its logs are emptied before every run.
void runCommand(benchmark::State& state, MVDeviceSession& session, int64_t bytesPerRun = 0,
                int clearEvery = 256)
{
    double cpu = 0;
    int sinceClear = 0;
    double start = threadCpuMicros();
    for (auto _ : state)
    {
        if (++sinceClear == clearEvery)
        {
            cpu += threadCpuMicros() - start;
            state.PauseTiming();
            rig->amp->clearReceivedMessages();
            rig->amp->getCommandSet().clearRequests();
            state.ResumeTiming();
            sinceClear = 0;
            start = threadCpuMicros();
        }
        if (!session.run(rig->device.get()))
        {
            state.SkipWithError("command failed");
            break;
        }
    }
    cpu += threadCpuMicros() - start;
    state.counters["round_trips_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["cpu_us"] = cpu / double(state.iterations());
    if (bytesPerRun > 0)
        state.SetBytesProcessed(state.iterations() * bytesPerRun);
}

void SetWithAck(benchmark::State& state)
{
    Byte96SetSession session;
    session.value = 1;
    runCommand(state, session);
}

void DspGet(benchmark::State& state)
{
    rig->amp->getCommandSet().setDspValue("ampDistortion01", 7, 0.25f);
    DspParamGetSession session;
    session.moduleId = "ampDistortion01";
    session.parameterIndex = 7;
    runCommand(state, session);
}

void Int32Array150(benchmark::State& state)
{
    Int32ArrayGetSession session;
    for (uint32_t i = 0; i < 150; ++i)
    {
        session.keys.push_back(0x10000 + i);
        rig->amp->getCommandSet().setInt32Value(0x10000 + i, i * 1000);
    }
    runCommand(state, session);
}

std::vector<SixByteRecord> records127()
{
    std::vector<SixByteRecord> r;
    for (int i = 0; i < 127; ++i)
        r.push_back({uint8_t(i), uint8_t(0x80 | i), uint32_t(i) * 0x01010101u});
    return r;
}

void Records6Set127(benchmark::State& state)
{
    Records6SetSession session;
    session.records = records127();
    runCommand(state, session);
}

void Records6Get127(benchmark::State& state)
{
    Records6SetSession set;
    set.records = records127();
    set.run(rig->device.get());
    Records6GetSession session;
    session.keys = records127();
    runCommand(state, session);
}

void ChunkedWrite64K(benchmark::State& state)
{
    ChunkedDataSession session;
    session.data.assign(65024, 0x5A);
    runCommand(state, session, 65024, 1);
}

void BlockRead64K(benchmark::State& state)
{
    rig->amp->getCommandSet().setBlock(1, 2, std::vector<uint8_t>(65025, 0xA5));
    rig->amp->getCommandSet().setBlockReadChunkSize(255);
    BlockReadSession session;
    session.addressA = 1;
    session.addressB = 2;
    runCommand(state, session, 65025, 1);
}

void BlockWrite64K(benchmark::State& state)
{
    const std::vector<uint8_t> block(65025, 0x3C);
    BlockWriteSession session;
    session.addressA = 3;
    session.chunkSize = 255;
    session.totalChunks = 255;
    session.block = &block;
    runCommand(state, session, 65025, 1);
}

} // namespace

BENCHMARK(SetWithAck)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(DspGet)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(Int32Array150)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(Records6Set127)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(Records6Get127)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(ChunkedWrite64K)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BlockWrite64K)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BlockRead64K)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    benchmark::Initialize(&argc, argv);
    {
        Rig r;
        rig = &r;
        benchmark::RunSpecifiedBenchmarks();
        rig = nullptr;
    }
    benchmark::Shutdown();
    return 0;
}
