#include "device/MVUsbMidiK7.h"

#include "device/Discovery.h"

#include <juce_events/juce_events.h>

#include <algorithm>

void* runBoolFunction(void* userData)
{
    auto& fn = *static_cast<std::function<bool()>*>(userData);
    return fn() ? userData : nullptr;
}

bool runOnMessageThread(std::function<bool()> fn)
{
    return juce::MessageManager::getInstance()->callFunctionOnMessageThread(runBoolFunction, &fn) != nullptr;
}

MVUsbMidiK7::MVUsbMidiK7(const DeviceKey& key) : deviceKey(key) {}

MVUsbMidiK7::~MVUsbMidiK7()
{
    close();
}

bool portNameAmbiguous(const juce::StringArray& names, const juce::String& name, int carriers)
{
    return !name.isEmpty() && countPortsNamed(names, name) > std::max(carriers, 1);
}

int findPortIndex(const juce::StringArray& names, const juce::String& name, int index, int carriers)
{
    if (name.isEmpty())
        return index;
    const bool atIndex = index >= 0 && index < names.size();
    const int count = countPortsNamed(names, name);
    if (count == 0)
        return atIndex && isAmplifierPortName(names[index]) ? index : -1;
    if (count > std::max(carriers, 1))
        return -1;
    if (atIndex && names[index] == name)
        return index;
    return count == 1 ? names.indexOf(name) : -1;
}

bool MVUsbMidiK7::open()
{
    DeviceRecord found{};
    DevicePortNames names;
    if (findDeviceRecord(deviceKey, found, &names))
    {
        deviceRecord = std::make_unique<DeviceRecord>(found);
        portNames = names;
    }
    else if (deviceRecord == nullptr)
    {
        lastOpenFailure = OpenFailure::Gone;
        return false;
    }
    const DeviceRecord record = *deviceRecord;
    // Stays when the message thread does not serve the open.
    lastOpenFailure = OpenFailure::PortsRefused;
    return runOnMessageThread(
        [this, record, names = portNames]
        {
            lastOpenFailure = OpenFailure::None;
            {
                std::lock_guard<std::mutex> lock(portMutex);
                if (midiInput != nullptr && midiOutput != nullptr)
                    return true;
            }
            auto& layer = mv::getMidiPortLayer();
            const juce::StringArray inputNames = layer.getInputNames();
            const juce::StringArray outputNames = layer.getOutputNames();
            const int input =
                findPortIndex(inputNames, names.input, record.midiInputIndex, names.inputCarriers);
            const int output =
                findPortIndex(outputNames, names.output, record.midiOutputIndex, names.outputCarriers);
            if (input < 0 || output < 0)
            {
                const bool ambiguous = portNameAmbiguous(inputNames, names.input, names.inputCarriers) ||
                                       portNameAmbiguous(outputNames, names.output, names.outputCarriers);
                lastOpenFailure = ambiguous ? OpenFailure::Ambiguous : OpenFailure::Gone;
                return false;
            }
            if (!openPorts(input, output))
            {
                lastOpenFailure = OpenFailure::PortsRefused;
                return false;
            }
            return true;
        });
}

bool MVUsbMidiK7::openPorts(int inputIndex, int outputIndex)
{
    {
        std::lock_guard<std::mutex> lock(portMutex);
        if (midiInput != nullptr && midiOutput != nullptr)
            return true;
    }
    auto& layer = mv::getMidiPortLayer();
    auto input = layer.openInput(inputIndex, this);
    if (input == nullptr)
        return false;
    auto output = layer.openOutput(outputIndex);
    if (output == nullptr)
        return false; // the input just opened is closed here
    input->start();
    std::lock_guard<std::mutex> lock(portMutex);
    midiInput = std::move(input);
    midiOutput = std::move(output);
    return true;
}

void MVUsbMidiK7::close()
{
    closeQueue.push(nullptr, 0);
    std::unique_ptr<mv::MidiInputPort> input;
    std::unique_ptr<mv::MidiOutputPort> output;
    {
        std::lock_guard<std::mutex> lock(portMutex);
        input = std::move(midiInput);
        output = std::move(midiOutput);
    }
    // Destroyed outside the lock: the input waits for a running callback.
    input.reset();
    output.reset();
}

const DeviceKey* MVUsbMidiK7::getDeviceKey() const
{
    return &deviceKey;
}

int MVUsbMidiK7::writeRaw(const uint8_t* data, int length)
{
    std::lock_guard<std::mutex> lock(portMutex);
    if (midiOutput == nullptr)
        return -1;
    if (data == nullptr || length <= 0)
        return 0;
    juce::MidiMessage message(data, length, 0.0);
    onOutgoingMidiMessage(message);
    return midiOutput->sendMessageNow(message) ? length : -1;
}

void MVUsbMidiK7::onIncomingMidiMessage(const juce::MidiMessage&) {}

void MVUsbMidiK7::onOutgoingMidiMessage(juce::MidiMessage&) {}

void MVUsbMidiK7::handleIncomingMidiMessage(mv::MidiInputPort*, const juce::MidiMessage& message)
{
    const uint8_t* bytes = message.getRawData();
    const int size = message.getRawDataSize();
    onIncomingMidiMessage(message);
    appendReceivedBytes(bytes, size);
}
