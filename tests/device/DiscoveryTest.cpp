#include "EmulatorFixture.h"

#include "device/Discovery.h"

#include <string>

namespace
{

struct Record
{
    uint32_t word, length;
    int32_t input, output;
    bool operator==(const Record& o) const
    {
        return word == o.word && length == o.length && input == o.input && output == o.output;
    }
};

void PrintTo(const Record& r, std::ostream* os)
{
    *os << "{" << std::hex << r.word << std::dec << ", " << r.length << ", " << r.input << ", " << r.output
        << "}";
}

std::vector<Record> records()
{
    std::vector<Record> result;
    for (const DeviceRecord& r : copyDeviceRecords())
        result.push_back({r.replyWord, r.replyLength, r.midiInputIndex, r.midiOutputIndex});
    return result;
}

struct PortSpec
{
    const char* name;
    uint32_t word;
    emu::AmplifierFaults faults;
};

struct DiscoveryCase
{
    const char* what;
    std::vector<PortSpec> ports;
    std::vector<Record> expected;
};

const emu::AmplifierFaults none{};
emu::AmplifierFaults failInput()
{
    emu::AmplifierFaults f;
    f.failOpenInput = true;
    return f;
}
emu::AmplifierFaults failOutput()
{
    emu::AmplifierFaults f;
    f.failOpenOutput = true;
    return f;
}
emu::AmplifierFaults silent()
{
    emu::AmplifierFaults f;
    f.silent = true;
    return f;
}
emu::AmplifierFaults late()
{
    emu::AmplifierFaults f;
    f.replyDelayMs = testProbeWaitMs * 3;
    return f;
}
emu::AmplifierFaults noisy()
{
    emu::AmplifierFaults f;
    f.noise = true;
    return f;
}

const std::vector<DiscoveryCase> discoveryCases{
    {"no ports", {}, {}},
    {"one amplifier", {{"Tolvo K7", 0xA1B2C3D4, none}}, {{0xA1B2C3D4, 12, 0, 0}}},
    {"two amplifiers", {{"Tolvo K7", 1, none}, {"Tolvo K7 #2", 2, none}}, {{1, 12, 0, 0}, {2, 12, 1, 1}}},
    {"K7 anywhere in the name", {{"USB-MIDI K7x", 7, none}}, {{7, 12, 0, 0}}},
    {"Tolvo anywhere in the name", {{"my tolvo Tolvo", 8, none}}, {{8, 12, 0, 0}}},
    {"other letter case does not match", {{"tolvo k7", 9, none}, {"TOLVO", 10, none}}, {}},
    {"a non-matching port is not probed",
     {{"USB MIDI Keyboard", 3, none}, {"Tolvo K7", 4, none}},
     {{4, 12, 1, 1}}},
    {"a silent port", {{"Tolvo K7", 5, silent()}}, {}},
    {"an input that fails to open", {{"Tolvo K7", 6, failInput()}}, {}},
    {"an output that fails to open", {{"Tolvo K7", 6, failOutput()}}, {}},
    {"an answer after the probe window", {{"Tolvo K7", 11, late()}}, {}},
    {"garbage and channel messages around the reply", {{"Tolvo K7", 12, noisy()}}, {{12, 12, 0, 0}}},
    {"faulty ports beside a good one",
     {{"Tolvo K7 a", 20, failInput()}, {"Tolvo K7 b", 21, silent()}, {"Tolvo K7 c", 22, noisy()}},
     {{22, 12, 2, 2}}},
};

} // namespace

using DiscoveryTest = EmulatorFixture;

TEST_F(DiscoveryTest, CasesFromBackgroundThread)
{
    for (const DiscoveryCase& c : discoveryCases)
    {
        SCOPED_TRACE(c.what);
        layer = std::make_shared<emu::EmulatedPortLayer>();
        mv::setMidiPortLayer(layer);
        for (const PortSpec& p : c.ports)
            addAmp(p.name, p.word)->setFaults(p.faults);
        runInBackground([] { discoverDevices(testProbeWaitMs); });
        EXPECT_EQ(records(), c.expected);
    }
}

TEST_F(DiscoveryTest, RunsOnTheMessageThreadToo)
{
    addAmp("Tolvo K7", 0x01020304);
    discoverDevices(testProbeWaitMs);
    EXPECT_EQ(records(), (std::vector<Record>{{0x01020304, 12, 0, 0}}));
}

TEST_F(DiscoveryTest, PrintsEveryPortAndEachStep)
{
    addAmp("Synth", 1);
    addAmp("Tolvo K7", 2);
    testing::internal::CaptureStdout();
    discoverDevices(testProbeWaitMs);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Found MIDI IN device:Synth\n"
                   "Found MIDI IN device:Tolvo K7\n"
                   "Start this MIDI input device\n"
                   "Found MIDI OUT device:Synth\n"
                   "Found MIDI OUT device:Tolvo K7\n"
                   "This MIDI Out device is available\n");
}

TEST_F(DiscoveryTest, ClearsTheRecordsOfTheLastDiscovery)
{
    auto amp = addAmp("Tolvo K7", 1);
    discoverDevices(testProbeWaitMs);
    ASSERT_EQ(records().size(), 1u);
    amp->unplug();
    discoverDevices(testProbeWaitMs);
    EXPECT_TRUE(records().empty());
}

