#pragma once

// Finds amplifiers among the MIDI ports: opens every input and output whose
// name contains "Tolvo" or "K7", sends the probe (Get 18 on session 0) on each
// such output and records which input answers. The state is process-wide.

#include "device/DeviceKey.h"
#include "device/MidiPortLayer.h"

#include <map>
#include <mutex>
#include <vector>

// Every input the discovery opens reports here; records the first valid probe
// reply of each input. Runs on the input thread.
class DeviceManagerCallback : public mv::MidiInputPortCallback
{
public:
    void handleIncomingMidiMessage(mv::MidiInputPort* source, const juce::MidiMessage& message) override;
};

// The discovery's state below is built during static initialization at this
// init_priority rank, first among the program's static objects and before
// every one without a rank; destroyed last at exit.
constexpr int discoveryStateInitPriority = 200;

extern DeviceManagerCallback deviceManagerCallback;
// The last discovery's result, in the order the replies arrived.
extern std::vector<DeviceRecord> deviceRecords;
// The port names the last discovery listed, by index: a record's ports are
// named discoveredInputNames[midiInputIndex] and
// discoveredOutputNames[midiOutputIndex].
extern juce::StringArray discoveredInputNames;
extern juce::StringArray discoveredOutputNames;
// The inputs the current discovery opened, with their indices.
extern std::map<mv::MidiInputPort*, int> inputToDeviceIndex;
// Held for the whole of one discovery.
extern std::mutex scanMutex;
// Guards deviceRecords, the discovered names, inputToDeviceIndex and
// probedOutputIndex.
extern std::recursive_mutex deviceRecordsMutex;
// The output probed last.
extern int probedOutputIndex;

constexpr int defaultProbeWaitMs = 1000;

// True when the name contains "Tolvo" or "K7" (case-sensitive).
bool isAmplifierPortName(const juce::String& name);

// How many of the ports listed carry the name.
int countPortsNamed(const juce::StringArray& names, const juce::String& name);

// Runs one discovery and waits probeWaitMs after each probe. Blocks its
// caller; from a thread other than the message thread it needs the message
// thread to serve it, because ports are listed and opened there.
void discoverDevices(int probeWaitMs);
void discoverDevices();

// The names of a device's two ports, as the discovery listed them, and how
// many of the listed ports carried each name.
struct DevicePortNames
{
    juce::String input;
    juce::String output;
    int inputCarriers = 0;
    int outputCarriers = 0;
};

// Copies the first record with the key into out, and its port names into
// names when given; false when there is none.
bool findDeviceRecord(const DeviceKey& key, DeviceRecord& out, DevicePortNames* names = nullptr);

std::vector<DeviceRecord> copyDeviceRecords();
