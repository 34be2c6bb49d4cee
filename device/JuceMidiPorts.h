#pragma once

// The port layer over JUCE's MIDI devices.

#include "device/MidiPortLayer.h"

namespace mv
{

class JuceMidiPortLayer : public MidiPortLayer
{
public:
    juce::StringArray getInputNames() override;
    juce::StringArray getOutputNames() override;
    std::unique_ptr<MidiInputPort> openInput(int index, MidiInputPortCallback* callback) override;
    std::unique_ptr<MidiOutputPort> openOutput(int index) override;
};

} // namespace mv
