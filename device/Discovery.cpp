#include "device/Discovery.h"

#include "device/CommandFrame.h"
#include "device/MVUsbMidiK7.h"
#include "device/ProbeReply.h"

#include <chrono>
#include <iostream>
#include <memory>
#include <thread>

// Built in this order before the program's entry, destroyed in reverse.
__attribute__((init_priority(discoveryStateInitPriority))) DeviceManagerCallback deviceManagerCallback;
__attribute__((init_priority(discoveryStateInitPriority))) std::vector<DeviceRecord> deviceRecords;
__attribute__((init_priority(discoveryStateInitPriority))) juce::StringArray discoveredInputNames;
__attribute__((init_priority(discoveryStateInitPriority))) juce::StringArray discoveredOutputNames;
__attribute__((init_priority(discoveryStateInitPriority))) std::map<mv::MidiInputPort*, int>
    inputToDeviceIndex;
__attribute__((init_priority(discoveryStateInitPriority))) std::mutex scanMutex;
__attribute__((init_priority(discoveryStateInitPriority))) std::recursive_mutex deviceRecordsMutex;
int probedOutputIndex = 0;

bool isAmplifierPortName(const juce::String& name)
{
    return name.contains("Tolvo") || name.contains("K7");
}

void DeviceManagerCallback::handleIncomingMidiMessage(mv::MidiInputPort* source,
                                                      const juce::MidiMessage& message)
{
    const int size = message.getRawDataSize();
    uint32_t word = 0;
    if (!decodeProbeReply(message.getRawData(), size, word))
        return;

    {
        std::lock_guard<std::recursive_mutex> lock(deviceRecordsMutex);
        const auto entry = inputToDeviceIndex.find(source);
        if (entry == inputToDeviceIndex.end())
            return;
        deviceRecords.push_back(DeviceRecord{word, uint32_t(size), entry->second, probedOutputIndex});
    }
    // One record per input and discovery: the first valid reply.
    source->stop();
}

namespace
{

// Lists the inputs or the outputs on the message thread, keeps their names
// for findDeviceRecord, prints each and calls use with the index of every one
// that bears an amplifier's name.
template <typename Use> void forEachAmplifierPort(bool inputs, Use use)
{
    juce::StringArray names;
    runOnMessageThread(
        [&names, inputs]
        {
            auto& layer = mv::getMidiPortLayer();
            names = inputs ? layer.getInputNames() : layer.getOutputNames();
            return true;
        });
    {
        std::lock_guard<std::recursive_mutex> lock(deviceRecordsMutex);
        (inputs ? discoveredInputNames : discoveredOutputNames) = names;
    }
    for (int i = 0; i < names.size(); ++i)
    {
        std::cout << (inputs ? "Found MIDI IN device:" : "Found MIDI OUT device:") << names[i].toStdString()
                  << std::endl;
        if (isAmplifierPortName(names[i]))
            use(i);
    }
}

// Opens and starts every amplifier input, entered in inputToDeviceIndex with
// its index so that its probe reply is recorded.
std::vector<std::unique_ptr<mv::MidiInputPort>> openAmplifierInputs()
{
    std::vector<std::unique_ptr<mv::MidiInputPort>> inputs;
    const auto openInput = [&inputs](int i)
    {
        std::unique_ptr<mv::MidiInputPort> input;
        runOnMessageThread(
            [&input, i]
            {
                input = mv::getMidiPortLayer().openInput(i, &deviceManagerCallback);
                if (input != nullptr)
                    input->start();
                return input != nullptr;
            });
        if (input == nullptr)
            return;
        std::cout << "Start this MIDI input device" << std::endl;
        {
            std::lock_guard<std::recursive_mutex> lock(deviceRecordsMutex);
            inputToDeviceIndex[input.get()] = i;
        }
        inputs.push_back(std::move(input));
    };
    forEachAmplifierPort(true, openInput);
    return inputs;
}

// Sends the probe on every amplifier output in turn, waiting probeWaitMs
// after each for the replies, which name that output.
void probeAmplifierOutputs(int probeWaitMs)
{
    const auto probeOutput = [probeWaitMs](int i)
    {
        std::unique_ptr<mv::MidiOutputPort> output;
        runOnMessageThread(
            [&output, i]
            {
                output = mv::getMidiPortLayer().openOutput(i);
                return output != nullptr;
            });
        if (output == nullptr)
            return;
        uint8_t probe[7];
        const int probeLength = buildCommandFrame(0, MessageClass::Get, CommandId::Probe, nullptr, 0, probe);
        {
            std::lock_guard<std::recursive_mutex> lock(deviceRecordsMutex);
            probedOutputIndex = i;
        }
        std::cout << "This MIDI Out device is available" << std::endl;
        output->sendMessageNow(juce::MidiMessage(probe, probeLength, 0.0));
        std::this_thread::sleep_for(std::chrono::milliseconds(probeWaitMs));
        output.reset();
    };
    forEachAmplifierPort(false, probeOutput);
}

// Keeps only the records whose ports open once more. The records are checked
// without deviceRecordsMutex, because opening waits for the message thread,
// which may itself be waiting for that lock.
void keepRecordsWhosePortsOpen()
{
    const std::vector<DeviceRecord> found = copyDeviceRecords();
    std::vector<DeviceRecord> kept;
    for (const DeviceRecord& record : found)
    {
        MVUsbMidiK7 check(deviceKeyOf(record));
        if (check.open())
            kept.push_back(record);
    }
    std::lock_guard<std::recursive_mutex> lock(deviceRecordsMutex);
    deviceRecords = kept;
}

} // namespace

int countPortsNamed(const juce::StringArray& names, const juce::String& name)
{
    int count = 0;
    for (const auto& listed : names)
        count += listed == name ? 1 : 0;
    return count;
}

void discoverDevices(int probeWaitMs)
{
    std::lock_guard<std::mutex> scan(scanMutex);
    {
        std::lock_guard<std::recursive_mutex> lock(deviceRecordsMutex);
        inputToDeviceIndex.clear();
        deviceRecords.clear();
    }
    std::vector<std::unique_ptr<mv::MidiInputPort>> inputs = openAmplifierInputs();
    probeAmplifierOutputs(probeWaitMs);
    // Destroying an input stops it and waits for its running callback, which
    // takes deviceRecordsMutex: so not under that lock.
    inputs.clear();
    keepRecordsWhosePortsOpen();
}

void discoverDevices()
{
    discoverDevices(defaultProbeWaitMs);
}

bool findDeviceRecord(const DeviceKey& key, DeviceRecord& out, DevicePortNames* names)
{
    std::lock_guard<std::recursive_mutex> lock(deviceRecordsMutex);
    for (const DeviceRecord& record : deviceRecords)
        if (deviceKeyOf(record) == key)
        {
            out = record;
            if (names != nullptr)
            {
                names->input = discoveredInputNames[record.midiInputIndex];
                names->output = discoveredOutputNames[record.midiOutputIndex];
                names->inputCarriers = countPortsNamed(discoveredInputNames, names->input);
                names->outputCarriers = countPortsNamed(discoveredOutputNames, names->output);
            }
            return true;
        }
    return false;
}

std::vector<DeviceRecord> copyDeviceRecords()
{
    std::lock_guard<std::recursive_mutex> lock(deviceRecordsMutex);
    return deviceRecords;
}
