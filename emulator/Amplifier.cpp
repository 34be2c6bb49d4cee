#include "emulator/Amplifier.h"

#include "emulator/AmpFrames.h"

#include <algorithm>
#include <atomic>
#include <future>

namespace emu
{

namespace
{

constexpr uint8_t commandProbe = 18;

// What a noisy line carries around a reply: controller and program changes,
// which the host must route elsewhere, a note-on that belongs to no message it
// knows, and the start of a SysEx message that never ends.
const std::vector<std::vector<uint8_t>> noiseBefore{
    {0xB0, 0x07, 0x64}, {0x90, 0x3C, 0x40}, {0xF0, 0x01, 0x02}};
const std::vector<std::vector<uint8_t>> noiseAfter{{0xC0, 0x05}, {0xB0, 0x0B, 0x7F}};

} // namespace

class Amplifier::InputPort : public mv::MidiInputPort
{
public:
    InputPort(std::shared_ptr<Amplifier> amp, mv::MidiInputPortCallback* callback, unsigned generation)
        : amp(std::move(amp)), callback(callback), generation(generation)
    {
    }

    ~InputPort() override
    {
        std::lock_guard<std::recursive_mutex> callbacks(amp->callbackMutex);
        std::lock_guard<std::mutex> lock(amp->mutex);
        auto& inputs = amp->inputs;
        inputs.erase(std::remove(inputs.begin(), inputs.end(), this), inputs.end());
    }

    void start() override { started = true; }
    void stop() override { started = false; }

    const std::shared_ptr<Amplifier> amp;
    mv::MidiInputPortCallback* const callback;
    const unsigned generation;
    std::atomic<bool> started{false};
};

class Amplifier::OutputPort : public mv::MidiOutputPort
{
public:
    OutputPort(std::shared_ptr<Amplifier> amp, unsigned generation)
        : amp(std::move(amp)), generation(generation)
    {
    }

    ~OutputPort() override
    {
        std::lock_guard<std::mutex> lock(amp->mutex);
        --amp->openOutputs;
    }

    bool sendMessageNow(const juce::MidiMessage& message) override
    {
        return amp->receiveFromHost(generation, message);
    }

private:
    const std::shared_ptr<Amplifier> amp;
    const unsigned generation;
};

Amplifier::Amplifier(Config config)
    : config(std::move(config)), inputName(this->config.inputName), outputName(this->config.outputName),
      probePayload(4)
{
    writeLe32(probePayload.data(), this->config.replyWord);
    worker = std::thread([this] { run(); });
}

juce::String Amplifier::getInputName() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return inputName;
}

juce::String Amplifier::getOutputName() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return outputName;
}

void Amplifier::renamePorts(const juce::String& newInputName, const juce::String& newOutputName)
{
    std::lock_guard<std::mutex> lock(mutex);
    inputName = newInputName;
    outputName = newOutputName;
}

Amplifier::~Amplifier()
{
    shutdown();
}

void Amplifier::shutdown()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        events.clear();
    }
    wake.notify_all();
    if (worker.joinable() && worker.get_id() != std::this_thread::get_id())
        worker.join();
}

void Amplifier::setFaults(const AmplifierFaults& newFaults)
{
    std::lock_guard<std::mutex> lock(mutex);
    faults = newFaults;
}

AmplifierFaults Amplifier::getFaults() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return faults;
}

void Amplifier::setProbeReplyPayload(std::vector<uint8_t> payload)
{
    std::lock_guard<std::mutex> lock(mutex);
    probePayload = std::move(payload);
}

void Amplifier::plug()
{
    std::lock_guard<std::mutex> lock(mutex);
    plugged = true;
}

void Amplifier::unplug()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (plugged)
        ++generation;
    plugged = false;
}

void Amplifier::unplugFor(int milliseconds)
{
    unplug();
    schedule(milliseconds, [this] { plug(); });
}

bool Amplifier::isPlugged() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return plugged;
}

std::vector<std::vector<uint8_t>> Amplifier::getReceivedMessages() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

void Amplifier::clearReceivedMessages()
{
    std::lock_guard<std::mutex> lock(mutex);
    received.clear();
}

int Amplifier::getOpenInputCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return int(inputs.size());
}

int Amplifier::getOpenOutputCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return openOutputs;
}

void Amplifier::sendToHost(std::vector<uint8_t> bytes, int delayMs, int pieces)
{
    if (bytes.empty())
        return;
    const size_t count = size_t(std::clamp(pieces, 1, int(bytes.size())));
    std::lock_guard<std::mutex> lock(mutex);
    if (!plugged)
        return;
    const unsigned gen = generation;
    const auto when = Clock::now() + std::chrono::milliseconds(std::max(delayMs, 0));
    // Pieces of nearly equal size; events due at the same time run in the
    // order they were scheduled.
    size_t from = 0;
    for (size_t i = 0; i < count; ++i)
    {
        const size_t to = bytes.size() * (i + 1) / count;
        std::vector<uint8_t> piece(bytes.begin() + long(from), bytes.begin() + long(to));
        scheduleLocked(when, [this, gen, piece = std::move(piece)] { deliver(gen, piece); });
        from = to;
    }
}

