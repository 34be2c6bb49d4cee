#pragma once

// The amplifier over one MIDI input and one MIDI output of the port layer.
// Opening looks the device key up among the last discovery's records and
// opens the record's ports on the message thread, by the names the discovery
// saw: ports that moved to another index (the amplifier restarted while
// another device came or went) are followed there, and the open fails
// rather than open whatever port now sits at the old index, or one of two
// ports of the name where the discovery saw one. When a name is gone
// altogether (a bootloader that enumerates under a name of its own), the
// port at the recorded index is opened if its name is an amplifier's; what
// answers there is for the caller to confirm.

#include "device/DeviceKey.h"
#include "device/Discovery.h"
#include "device/MVDevice.h"
#include "device/MVQueue.h"
#include "device/MidiPortLayer.h"

#include <atomic>
#include <memory>
#include <mutex>

class MVUsbMidiK7 : public MVDevice, public mv::MidiInputPortCallback
{
public:
    explicit MVUsbMidiK7(const DeviceKey& key);
    ~MVUsbMidiK7() override;

    // Opens the ports of the record with this device's key, or of the record
    // kept from the last successful look-up, where findPortIndex finds them.
    // May be called from any thread; waits for the message thread to open
    // the ports.
    bool open() override;
    // Closes both ports on the calling thread; no input callback follows.
    // Every close, the destructor's too, first pushes one empty message into
    // closeQueue.
    void close() override;
    OpenFailure getLastOpenFailure() const override { return lastOpenFailure.load(); }
    const DeviceKey* getDeviceKey() const override;
    // Sends the bytes as one message now, on the calling thread. Returns the
    // length, or -1 when the ports are closed or the port layer reports the
    // device gone.
    int writeRaw(const uint8_t* data, int length) override;

    // One empty message per close; nothing reads them. Being an MVQueue it
    // keeps at most MVQueue::maxMessages of them.
    MVQueue& getCloseQueue() { return closeQueue; }

    // Hooks that see every received message before it is buffered and every
    // message just before it is sent.
    virtual void onIncomingMidiMessage(const juce::MidiMessage& message);
    virtual void onOutgoingMidiMessage(juce::MidiMessage& message);

    // Opens the two ports by index and starts the input; true at once when
    // both are open already. Runs on the message thread.
    bool openPorts(int inputIndex, int outputIndex);

    // The input thread's callback: feeds the message's bytes to the stream
    // cutter.
    void handleIncomingMidiMessage(mv::MidiInputPort* source, const juce::MidiMessage& message) override;

private:
    DeviceKey deviceKey;
    std::unique_ptr<mv::MidiInputPort> midiInput;
    std::unique_ptr<mv::MidiOutputPort> midiOutput;
    std::unique_ptr<DeviceRecord> deviceRecord;
    DevicePortNames portNames; // of deviceRecord's ports
    std::atomic<OpenFailure> lastOpenFailure{OpenFailure::None};
    MVQueue closeQueue;
    // Guards the two port pointers between the sending thread and the thread
    // that opens or closes them.
    std::mutex portMutex;
};

// Where the port named name is now: at index when it still carries that
// name, else at the one index that does; -1 when several do. When more ports
// carry the name than the carriers the discovery saw, another device of that
// name came since and no port can be told to be the one: -1. When none
// carries it, index if the port there has an amplifier's name
// (isAmplifierPortName), else -1. An empty name (none recorded) keeps the
// index.
int findPortIndex(const juce::StringArray& names, const juce::String& name, int index, int carriers);
// True when more ports carry the name than the carriers the discovery saw.
bool portNameAmbiguous(const juce::StringArray& names, const juce::String& name, int carriers);

// Adapter for juce::MessageManager::callFunctionOnMessageThread: runs the
// std::function<bool()> that userData points to and returns non-null for true.
void* runBoolFunction(void* userData);

// Runs fn on the message thread (directly when called there) and returns its
// result; waits for the message thread otherwise.
bool runOnMessageThread(std::function<bool()> fn);
