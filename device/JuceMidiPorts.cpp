#include "device/JuceMidiPorts.h"

#include <juce_audio_devices/juce_audio_devices.h>

namespace mv
{

namespace
{

juce::StringArray namesOf(const juce::Array<juce::MidiDeviceInfo>& devices)
{
    juce::StringArray names;
    for (const auto& device : devices)
        names.add(device.name);
    return names;
}

// Forwards JUCE's callbacks with this port as the source.
class JuceMidiInputPort : public MidiInputPort, private juce::MidiInputCallback
{
public:
    explicit JuceMidiInputPort(MidiInputPortCallback* callback) : callback(callback) {}

    // Deleting the juce::MidiInput stops it and waits for its callbacks.
    ~JuceMidiInputPort() override { input.reset(); }

    bool open(const juce::String& identifier)
    {
        input = juce::MidiInput::openDevice(identifier, this);
        return input != nullptr;
    }

    void start() override { input->start(); }
    void stop() override { input->stop(); }

private:
    void handleIncomingMidiMessage(juce::MidiInput*, const juce::MidiMessage& message) override
    {
        if (callback != nullptr)
            callback->handleIncomingMidiMessage(this, message);
    }

    MidiInputPortCallback* callback;
    std::unique_ptr<juce::MidiInput> input;
};

class JuceMidiOutputPort : public MidiOutputPort
{
public:
    explicit JuceMidiOutputPort(std::unique_ptr<juce::MidiOutput> output) : output(std::move(output)) {}

    // JUCE's sendMessageNow reports nothing, so a vanished device shows only
    // when the port is opened again.
    bool sendMessageNow(const juce::MidiMessage& message) override
    {
        output->sendMessageNow(message);
        return true;
    }

private:
    std::unique_ptr<juce::MidiOutput> output;
};

} // namespace

juce::StringArray JuceMidiPortLayer::getInputNames()
{
    return namesOf(juce::MidiInput::getAvailableDevices());
}

juce::StringArray JuceMidiPortLayer::getOutputNames()
{
    return namesOf(juce::MidiOutput::getAvailableDevices());
}

std::unique_ptr<MidiInputPort> JuceMidiPortLayer::openInput(int index, MidiInputPortCallback* callback)
{
    const auto devices = juce::MidiInput::getAvailableDevices();
    if (index < 0 || index >= devices.size())
        return nullptr;
    auto port = std::make_unique<JuceMidiInputPort>(callback);
    if (!port->open(devices[index].identifier))
        return nullptr;
    return port;
}

std::unique_ptr<MidiOutputPort> JuceMidiPortLayer::openOutput(int index)
{
    const auto devices = juce::MidiOutput::getAvailableDevices();
    if (index < 0 || index >= devices.size())
        return nullptr;
    auto output = juce::MidiOutput::openDevice(devices[index].identifier);
    if (output == nullptr)
        return nullptr;
    return std::make_unique<JuceMidiOutputPort>(std::move(output));
}

} // namespace mv
