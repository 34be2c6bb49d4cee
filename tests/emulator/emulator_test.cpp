#include "emulator/AmpFrames.h"
#include "emulator/Amplifier.h"
#include "emulator/EmulatedPortLayer.h"

#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace
{

using Bytes = std::vector<uint8_t>;

const Bytes probe{0xF0, 0x01, 0x00, 0x00, 0x02, 0x12, 0xF7};

// Collects what an input port delivers, one entry per callback.
class Collector : public mv::MidiInputPortCallback
{
public:
    void handleIncomingMidiMessage(mv::MidiInputPort* source, const juce::MidiMessage& message) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        lastSource = source;
        const auto* data = message.getRawData();
        messages.emplace_back(data, data + message.getRawDataSize());
        changed.notify_all();
    }

    // Waits until at least n messages arrived or the time is up.
    std::vector<Bytes> waitFor(size_t n, int ms = 15000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return messages.size() >= n; });
        return messages;
    }

    std::vector<Bytes> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }

    mv::MidiInputPort* lastSource = nullptr;

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Bytes> messages;
};

void send(mv::MidiOutputPort& out, const Bytes& bytes)
{
    out.sendMessageNow(juce::MidiMessage(bytes.data(), int(bytes.size())));
}

struct Fixture : ::testing::Test
{
    std::shared_ptr<emu::EmulatedPortLayer> layer = std::make_shared<emu::EmulatedPortLayer>();
    std::shared_ptr<emu::Amplifier> amp =
        emu::Amplifier::create(emu::AmplifierConfig{"Tolvo K7 In", "Tolvo K7 Out", 0x11223344});
    Collector collector;

    void SetUp() override { layer->addAmplifier(amp); }
};

} // namespace

TEST(AmpFrames, ProbeReplyIsComputedFromTheWireFormat)
{
    // Payload 44 33 22 91: the last byte has bit 7 set, so flags 0x08 and 0x11.
    const Bytes frame = emu::makeFrame(0, 3, 18, {0x44, 0x33, 0x22, 0x91});
    const Bytes expected{0xF0, 0x01, 0x00, uint8_t((0x08 ^ 0x44 ^ 0x33 ^ 0x22 ^ 0x11) & 0x7F),
                         0x03, 0x12, 0x08, 0x44,
                         0x33, 0x22, 0x11, 0xF7};
    EXPECT_EQ(frame, expected);
    emu::ParsedFrame parsed;
    ASSERT_TRUE(emu::parseFrame(frame, parsed));
    EXPECT_EQ(parsed.payload, (Bytes{0x44, 0x33, 0x22, 0x91}));
    Bytes corrupt = frame;
    corrupt[3] ^= 1;
    EXPECT_FALSE(emu::parseFrame(corrupt, parsed));
}

