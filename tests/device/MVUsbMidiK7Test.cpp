#include "EmulatorFixture.h"

#include "device/CommandFrame.h"
#include "device/Discovery.h"
#include "device/MVUsbMidiK7.h"

namespace
{

using Bytes = std::vector<uint8_t>;

// Answers Get 35 on the request's session with the serial number.
class SerialAmp : public emu::Amplifier
{
public:
    using emu::Amplifier::Amplifier;

protected:
    void handleHostMessage(const Bytes& message) override
    {
        emu::ParsedFrame frame;
        if (emu::parseFrame(message, frame) && frame.messageClass == 2 && frame.command == 35)
            reply(emu::makeFrame(frame.sessionId, 3, 35, {'S', 'N', '-', 0x81}));
        else
            emu::Amplifier::handleHostMessage(message);
    }
};

struct MVUsbMidiK7Test : EmulatorFixture
{
    std::shared_ptr<SerialAmp> amp;
    const DeviceKey key{0x0A0B0C0D, 12};

    void SetUp() override
    {
        EmulatorFixture::SetUp();
        addAmp("Synth", 1);
        amp = addAmp<SerialAmp>("Tolvo K7", key.replyWord);
        discoverDevices(testProbeWaitMs);
        ASSERT_EQ(copyDeviceRecords().size(), 1u);
        amp->clearReceivedMessages();
    }

    // One Get 35 on a fresh session id; the reply's length or -1.
    int readSerial(MVDevice& device, Bytes& reply)
    {
        const int sid = device.acquireSessionId();
        uint8_t request[7];
        const int length =
            buildCommandFrame(uint8_t(sid), MessageClass::Get, CommandId::SerialNumber, nullptr, 0, request);
        if (device.send(request, length) != length)
            return -1;
        reply.assign(1024, 0);
        const int got = device.receive(unsigned(sid), reply.data(), 2000, int(reply.size()));
        device.releaseSessionId(unsigned(sid));
        reply.resize(size_t(std::max(got, 0)));
        return got;
    }
};

} // namespace

TEST_F(MVUsbMidiK7Test, OpenCloseReopen)
{
    MVUsbMidiK7 device(key);
    EXPECT_EQ(*device.getDeviceKey(), key);
    EXPECT_EQ(amp->getOpenInputCount(), 0);
    ASSERT_TRUE(device.open());
    EXPECT_EQ(amp->getOpenInputCount(), 1);
    EXPECT_EQ(amp->getOpenOutputCount(), 1);
    ASSERT_TRUE(device.open()); // already open: nothing more is opened
    EXPECT_EQ(amp->getOpenInputCount(), 1);
    device.close();
    EXPECT_EQ(amp->getOpenInputCount(), 0);
    EXPECT_EQ(amp->getOpenOutputCount(), 0);
    device.close();
    ASSERT_TRUE(device.open());
    EXPECT_EQ(amp->getOpenInputCount(), 1);
    // One empty message per close, unread; a device closed many times holds
    // no more than a queue's limit of them.
    EXPECT_EQ(device.getCloseQueue().size(), 2u);
    for (int i = 0; i < 300; ++i)
        device.close();
    EXPECT_EQ(device.getCloseQueue().size(), MVQueue::maxMessages);
}

TEST_F(MVUsbMidiK7Test, OpenFromABackgroundThreadWaitsForTheMessageThread)
{
    MVUsbMidiK7 device(key);
    bool opened = false;
    runInBackground([&] { opened = device.open(); });
    EXPECT_TRUE(opened);
    EXPECT_EQ(amp->getOpenInputCount(), 1);
}

TEST_F(MVUsbMidiK7Test, OpenFailures)
{
    MVUsbMidiK7 unknown(DeviceKey{key.replyWord, 13});
    EXPECT_FALSE(unknown.open());

    MVUsbMidiK7 device(key);
    emu::AmplifierFaults f;
    f.failOpenOutput = true;
    amp->setFaults(f);
    EXPECT_FALSE(device.open());
    EXPECT_EQ(amp->getOpenInputCount(), 0); // the input opened first is closed again
    EXPECT_EQ(device.writeRaw(reinterpret_cast<const uint8_t*>("\xF0\xF7"), 2), -1);
}

