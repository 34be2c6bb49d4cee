#pragma once

// The MIDI ports behind a small interface, so the device link runs the same
// code against JUCE's ports and against an in-process amplifier.
//
// Listing and opening are run on the message thread by the callers; the layer
// itself does not hop threads.

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_core/juce_core.h>

#include <memory>

namespace mv
{

class MidiInputPort;

// Receives every message of an open input; called on the input's thread.
class MidiInputPortCallback
{
public:
    virtual ~MidiInputPortCallback() = default;
    virtual void handleIncomingMidiMessage(MidiInputPort* source, const juce::MidiMessage& message) = 0;
};

// An open input. Destroying it stops it; no callback runs once the destructor
// has returned.
class MidiInputPort
{
public:
    virtual ~MidiInputPort() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
};

// An open output; sends on the calling thread.
class MidiOutputPort
{
public:
    virtual ~MidiOutputPort() = default;
    // False when the message could not be sent: the port's device is gone
    // (as far as the layer can tell).
    virtual bool sendMessageNow(const juce::MidiMessage&) = 0;
};

class MidiPortLayer
{
public:
    virtual ~MidiPortLayer() = default;
    virtual juce::StringArray getInputNames() = 0;
    virtual juce::StringArray getOutputNames() = 0;
    // Null when the index is out of range or the port does not open.
    virtual std::unique_ptr<MidiInputPort> openInput(int index, MidiInputPortCallback* callback) = 0;
    virtual std::unique_ptr<MidiOutputPort> openOutput(int index) = 0;
};

// The installed layer, or the JUCE implementation when none is installed.
MidiPortLayer& getMidiPortLayer();

// Installs a layer for the whole process; null restores the JUCE
// implementation. Install and restore while no port is being listed or
// opened: the reference getMidiPortLayer returned before stays valid only
// while its layer is installed. Ports already open keep working.
void setMidiPortLayer(std::shared_ptr<MidiPortLayer> layer);

} // namespace mv
