#pragma once

// The full stack for the application's tests: emulated amplifiers behind the
// port layer, the device manager singleton with shortened waits, and a pump
// for the real message loop. Every rig gives its amplifiers port names and
// reply words of their own, so the manager's caches from an earlier test
// never hide a change.

#include "device/DeviceManager.h"
#include "device/FirmwareInfoBlock.h"
#include "device/MidiPortLayer.h"
#include "emulator/EmulatedPortLayer.h"
#include "emulator/K7Amplifier.h"
#include "resources/BinaryData.h"
#include "tests/support/PumpUntil.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace apptest
{

constexpr int probeWaitMs = 150;
constexpr int pollIntervalMs = 150;
constexpr int restartMs = 20;
constexpr int reopenWaitMs = 300;

using testsupport::pumpUntil;

// Serves the message loop until everything posted to it so far has run: a
// closure posted now runs after them.
inline void runPostedMessages()
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    juce::MessageManager::callAsync([done] { *done = true; });
    pumpUntil([done] { return done->load(); });
}

inline const uint8_t* embeddedImage()
{
    return reinterpret_cast<const uint8_t*>(BinaryData::K7APWithChecksum_bin);
}

inline int embeddedImageSize()
{
    return BinaryData::K7APWithChecksum_binSize;
}

inline juce::String embeddedVersion()
{
    const uint8_t* v = embeddedImage() + FirmwareInfoBlock::imageVersionOffset;
    return juce::String(v[0]) + "." + juce::String(v[1]) + "." + juce::String(v[2]) + "." +
           juce::String(v[3]);
}

// The embedded image's info block, reporting version 1.0.0.1.
inline std::vector<uint8_t> oldInfoBlock()
{
    std::vector<uint8_t> block(embeddedImage() + FirmwareInfoBlock::imageOffset,
                               embeddedImage() + FirmwareInfoBlock::imageOffset + FirmwareInfoBlock::size);
    const std::size_t v = FirmwareInfoBlock::firmwareVersionOffset;
    block[v] = 1;
    block[v + 1] = 0;
    block[v + 2] = 0;
    block[v + 3] = 1;
    return block;
}

// A port layer over the emulated one whose input opens fail from a given
// count on: the discovery's two opens succeed, the connect's fails.
class FlakyPortLayer : public mv::MidiPortLayer
{
public:
    explicit FlakyPortLayer(std::shared_ptr<emu::EmulatedPortLayer> inner) : inner(std::move(inner)) {}

    juce::StringArray getInputNames() override { return inner->getInputNames(); }
    juce::StringArray getOutputNames() override { return inner->getOutputNames(); }
    std::unique_ptr<mv::MidiInputPort> openInput(int index, mv::MidiInputPortCallback* callback) override
    {
        if (failInputOpensFrom >= 0 && inputOpens++ >= failInputOpensFrom)
            return nullptr;
        return inner->openInput(index, callback);
    }
    std::unique_ptr<mv::MidiOutputPort> openOutput(int index) override { return inner->openOutput(index); }

    std::atomic<int> failInputOpensFrom{-1};
    std::atomic<int> inputOpens{0};

private:
    std::shared_ptr<emu::EmulatedPortLayer> inner;
};

class Rig
{
public:
    Rig()
    {
        emulated = std::make_shared<emu::EmulatedPortLayer>();
        layer = std::make_shared<FlakyPortLayer>(emulated);
        mv::setMidiPortLayer(layer);
        auto* manager = mv::DeviceManager::getInstance();
        manager->setProbeWait(probeWaitMs);
        manager->setPollInterval(pollIntervalMs);
    }

    ~Rig()
    {
        auto* manager = mv::DeviceManager::getInstance();
        manager->stopTimer();
        manager->disconnect();
        mv::setMidiPortLayer(nullptr);
    }

    // A new amplifier (a K7Amplifier or one derived from it) with its own
    // names and reply word, plugged in unless asked otherwise, with an older
    // firmware than the embedded image.
    template <typename Amp = emu::K7Amplifier> std::shared_ptr<Amp> addAmplifier(bool plugged = true)
    {
        const int counter = nextAmplifierNumber();
        emu::Amplifier::Config config;
        config.inputName = "Tolvo K7 " + juce::String(counter);
        config.outputName = "Tolvo K7 " + juce::String(counter);
        config.replyWord = 0x4B370000u + static_cast<uint32_t>(counter);
        auto amp = emu::Amplifier::create<Amp>(config);
        amp->setSerialNumber("K7AP-" + std::to_string(counter));
        amp->getBootloader().setInfoBlock(oldInfoBlock());
        amp->getBootloader().setRestartMs(restartMs);
        if (!plugged)
            amp->unplug();
        emulated->addAmplifier(amp);
        return amp;
    }

    // Serves the message loop until the device poll has ticked n more times
    // (each tick lists the inputs), or one more discovery has run (it lists
    // the outputs): what they would have done by then, they have.
    void waitForPolls(int n)
    {
        waitForMore([this] { return emulated->getInputListings(); }, n);
    }
    void waitForADiscovery()
    {
        waitForMore([this] { return emulated->getOutputListings(); }, 1);
    }

    // Discovery probes the amplifier has received.
    static int probeCount(const emu::Amplifier& amp)
    {
        const std::vector<uint8_t> probe{0xF0, 0x01, 0x00, 0x00, 0x02, 0x12, 0xF7};
        const auto messages = amp.getReceivedMessages();
        return static_cast<int>(std::count(messages.begin(), messages.end(), probe));
    }

    std::shared_ptr<emu::EmulatedPortLayer> emulated;
    std::shared_ptr<FlakyPortLayer> layer;

private:
    // One count for every kind of amplifier, so no two share a name.
    static int nextAmplifierNumber()
    {
        static int counter = 0;
        return ++counter;
    }
    static void waitForMore(const std::function<int()>& count, int n)
    {
        const int target = count() + n;
        pumpUntil([&] { return count() >= target; });
    }
};

} // namespace apptest
