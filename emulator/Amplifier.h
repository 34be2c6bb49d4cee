#pragma once

// An in-process USB-MIDI amplifier. It offers one MIDI input and one MIDI
// output port to the host (through EmulatedPortLayer), receives what the host
// sends on its output and answers on its input from its own thread, as a
// platform MIDI input thread would.
//
// Out of the box it answers the discovery probe (Get 18 on session 0) with a
// Data 18 frame whose payload is its reply word, four bytes, least
// significant first: a 12-byte reply, so the host's device key is
// (reply word, 12).
//
// Teaching it more (command replies, the bootloader): derive from it and
// override handleHostMessage, which runs on the amplifier's thread for every
// complete message the host sends. Answer with reply (faults applied) or
// sendToHost (exact delay and split), run later work with schedule, and call
// Amplifier::handleHostMessage for what the subclass does not handle. Create
// derived amplifiers with Amplifier::create<Derived>(...), which stops the
// thread before the derived part is destroyed.
//
// All public functions are thread-safe. Open ports keep their amplifier alive.
// Never drop the last reference to an amplifier from its own thread (inside
// handleHostMessage or a scheduled function).

#include "device/MidiPortLayer.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace emu
{

struct AmplifierFaults
{
    bool failOpenInput = false;  // opening its input port fails
    bool failOpenOutput = false; // opening its output port fails
    bool silent = false;         // receives requests, never handles them
    int replyDelayMs = 0;        // every reply is held back this long
    int replyPieces = 1;         // every reply arrives in this many pieces
    bool noise = false;          // channel messages and stray bytes around every reply
};

struct AmplifierConfig
{
    juce::String inputName = "Tolvo K7";  // the host's MIDI input (the amplifier's sender)
    juce::String outputName = "Tolvo K7"; // the host's MIDI output (the amplifier's receiver)
    uint32_t replyWord = 0x4B374150;
};

class Amplifier
{
public:
    using Config = AmplifierConfig;

    explicit Amplifier(Config config = Config());
    virtual ~Amplifier();

    // Builds an amplifier (or a derived one) whose thread is stopped before
    // any part of it is destroyed.
    template <typename T = Amplifier, typename... Args> static std::shared_ptr<T> create(Args&&... args)
    {
        return std::shared_ptr<T>(new T(std::forward<Args>(args)...),
                                  [](T* amp)
                                  {
                                      amp->shutdown();
                                      delete amp;
                                  });
    }

    juce::String getInputName() const;
    juce::String getOutputName() const;
    uint32_t getReplyWord() const { return config.replyWord; }
    // Lists the ports under other names from now on, as a bootloader that
    // enumerates under a name of its own would; ports open stay open.
    void renamePorts(const juce::String& inputName, const juce::String& outputName);

    void setFaults(const AmplifierFaults& faults);
    AmplifierFaults getFaults() const;

    // The probe reply's payload; by default the reply word's four bytes.
    void setProbeReplyPayload(std::vector<uint8_t> payload);

    // Unplugging removes both ports from the listings; ports open at that
    // moment stay dead even after the amplifier is plugged in again, and
    // replies not yet delivered are lost. unplugFor plugs it back in after
    // the given time, as a restarting amplifier would.
    void plug();
    void unplug();
    void unplugFor(int milliseconds);
    bool isPlugged() const;

    // Every message the host sent to a live output port, oldest first.
    std::vector<std::vector<uint8_t>> getReceivedMessages() const;
    void clearReceivedMessages();
    int getOpenInputCount() const;
    int getOpenOutputCount() const;

    // Sends bytes to the host's open, started input ports after delayMs, cut
    // into `pieces` consecutive messages (one callback each), with no fault
    // applied.
    void sendToHost(std::vector<uint8_t> bytes, int delayMs = 0, int pieces = 1);

    // Sends one reply with the faults applied: delay, split and noise.
    void reply(std::vector<uint8_t> message);

    // Sends message whole as the amplifier's last words: it unplugs as the
    // message goes out, so whatever the host sends in answer finds it gone.
    void replyThenUnplug(std::vector<uint8_t> message);

    // Sends message every intervalMs while plugged, until stopRepeating (or
    // another repeatToHost, which replaces it).
    void repeatToHost(std::vector<uint8_t> message, int intervalMs);
    void stopRepeating();

    // Runs fn on the amplifier's thread after delayMs.
    void schedule(int delayMs, std::function<void()> fn);

    // Waits until the amplifier's thread has run everything due within
    // delayMs from now: what a test expects not to happen by then has had its
    // chance. False when that takes longer than timeoutMs.
    bool settle(int delayMs = 0, int timeoutMs = 15000);

    // Stops the thread; pending work is dropped. Called by the destructor.
    void shutdown();

protected:
    // The amplifier's request handler: runs on its thread for every message
    // the host sent, unless the amplifier is silent. The base answers the
    // probe and ignores everything else.
    virtual void handleHostMessage(const std::vector<uint8_t>& message);

    // The Data 18 probe reply for a probe that arrived on sessionId.
    std::vector<uint8_t> makeProbeReply(uint8_t sessionId) const;

private:
    friend class EmulatedPortLayer;
    class InputPort;
    class OutputPort;
    using Clock = std::chrono::steady_clock;

    std::unique_ptr<mv::MidiInputPort> openInput(std::shared_ptr<Amplifier> self,
                                                 mv::MidiInputPortCallback* callback);
    std::unique_ptr<mv::MidiOutputPort> openOutput(std::shared_ptr<Amplifier> self);
    // False when the port is dead: the amplifier was unplugged since it opened.
    bool receiveFromHost(unsigned portGeneration, const juce::MidiMessage& message);
    // Hands bytes to the started inputs of generation; with thenUnplug the
    // amplifier unplugs before the callbacks run.
    void deliver(unsigned generation, const std::vector<uint8_t>& bytes, bool thenUnplug = false);
    void repeat(unsigned token, std::vector<uint8_t> message, int intervalMs);
    void scheduleLocked(Clock::time_point when, std::function<void()> fn);
    void run();

    const Config config;

    mutable std::mutex mutex; // everything below but callbackMutex
    std::condition_variable wake;
    juce::String inputName;
    juce::String outputName;
    AmplifierFaults faults;
    std::vector<uint8_t> probePayload;
    bool plugged = true;
    unsigned generation = 0; // changes on every unplug
    std::vector<InputPort*> inputs;
    int openOutputs = 0;
    std::vector<std::vector<uint8_t>> received;
    unsigned repeatToken = 0;
    std::multimap<Clock::time_point, std::function<void()>> events;
    bool stopping = false;

    // Held while a host callback runs; an input port's destructor takes it,
    // so no callback runs once that destructor has returned. Taken before
    // `mutex`, never while holding it.
    std::recursive_mutex callbackMutex;

    std::thread worker;
};

} // namespace emu