TEST(FindPortIndex, FollowsTheNameOrRefuses)
{
    const juce::StringArray ports{"Synth", "Tolvo K7", "Keyboard", "Tolvo K7 B"};
    const juce::StringArray twins{"Tolvo K7", "Synth", "Tolvo K7"};
    struct Case
    {
        const char* name;
        const juce::StringArray& listed;
        juce::String wanted;
        int recordedIndex;
        int carriers; // ports of the name the discovery saw
        int expected;
    };
    const Case cases[] = {
        {"still where it was", ports, "Tolvo K7", 1, 1, 1},
        {"moved back", ports, "Keyboard", 0, 1, 2},
        {"moved forward", ports, "Synth", 3, 1, 0},
        {"recorded index past the list", ports, "Keyboard", 9, 1, 2},
        // A name gone altogether (a bootloader of its own name): the
        // recorded index, while an amplifier's name is there.
        {"gone, an amplifier's name at its index", ports, "Tolvo K7 C", 3, 1, 3},
        {"gone, another device's name at its index", ports, "Tolvo K7 C", 2, 1, -1},
        {"gone, its index past the list", ports, "Tolvo K7 C", 4, 1, -1},
        {"no name recorded keeps the index", ports, "", 3, 0, 3},
        {"two carry the name, neither at its index", twins, "Tolvo K7", 1, 2, -1},
        {"two carried it at discovery, still at its index", twins, "Tolvo K7", 2, 2, 2},
        {"a second port of the name came since, at the old index", twins, "Tolvo K7", 0, 1, -1},
        {"a second port of the name came since, elsewhere", twins, "Tolvo K7", 2, 1, -1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(findPortIndex(c.listed, c.wanted, c.recordedIndex, c.carriers), c.expected);
    }
}

// A reopen after the amplifier came back at another index goes to the
// amplifier, never to the port that now sits at its old index.
TEST_F(MVUsbMidiK7Test, ReopenFollowsThePortsByName)
{
    MVUsbMidiK7 device(key);
    ASSERT_TRUE(device.open());
    device.close();
    const auto synth = layer->getAmplifiers().front();
    layer->removeAmplifier(synth); // the amplifier moves from index 1 to 0
    ASSERT_TRUE(device.open());
    Bytes reply;
    EXPECT_GT(readSerial(device, reply), 0);
    device.close();

    // A second amplifier of the name comes and sits at the old index 1: the
    // two cannot be told apart, so neither is opened.
    auto twin = addAmp("Tolvo K7", 2);
    amp->clearReceivedMessages();
    EXPECT_FALSE(device.open());
    EXPECT_EQ(amp->getOpenInputCount() + twin->getOpenInputCount(), 0);

    // Two ports of the amplifier's name, neither at its old index: refused.
    layer->insertAmplifier(0, synth);
    layer->insertAmplifier(0, emu::Amplifier::create(emu::AmplifierConfig{"Keyboard", "Keyboard", 3}));
    amp->clearReceivedMessages();
    EXPECT_FALSE(device.open());
    EXPECT_EQ(amp->getOpenInputCount() + twin->getOpenInputCount(), 0);
}

TEST_F(MVUsbMidiK7Test, WriteToAVanishedDeviceFails)
{
    MVUsbMidiK7 device(key);
    ASSERT_TRUE(device.open());
    const Bytes probe{0xF0, 0x01, 0x00, 0x00, 0x02, 0x12, 0xF7};
    EXPECT_EQ(device.send(probe.data(), 7), 7);
    amp->unplug();
    EXPECT_EQ(device.send(probe.data(), 7), -1);
    amp->plug();
    EXPECT_EQ(device.send(probe.data(), 7), -1) << "a port of the amplifier before it went stays dead";
}

TEST_F(MVUsbMidiK7Test, KeepsTheRecordOfTheLastSuccessfulOpen)
{
    MVUsbMidiK7 device(key);
    ASSERT_TRUE(device.open());
    device.close();
    amp->unplug();
    discoverDevices(testProbeWaitMs);
    ASSERT_TRUE(copyDeviceRecords().empty());
    amp->plug();
    EXPECT_TRUE(device.open());
}

TEST_F(MVUsbMidiK7Test, ReplyReachesTheQueueOfItsSession)
{
    struct
    {
        const char* what;
        int pieces;
        bool noise;
    } cases[] = {{"whole", 1, false}, {"in pieces", 4, false}, {"with noise", 1, true}, {"both", 5, true}};
    MVUsbMidiK7 device(key);
    ASSERT_TRUE(device.open());
    const Bytes expected = emu::makeFrame(0, 3, 35, {'S', 'N', '-', 0x81}); // session patched below
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        emu::AmplifierFaults f;
        f.replyPieces = c.pieces;
        f.noise = c.noise;
        amp->setFaults(f);
        Bytes reply;
        ASSERT_GT(readSerial(device, reply), 0);
        Bytes want = expected;
        want[2] = reply[2];
        EXPECT_EQ(reply, want);
        EXPECT_GE(reply[2], 1); // a session of its own, not the device's
    }
}