TEST_F(DiscoveryTest, ReplyWordFromPayloadOfAnyLength)
{
    struct
    {
        std::vector<uint8_t> payload;
        uint32_t word;
        uint32_t length;
    } cases[] = {
        {{}, 0, 7},
        {{0x34, 0x12}, 0x1234, 10},
        {{0x01, 0x02, 0x03, 0x84}, 0x84030201, 12},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9}, 0x04030201, 18},
    };
    auto amp = addAmp("Tolvo K7", 0);
    for (const auto& c : cases)
    {
        amp->setProbeReplyPayload(c.payload);
        discoverDevices(testProbeWaitMs);
        EXPECT_EQ(records(), (std::vector<Record>{{c.word, c.length, 0, 0}})) << c.payload.size() << " bytes";
    }
}

// Answers every probe twice.
class DoubleReplyAmp : public emu::Amplifier
{
public:
    using emu::Amplifier::Amplifier;

protected:
    void handleHostMessage(const std::vector<uint8_t>& message) override
    {
        emu::Amplifier::handleHostMessage(message);
        emu::Amplifier::handleHostMessage(message);
    }
};

TEST_F(DiscoveryTest, OneRecordPerInputAndDiscovery)
{
    addAmp<DoubleReplyAmp>("Tolvo K7", 5);
    discoverDevices(testProbeWaitMs);
    EXPECT_EQ(records(), (std::vector<Record>{{5, 12, 0, 0}}));
}

TEST_F(DiscoveryTest, LateReplyIsRecordedWithTheOutputProbedLast)
{
    // The first amplifier answers while the second output's window runs.
    const int window = 150;
    auto first = addAmp("Tolvo K7 a", 1);
    emu::AmplifierFaults f;
    f.replyDelayMs = window + window / 2;
    first->setFaults(f);
    addAmp("Tolvo K7 b", 2)->setFaults(silent());
    discoverDevices(window);
    // The final check opens input 0 with output 1: both exist, so it stays.
    EXPECT_EQ(records(), (std::vector<Record>{{1, 12, 0, 1}}));
}

// Answers the probe, then refuses to open its input again.
class OnceOnlyAmp : public emu::Amplifier
{
public:
    using emu::Amplifier::Amplifier;

protected:
    void handleHostMessage(const std::vector<uint8_t>& message) override
    {
        emu::Amplifier::handleHostMessage(message);
        auto f = getFaults();
        f.failOpenInput = true;
        setFaults(f);
    }
};

TEST_F(DiscoveryTest, FinalCheckDropsDevicesWhosePortsNoLongerOpen)
{
    addAmp("Tolvo K7 a", 1);
    addAmp<OnceOnlyAmp>("Tolvo K7 b", 2);
    addAmp("Tolvo K7 c", 3);
    discoverDevices(testProbeWaitMs);
    EXPECT_EQ(records(), (std::vector<Record>{{1, 12, 0, 0}, {3, 12, 2, 2}}));
    for (const auto& amp : layer->getAmplifiers())
    {
        EXPECT_EQ(amp->getOpenInputCount(), 0);
        EXPECT_EQ(amp->getOpenOutputCount(), 0);
    }
}

// A message thread that reads the records while a background discovery runs
// its final check must not deadlock against it.
TEST_F(DiscoveryTest, MessageThreadMayReadRecordsDuringBackgroundDiscovery)
{
    addAmp("Tolvo K7 a", 1);
    addAmp("Tolvo K7 b", 2);
    int reads = 0;
    for (int round = 0; round < 5; ++round)
        runInBackground([] { discoverDevices(10); },
                        [&]
                        {
                            DeviceRecord out;
                            findDeviceRecord(DeviceKey{1, 12}, out);
                            reads += int(copyDeviceRecords().size());
                        });
    EXPECT_EQ(records().size(), 2u);
    EXPECT_GT(reads, 0);
}

TEST_F(DiscoveryTest, FindDeviceRecordTakesTheFirstWithTheKey)
{
    addAmp("Tolvo K7 a", 9);
    addAmp("Tolvo K7 b", 9);
    discoverDevices(testProbeWaitMs);
    ASSERT_EQ(records().size(), 2u);
    DeviceRecord out{};
    ASSERT_TRUE(findDeviceRecord(DeviceKey{9, 12}, out));
    EXPECT_EQ(out.midiInputIndex, 0);
    EXPECT_FALSE(findDeviceRecord(DeviceKey{9, 13}, out));
}

TEST(PortNames, MatchTolvoOrK7CaseSensitive)
{
    EXPECT_TRUE(isAmplifierPortName("Tolvo"));
    EXPECT_TRUE(isAmplifierPortName("2- K7 MIDI"));
    EXPECT_TRUE(isAmplifierPortName("xTolvox"));
    EXPECT_FALSE(isAmplifierPortName("k7"));
    EXPECT_FALSE(isAmplifierPortName("TOLVO"));
    EXPECT_FALSE(isAmplifierPortName("K 7"));
    EXPECT_FALSE(isAmplifierPortName(""));
}
