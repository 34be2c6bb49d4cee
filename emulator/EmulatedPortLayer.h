#pragma once

// A MIDI port layer whose ports are those of emulated amplifiers: every
// plugged amplifier adds its input name to the inputs and its output name to
// the outputs, in the order the amplifiers were added.
//
//     auto layer = std::make_shared<emu::EmulatedPortLayer>();
//     auto amp = emu::Amplifier::create();
//     layer->addAmplifier(amp);
//     mv::setMidiPortLayer(layer);   // ... and mv::setMidiPortLayer(nullptr) to restore JUCE's

#include "device/MidiPortLayer.h"
#include "emulator/Amplifier.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace emu
{

class EmulatedPortLayer : public mv::MidiPortLayer
{
public:
    void addAmplifier(std::shared_ptr<Amplifier> amp);
    // Adds amp at position in the order; the ports from there on move back by one.
    void insertAmplifier(std::size_t position, std::shared_ptr<Amplifier> amp);
    void removeAmplifier(const std::shared_ptr<Amplifier>& amp);
    std::vector<std::shared_ptr<Amplifier>> getAmplifiers() const;

    // How often the ports were listed: the device poll lists the inputs on
    // every tick, a discovery lists the outputs once.
    int getInputListings() const { return inputListings; }
    int getOutputListings() const { return outputListings; }

    juce::StringArray getInputNames() override;
    juce::StringArray getOutputNames() override;
    std::unique_ptr<mv::MidiInputPort> openInput(int index, mv::MidiInputPortCallback* callback) override;
    std::unique_ptr<mv::MidiOutputPort> openOutput(int index) override;

private:
    std::vector<std::shared_ptr<Amplifier>> plugged() const;

    mutable std::mutex mutex;
    std::vector<std::shared_ptr<Amplifier>> amplifiers;
    std::atomic<int> inputListings{0};
    std::atomic<int> outputListings{0};
};

} // namespace emu
