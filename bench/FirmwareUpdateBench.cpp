// A full firmware update of a 708,859-byte image (2,769 blocks) through
// MVUsbMidiK7 into the emulated amplifier.
//  - ZeroLatency: the emulator answers at once; the time per block is the
//    host's (and the in-process link's) overhead.
//  - ModelledLink/<bytes per second>/<flash us per block>: the emulator waits
//    the modelled transfer and flash time of every request; measured_over_ideal
//    is the run's time over the sum of those delays (stop-and-wait ideal).

#include "device/Discovery.h"
#include "device/FirmwareUpdateSession.h"
#include "device/MVUsbMidiK7.h"
#include "device/MidiPortLayer.h"
#include "emulator/EmulatedPortLayer.h"
#include "emulator/K7Amplifier.h"
#include "tests/device/TestFirmwareImage.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace
{

constexpr size_t imageSize = 708859;
constexpr int blocks = 2769;

struct Rig
{
    std::shared_ptr<emu::EmulatedPortLayer> layer = std::make_shared<emu::EmulatedPortLayer>();
    std::shared_ptr<emu::K7Amplifier> amp;
    std::unique_ptr<MVUsbMidiK7> device;
    std::vector<uint8_t> image = testing_device::makeTestImage(imageSize, 1);
    size_t statusWritesBefore = 0;

    Rig()
    {
        mv::setMidiPortLayer(layer);
        amp = emu::Amplifier::create<emu::K7Amplifier>(
            emu::AmplifierConfig{"Tolvo K7", "Tolvo K7", 0x4B374150});
        layer->addAmplifier(amp);
        amp->getBootloader().setStatus(0);
        amp->getBootloader().setRestartMs(0);
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

    // After "SetFwStatus" 1 the amplifier restarts: reopen for the next run.
    static bool reopen(MVDevice* device, FirmwareUpdateSession*, void* user)
    {
        auto* rig = static_cast<Rig*>(user);
        device->close();
        // The amplifier handles "SetFwStatus" on its own thread: wait until it
        // has restarted.
        while (rig->amp->getBootloader().getStatusWrites().size() <= rig->statusWritesBefore ||
               !rig->amp->isPlugged())
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        rig->amp->getBootloader().setStatus(0);
        return device->open();
    }

    bool runUpdate()
    {
        statusWritesBefore = amp->getBootloader().getStatusWrites().size();
        amp->clearReceivedMessages();
        FirmwareUpdateSession session;
        session.image = image.data();
        session.imageSize = int(image.size());
        session.afterFlashCallback = reopen;
        session.afterFlashUser = this;
        const bool ok = session.run(device.get());
        if (!ok)
            std::fprintf(stderr, "update failed with error %d\n", session.error);
        return ok;
    }
};

Rig* rig = nullptr;

// The session's lines would swamp the report.
struct QuietStdout
{
    QuietStdout()
    {
        std::fflush(stdout);
        saved = ::dup(1);
        std::freopen("/dev/null", "w", stdout);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        ::dup2(saved, 1);
        ::close(saved);
    }
    int saved;
};

void ZeroLatency(benchmark::State& state)
{
    rig->amp->getBootloader().setLinkModel({});
    for (auto _ : state)
    {
        QuietStdout quiet;
        if (!rig->runUpdate())
            state.SkipWithError("update failed");
    }
    state.counters["per_block"] = benchmark::Counter(
        double(state.iterations()) * blocks, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void ModelledLink(benchmark::State& state)
{
    emu::LinkModel model;
    model.bytesPerSecond = double(state.range(0));
    model.flashMicrosPerBlock = int(state.range(1));
    rig->amp->getBootloader().setLinkModel(model);
    double measuredUs = 0;
    double idealUs = 0;
    double overshootUs = 0;
    for (auto _ : state)
    {
        QuietStdout quiet;
        const int64_t before = rig->amp->getBootloader().getModelledMicros();
        const int64_t overshootBefore = rig->amp->getBootloader().getOvershootMicros();
        const auto start = std::chrono::steady_clock::now();
        if (!rig->runUpdate())
            state.SkipWithError("update failed");
        measuredUs +=
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        idealUs += double(rig->amp->getBootloader().getModelledMicros() - before);
        overshootUs += double(rig->amp->getBootloader().getOvershootMicros() - overshootBefore);
    }
    rig->amp->getBootloader().setLinkModel({});
    state.counters["ideal_ms"] = idealUs / 1000.0 / double(state.iterations());
    state.counters["measured_over_ideal"] = idealUs > 0 ? measuredUs / idealUs : 0;
    state.counters["overhead_us_per_block"] = (measuredUs - idealUs) / double(state.iterations()) / blocks;
    // Of that overhead, the part the emulator's own waits overran.
    state.counters["emulator_overrun_us_per_block"] = overshootUs / double(state.iterations()) / blocks;
}

} // namespace

BENCHMARK(ZeroLatency)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
// A fast USB-MIDI link and 500 us flash writes; a slower link and 2 ms writes.
BENCHMARK(ModelledLink)
    ->Args({1000000, 500})
    ->Args({250000, 2000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

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