TEST_F(MVUsbMidiK7Test, SendsEachFrameWholeAsOneMessage)
{
    MVUsbMidiK7 device(key);
    ASSERT_TRUE(device.open());
    Bytes frame(300, 0x11);
    frame.front() = 0xF0;
    frame.back() = 0xF7;
    EXPECT_EQ(device.send(frame.data(), int(frame.size())), 300);
    ASSERT_TRUE(pumpUntil([&] { return !amp->getReceivedMessages().empty(); }));
    EXPECT_EQ(amp->getReceivedMessages(), std::vector<Bytes>{frame});
}

TEST_F(MVUsbMidiK7Test, WriteOnClosedPortsSendsNothing)
{
    const Bytes probe{0xF0, 0x01, 0x00, 0x00, 0x02, 0x12, 0xF7};
    MVUsbMidiK7 never(key);
    EXPECT_EQ(never.writeRaw(probe.data(), 7), -1);
    EXPECT_EQ(never.send(probe.data(), 7), -1);

    MVUsbMidiK7 device(key);
    ASSERT_TRUE(device.open());
    device.close();
    EXPECT_EQ(device.writeRaw(probe.data(), 7), -1);
    EXPECT_EQ(device.send(probe.data(), 7), -1);
    EXPECT_TRUE(amp->getReceivedMessages().empty()) << "recorded as they are sent";
}

TEST_F(MVUsbMidiK7Test, NoReplyAfterClose)
{
    MVUsbMidiK7 device(key);
    ASSERT_TRUE(device.open());
    emu::AmplifierFaults f;
    f.replyDelayMs = 30;
    amp->setFaults(f);
    const int sid = device.acquireSessionId();
    const Bytes request = emu::makeFrame(uint8_t(sid), 2, 35);
    ASSERT_EQ(device.send(request.data(), int(request.size())), 7);
    device.close();
    uint8_t buffer[64];
    EXPECT_EQ(device.receive(unsigned(sid), buffer, 100, int(sizeof buffer)), -1);
}

class HookedDevice : public MVUsbMidiK7
{
public:
    using MVUsbMidiK7::MVUsbMidiK7;
    ~HookedDevice() override { close(); }
    void onIncomingMidiMessage(const juce::MidiMessage&) override { ++incoming; }
    void onOutgoingMidiMessage(juce::MidiMessage&) override { ++outgoing; }
    std::atomic<int> incoming{0}, outgoing{0};
};

TEST_F(MVUsbMidiK7Test, HooksSeeEveryMessage)
{
    HookedDevice device(key);
    ASSERT_TRUE(device.open());
    emu::AmplifierFaults f;
    f.replyPieces = 3;
    amp->setFaults(f);
    Bytes reply;
    ASSERT_GT(readSerial(device, reply), 0);
    EXPECT_EQ(device.outgoing, 1);
    EXPECT_EQ(device.incoming, 3);
}