void Amplifier::reply(std::vector<uint8_t> message)
{
    const AmplifierFaults f = getFaults();
    if (f.noise)
        for (const auto& noise : noiseBefore)
            sendToHost(noise, f.replyDelayMs);
    sendToHost(std::move(message), f.replyDelayMs, f.replyPieces);
    if (f.noise)
        for (const auto& noise : noiseAfter)
            sendToHost(noise, f.replyDelayMs);
}

void Amplifier::replyThenUnplug(std::vector<uint8_t> message)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!plugged)
        return;
    const unsigned gen = generation;
    scheduleLocked(Clock::now(), [this, gen, message = std::move(message)] { deliver(gen, message, true); });
}

void Amplifier::repeatToHost(std::vector<uint8_t> message, int intervalMs)
{
    unsigned token = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        token = ++repeatToken;
    }
    if (intervalMs > 0)
        schedule(intervalMs, [this, token, message = std::move(message), intervalMs]
                 { repeat(token, message, intervalMs); });
}

void Amplifier::stopRepeating()
{
    std::lock_guard<std::mutex> lock(mutex);
    ++repeatToken;
}

void Amplifier::repeat(unsigned token, std::vector<uint8_t> message, int intervalMs)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (token != repeatToken)
            return;
    }
    sendToHost(message);
    schedule(intervalMs,
             [this, token, message = std::move(message), intervalMs] { repeat(token, message, intervalMs); });
}

void Amplifier::schedule(int delayMs, std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(mutex);
    scheduleLocked(Clock::now() + std::chrono::milliseconds(std::max(delayMs, 0)), std::move(fn));
}

bool Amplifier::settle(int delayMs, int timeoutMs)
{
    // Events due at the same time run in the order they were scheduled, so
    // this one runs after everything due before it.
    auto done = std::make_shared<std::promise<void>>();
    auto reached = done->get_future();
    schedule(delayMs, [done] { done->set_value(); });
    return reached.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
}

void Amplifier::scheduleLocked(Clock::time_point when, std::function<void()> fn)
{
    if (stopping)
        return;
    events.emplace(when, std::move(fn));
    wake.notify_all();
}

void Amplifier::handleHostMessage(const std::vector<uint8_t>& message)
{
    ParsedFrame frame;
    if (parseFrame(message, frame) && frame.messageClass == classGet && frame.command == commandProbe &&
        frame.sessionId == 0 && frame.payload.empty())
        reply(makeProbeReply(frame.sessionId));
}

std::vector<uint8_t> Amplifier::makeProbeReply(uint8_t sessionId) const
{
    std::vector<uint8_t> payload;
    {
        std::lock_guard<std::mutex> lock(mutex);
        payload = probePayload;
    }
    return makeFrame(sessionId, classData, commandProbe, payload);
}

std::unique_ptr<mv::MidiInputPort> Amplifier::openInput(std::shared_ptr<Amplifier> self,
                                                        mv::MidiInputPortCallback* callback)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!plugged || faults.failOpenInput)
        return nullptr;
    auto port = std::make_unique<InputPort>(std::move(self), callback, generation);
    inputs.push_back(port.get());
    return port;
}

std::unique_ptr<mv::MidiOutputPort> Amplifier::openOutput(std::shared_ptr<Amplifier> self)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!plugged || faults.failOpenOutput)
        return nullptr;
    ++openOutputs;
    return std::make_unique<OutputPort>(std::move(self), generation);
}

bool Amplifier::receiveFromHost(unsigned portGeneration, const juce::MidiMessage& message)
{
    const auto* data = message.getRawData();
    std::vector<uint8_t> bytes(data, data + message.getRawDataSize());
    std::lock_guard<std::mutex> lock(mutex);
    if (!plugged || portGeneration != generation)
        return false;
    received.push_back(bytes);
    if (faults.silent)
        return true;
    const unsigned gen = generation;
    scheduleLocked(Clock::now(),
                   [this, gen, bytes = std::move(bytes)]
                   {
                       {
                           std::lock_guard<std::mutex> check(mutex);
                           if (gen != generation)
                               return;
                       }
                       handleHostMessage(bytes);
                   });
    return true;
}

void Amplifier::deliver(unsigned gen, const std::vector<uint8_t>& bytes, bool thenUnplug)
{
    const juce::MidiMessage message(bytes.data(), int(bytes.size()), 0.0);
    std::lock_guard<std::recursive_mutex> callbacks(callbackMutex);
    std::vector<InputPort*> targets;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!plugged || gen != generation)
            return;
        targets = inputs;
        if (thenUnplug)
        {
            plugged = false;
            ++generation;
        }
    }
    for (InputPort* port : targets)
    {
        {
            // A callback may have closed another port meanwhile.
            std::lock_guard<std::mutex> lock(mutex);
            if (std::find(inputs.begin(), inputs.end(), port) == inputs.end())
                continue;
            if (port->generation != gen || (!thenUnplug && gen != generation) || !port->started)
                continue;
        }
        if (port->callback != nullptr)
            port->callback->handleIncomingMidiMessage(port, message);
    }
}

void Amplifier::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping)
    {
        if (events.empty())
        {
            wake.wait(lock);
            continue;
        }
        const auto due = events.begin()->first;
        if (due > Clock::now())
        {
            wake.wait_until(lock, due);
            continue;
        }
        auto fn = std::move(events.begin()->second);
        events.erase(events.begin());
        lock.unlock();
        fn();
        lock.lock();
    }
}

} // namespace emu