TEST_F(Fixture, AnswersTheProbeOnItsInput)
{
    EXPECT_EQ(layer->getInputNames(), juce::StringArray("Tolvo K7 In"));
    EXPECT_EQ(layer->getOutputNames(), juce::StringArray("Tolvo K7 Out"));
    auto in = layer->openInput(0, &collector);
    auto out = layer->openOutput(0);
    ASSERT_TRUE(in && out);
    EXPECT_FALSE(layer->openInput(1, &collector));
    EXPECT_FALSE(layer->openOutput(-1));
    in->start();
    send(*out, probe);
    const auto got = collector.waitFor(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], emu::makeFrame(0, 3, 18, {0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(got[0].size(), 12u);
    EXPECT_EQ(collector.lastSource, in.get());
    EXPECT_EQ(amp->getReceivedMessages(), std::vector<Bytes>{probe});
}

TEST_F(Fixture, StoppedInputGetsNothing)
{
    auto in = layer->openInput(0, &collector);
    auto out = layer->openOutput(0);
    send(*out, probe); // not started
    amp->sendToHost({0xC0, 0x01}, 30);
    ASSERT_TRUE(amp->settle(30));
    EXPECT_TRUE(collector.snapshot().empty());
}

TEST_F(Fixture, SplitsAndAddsNoiseOnRequest)
{
    auto in = layer->openInput(0, &collector);
    auto out = layer->openOutput(0);
    in->start();
    emu::AmplifierFaults noisySplit;
    noisySplit.replyPieces = 3;
    noisySplit.noise = true;
    amp->setFaults(noisySplit);
    send(*out, probe);
    const auto got = collector.waitFor(8);
    ASSERT_EQ(got.size(), 8u);
    // Noise ahead, the reply in three pieces, noise after.
    EXPECT_EQ(got[0], (Bytes{0xB0, 0x07, 0x64}));
    EXPECT_EQ(got[1], (Bytes{0x90, 0x3C, 0x40}));
    EXPECT_EQ(got[2], (Bytes{0xF0, 0x01, 0x02}));
    Bytes joined;
    for (int i = 3; i < 6; ++i)
        joined.insert(joined.end(), got[size_t(i)].begin(), got[size_t(i)].end());
    EXPECT_EQ(joined, emu::makeFrame(0, 3, 18, {0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(got[6], (Bytes{0xC0, 0x05}));
    EXPECT_EQ(got[7], (Bytes{0xB0, 0x0B, 0x7F}));
}

TEST_F(Fixture, FaultsOpenFailureSilenceAndDelay)
{
    emu::AmplifierFaults failingInput;
    failingInput.failOpenInput = true;
    amp->setFaults(failingInput);
    EXPECT_FALSE(layer->openInput(0, &collector));
    emu::AmplifierFaults failingOutput;
    failingOutput.failOpenOutput = true;
    amp->setFaults(failingOutput);
    EXPECT_FALSE(layer->openOutput(0));

    emu::AmplifierFaults silent;
    silent.silent = true;
    amp->setFaults(silent);
    auto in = layer->openInput(0, &collector);
    auto out = layer->openOutput(0);
    in->start();
    send(*out, probe);
    ASSERT_TRUE(amp->settle());
    EXPECT_TRUE(collector.snapshot().empty());
    EXPECT_EQ(amp->getReceivedMessages().size(), 1u); // silent, but it heard

    emu::AmplifierFaults late;
    late.replyDelayMs = 150;
    amp->setFaults(late);
    const auto sent = std::chrono::steady_clock::now();
    send(*out, probe);
    ASSERT_TRUE(amp->settle()); // what was due by now has run: not the reply
    EXPECT_TRUE(collector.snapshot().empty());
    ASSERT_EQ(collector.waitFor(1).size(), 1u);
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(150));
}

TEST_F(Fixture, UnplugKillsOpenPortsUntilReopened)
{
    auto in = layer->openInput(0, &collector);
    auto out = layer->openOutput(0);
    in->start();
    amp->unplug();
    EXPECT_TRUE(layer->getInputNames().isEmpty());
    EXPECT_TRUE(layer->getOutputNames().isEmpty());
    EXPECT_FALSE(layer->openInput(0, &collector));
    send(*out, probe);
    amp->plug();
    send(*out, probe); // the old port stays dead
    amp->sendToHost({0xC0, 0x01});
    ASSERT_TRUE(amp->settle());
    EXPECT_TRUE(collector.snapshot().empty());
    EXPECT_TRUE(amp->getReceivedMessages().empty());

    Collector fresh;
    auto in2 = layer->openInput(0, &fresh);
    auto out2 = layer->openOutput(0);
    in2->start();
    send(*out2, probe);
    EXPECT_EQ(fresh.waitFor(1).size(), 1u);
    ASSERT_TRUE(amp->settle());
    EXPECT_TRUE(collector.snapshot().empty());
}

TEST_F(Fixture, UnplugForComesBack)
{
    amp->unplugFor(50);
    EXPECT_FALSE(amp->isPlugged());
    EXPECT_TRUE(testsupport::waitUntil([&] { return amp->isPlugged(); }));
    EXPECT_EQ(layer->getInputNames().size(), 1);
}

TEST_F(Fixture, PortsInListOrderAcrossAmplifiers)
{
    auto second = emu::Amplifier::create(emu::AmplifierConfig{"Synth", "Synth", 1});
    layer->addAmplifier(second);
    EXPECT_EQ(layer->getInputNames(), juce::StringArray("Tolvo K7 In", "Synth"));
    amp->unplug();
    EXPECT_EQ(layer->getInputNames(), juce::StringArray("Synth"));
    auto out = layer->openOutput(0);
    send(*out, probe);
    EXPECT_EQ(second->getReceivedMessages().size(), 1u) << "recorded as it is sent";
}

// The extension point: a subclass answers its own requests and passes the
// rest on.
class EchoAmp : public emu::Amplifier
{
public:
    using emu::Amplifier::Amplifier;

protected:
    void handleHostMessage(const Bytes& message) override
    {
        emu::ParsedFrame frame;
        if (emu::parseFrame(message, frame) && frame.command == 35)
            reply(emu::makeFrame(frame.sessionId, 3, 35, {'S', 'N'}));
        else
            emu::Amplifier::handleHostMessage(message);
    }
};

TEST_F(Fixture, SubclassHandlesItsOwnRequests)
{
    auto echo = emu::Amplifier::create<EchoAmp>(emu::AmplifierConfig{});
    emu::EmulatedPortLayer own;
    own.addAmplifier(echo);
    auto in = own.openInput(0, &collector);
    auto out = own.openOutput(0);
    in->start();
    send(*out, emu::makeFrame(5, 2, 35));
    send(*out, probe);
    const auto got = collector.waitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], emu::makeFrame(5, 3, 35, {'S', 'N'}));
    EXPECT_EQ(got[1].size(), 12u);
}

// Closing an input while the amplifier floods it: no callback after the
// destructor returns, and destruction of everything joins without hanging.
class CountingCallback : public mv::MidiInputPortCallback
{
public:
    void handleIncomingMidiMessage(mv::MidiInputPort*, const juce::MidiMessage&) override
    {
        ++calls;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::atomic<int> calls{0};
};

TEST_F(Fixture, NoCallbackAfterInputDestroyed)
{
    for (int round = 0; round < 20; ++round)
    {
        auto counting = std::make_unique<CountingCallback>();
        auto in = layer->openInput(0, counting.get());
        in->start();
        for (int i = 0; i < 50; ++i)
            amp->sendToHost({0xC0, uint8_t(i)});
        ASSERT_TRUE(testsupport::waitUntil([&] { return counting->calls > 0; }));
        in.reset();
        const int after = counting->calls;
        ASSERT_TRUE(amp->settle()); // every message of the flood delivered or dropped
        EXPECT_EQ(counting->calls, after);
    }
    EXPECT_EQ(amp->getOpenInputCount(), 0);
}
