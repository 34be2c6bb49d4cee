// The amplifier commands end to end: through MVUsbMidiK7 and the port layer
// into the emulated amplifier, which decodes every request from the wire
// format and answers from its own state, with its reply faults.

#include "CommandCases.h"

#include "commands/BlockTransfer.h"
#include "commands/ChannelMessageSession.h"
#include "commands/ChunkedData.h"
#include "device/Discovery.h"
#include "device/GenericDeviceSession.h"
#include "device/MVUsbMidiK7.h"
#include "device/SessionError.h"
#include "emulator/K7Amplifier.h"
#include "tests/device/EmulatorFixture.h"

#include <functional>
#include <map>
#include <thread>

using namespace cases;

namespace
{

// Long enough for any in-process reply on a loaded machine; the faults that
// leave no reply use noReplyMs.
constexpr int replyWaitMs = 3000;
constexpr int noReplyMs = 100;

struct CommandsEmulatorTest : EmulatorFixture
{
    std::shared_ptr<emu::K7Amplifier> amp;
    std::unique_ptr<MVUsbMidiK7> device;
    const DeviceKey key{0x4B374150, 12};

    void SetUp() override
    {
        EmulatorFixture::SetUp();
        amp = addAmp<emu::K7Amplifier>("Tolvo K7", key.replyWord);
        discoverDevices(testProbeWaitMs);
        ASSERT_EQ(copyDeviceRecords().size(), 1u);
        device = std::make_unique<MVUsbMidiK7>(key);
        ASSERT_TRUE(device->open());
    }

    void TearDown() override
    {
        device.reset();
        EmulatorFixture::TearDown();
    }

    emu::AmpCommandSet& commands() { return amp->getCommandSet(); }

    // Runs the session with the timeout; the result.
    bool run(MVDeviceSession& session, int timeoutMs = replyWaitMs)
    {
        session.timeoutMs = timeoutMs;
        return session.run(device.get());
    }
};

// The emulator state whose replies carry each Get's results in CommandCases.
const std::map<std::string, std::function<void(emu::AmpCommandSet&)>> prepared = {
    {"DspParamGet", [](emu::AmpCommandSet& c) { c.setDspValue("amp", 2, 0.5f); }},
    {"DspOnOffGet", [](emu::AmpCommandSet& c) { c.setDspSwitch("drive", true); }},
    {"Int32ArrayGet",
     [](emu::AmpCommandSet& c)
     {
         c.setInt32Value(1, 5);
         c.setInt32Value(300, 600);
         c.setInt32Value(70000, 0x12345678);
     }},
    {"Query22Get", [](emu::AmpCommandSet& c) { c.setQuery22Value(0x01020384, 0xC2); }},
    {"Value25Get", [](emu::AmpCommandSet& c) { c.setValue25(7); }},
    {"Values32Get", [](emu::AmpCommandSet& c) { c.setValues32(0x89ABCDEF, 42); }},
    {"Value33Get", [](emu::AmpCommandSet& c) { c.setValue33(0xFEDCBA98); }},
    {"Values40Get", [](emu::AmpCommandSet& c) { c.setValues40(1, 0x80000000, 3); }},
    {"Byte50Get", [](emu::AmpCommandSet& c) { c.setByte50(0x99); }},
    {"Records6Get",
     [](emu::AmpCommandSet& c) {
         c.setRecord(2, emu::AmpCommandSet::recordKey(1, 2), {0x01, 0x02, 0x78, 0x56, 0x34, 0x12});
     }},
    {"Records10Get",
     [](emu::AmpCommandSet& c)
     {
         c.setRecord(3, emu::AmpCommandSet::recordKey(7, 8),
                     {0x07, 0x08, 0x04, 0x03, 0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0});
     }},
    {"Records16Get", [](emu::AmpCommandSet& c) { c.setRecord(24, 0x01020304, sixteen(0x01020304)); }},
};

emu::CommandReplyFaults emulatorFaults(Fault fault)
{
    emu::CommandReplyFaults f;
    f.silent = fault == Fault::Silent;
    f.delayMs = fault == Fault::Late ? 2 * noReplyMs : 0;
    f.wrongClass = fault == Fault::WrongClass;
    f.wrongCommand = fault == Fault::WrongCommand;
    f.badChecksum = fault == Fault::BadChecksum;
    f.wrongSession = fault == Fault::WrongSession;
    f.padPayloadTo = paddedSize(fault);
    return f;
}

bool waitsInVain(Fault f)
{
    return f == Fault::Silent || f == Fault::Late || f == Fault::BadChecksum || f == Fault::WrongSession ||
           f == Fault::Over1024;
}

// Late last: its replies come after the run, for ids no later run holds
// before they have arrived.
const Fault faults[] = {Fault::None,        Fault::Silent,       Fault::WrongClass, Fault::WrongCommand,
                        Fault::BadChecksum, Fault::WrongSession, Fault::Decodes768, Fault::Decodes769,
                        Fault::Decodes889,  Fault::Over1024,     Fault::SendFails,  Fault::Late};

// Fresh sessions of the cases, their error set to 99 to show what a run
// leaves, waiting no longer than the fault needs.
template <typename Case>
std::vector<std::unique_ptr<MVDeviceSession>> makeSessions(const std::vector<Case>& cases, Fault fault)
{
    std::vector<std::unique_ptr<MVDeviceSession>> sessions;
    for (const Case& c : cases)
    {
        sessions.push_back(c.make());
        sessions.back()->error = 99;
        sessions.back()->timeoutMs = waitsInVain(fault) ? noReplyMs : replyWaitMs;
    }
    return sessions;
}

// The faults that leave every session waiting in vain run all cases at once,
// each on its own session id, so that the waits overlap. The others run one
// after the other: their replies reach the state and the session ids of the
// runs around them.
void runAll(size_t count, Fault fault, const std::function<void(size_t)>& runOne)
{
    if (waitsInVain(fault) && fault != Fault::WrongSession)
    {
        std::vector<std::thread> threads;
        for (size_t i = 0; i < count; ++i)
            threads.emplace_back(runOne, i);
        for (std::thread& t : threads)
            t.join();
    }
    else
    {
        for (size_t i = 0; i < count; ++i)
            runOne(i);
    }
}

} // namespace

TEST_F(CommandsEmulatorTest, EveryCommandAgainstEveryReplyFault)
{
    const std::vector<CommandCase> all = singleRequestCommands();

    for (Fault fault : faults)
    {
        SCOPED_TRACE(faultName(fault));
        for (const CommandCase& c : all)
            commands().setFaults(c.command, emulatorFaults(fault));
        commands().clearRequests();
        if (fault == Fault::SendFails)
            device->close();

        std::vector<std::unique_ptr<MVDeviceSession>> sessions = makeSessions(all, fault);
        std::vector<char> results(all.size());
        auto runOne = [&](size_t i)
        {
            const auto found = prepared.find(all[i].name);
            if (found != prepared.end())
                found->second(commands());
            results[i] = sessions[i]->run(device.get());
        };
        testing::internal::CaptureStdout(); // the message layer's lines for unpackable replies
        runAll(all.size(), fault, runOne);
        testing::internal::GetCapturedStdout();

        // The commands that await no reply may return before the amplifier
        // has taken their request.
        auto received = [&](const CommandCase& c)
        {
            const std::vector<emu::AmpRequest> requests = commands().getRequests();
            return std::count_if(requests.begin(), requests.end(),
                                 [&](const emu::AmpRequest& r) {
                                     return r.messageClass == c.requestClass && r.command == c.command &&
                                            r.payload == c.request;
                                 });
        };
        if (fault != Fault::SendFails)
            pumpUntil(
                [&]
                { return std::all_of(all.begin(), all.end(), [&](auto& c) { return received(c) > 0; }); });
        for (size_t i = 0; i < all.size(); ++i)
        {
            const CommandCase& c = all[i];
            SCOPED_TRACE(c.name);
            const int expected = expectedCode(c, fault);
            EXPECT_EQ(bool(results[i]), expected == 0);
            EXPECT_EQ(sessions[i]->error, expected != 0 ? expected : c.storesEveryRun ? 0 : 99);
            const auto sent = received(c);
            if (fault == Fault::SendFails)
            {
                EXPECT_EQ(sent, 0);
            }
            else
            {
                EXPECT_GE(sent, 1);
            }
            if (fault == Fault::None)
                c.check(*sessions[i]);
        }
        if (fault == Fault::SendFails)
        {
            ASSERT_TRUE(device->open());
        }
    }
    commands().clearFaults();
}

TEST_F(CommandsEmulatorTest, EveryTransferAgainstEveryReplyFault)
{
    const std::vector<TransferCase> all = transferCases();
    for (const TransferCase& c : all)
        if (c.requestClass == Get)
            commands().setBlock(c.addressA, c.addressB, c.block);
    commands().setBlockReadChunkSize(255);

    for (Fault fault : faults)
    {
        SCOPED_TRACE(faultName(fault));
        commands().setFaults(1, emulatorFaults(fault));
        commands().setFaults(45, emulatorFaults(fault));
        commands().clearRequests();
        if (fault == Fault::SendFails)
            device->close();

        std::vector<std::unique_ptr<MVDeviceSession>> sessions = makeSessions(all, fault);
        std::vector<char> results(all.size());
        auto runOne = [&](size_t i)
        {
            results[i] = sessions[i]->run(device.get());
            if (fault != Fault::None)
                return;
            // What was written arrived whole; checked before the next write.
            const TransferCase& c = all[i];
            if (c.command == 45)
            {
                EXPECT_EQ(commands().getChunkedBlock(), c.block) << c.name;
            }
            else if (c.requestClass == Set)
            {
                EXPECT_EQ(commands().getBlock(c.addressA, c.addressB), c.block) << c.name;
            }
        };
        runAll(all.size(), fault, runOne);

        // The requests each transfer's session id carried, in order.
        auto transcript = [&](const TransferCase& c)
        {
            const std::vector<emu::AmpRequest> requests = commands().getRequests();
            std::vector<Bytes> sent;
            const auto first = std::find_if(requests.begin(), requests.end(),
                                            [&](const emu::AmpRequest& r) {
                                                return r.command == c.command &&
                                                       r.messageClass == c.requestClass &&
                                                       r.payload == c.requests[0];
                                            });
            for (auto r = first; r != requests.end(); ++r)
                if (r->sessionId == first->sessionId && r->command == c.command)
                    sent.push_back(r->payload);
            return sent;
        };
        if (fault != Fault::SendFails)
            pumpUntil(
                [&]
                {
                    return std::all_of(all.begin(), all.end(),
                                       [&](auto& c) { return transcript(c).size() >= c.requests.size(); });
                });
        for (size_t i = 0; i < all.size(); ++i)
        {
            const TransferCase& c = all[i];
            SCOPED_TRACE(c.name);
            checkTransfer(c, *sessions[i], results[i], transferCode(c, fault));
            EXPECT_EQ(transcript(c), fault == Fault::SendFails ? std::vector<Bytes>{} : c.requests);
        }
        if (fault == Fault::SendFails)
        {
            ASSERT_TRUE(device->open());
        }
    }
    commands().clearFaults();
}

TEST_F(CommandsEmulatorTest, RoundTrips)
{
    // A block written, then read back in chunks of another size.
    const std::vector<uint8_t> block = []
    {
        std::vector<uint8_t> b(700);
        for (size_t i = 0; i < b.size(); ++i)
            b[i] = uint8_t(i * 29 + 3);
        return b;
    }();
    BlockWriteSession write;
    write.addressA = 0x10;
    write.addressB = 0xF0;
    write.chunkSize = 255;
    write.totalChunks = 3;
    write.block = &block;
    ASSERT_TRUE(run(write)) << write.error;
    EXPECT_EQ(commands().getBlock(0x10, 0xF0), block);
    commands().setBlockReadChunkSize(100);
    BlockReadSession read;
    read.addressA = 0x10;
    read.addressB = 0xF0;
    ASSERT_TRUE(run(read)) << read.error;
    EXPECT_EQ(read.block, block);

    // Records set, then read back by key (unknown keys skipped).
    Records6SetSession set6;
    set6.records = {{1, 2, 0x11223344}, {3, 4, 0x55667788}};
    ASSERT_TRUE(run(set6));
    Records6GetSession get6;
    get6.keys = {{3, 4, 0}, {9, 9, 0}, {1, 2, 0}};
    ASSERT_TRUE(run(get6));
    ASSERT_EQ(get6.results.size(), 2u);
    EXPECT_EQ(uint32_t(get6.results[0].value), 0x55667788u);
    EXPECT_EQ(uint32_t(get6.results[1].value), 0x11223344u);

    Records10AltSetSession alt10;
    alt10.records = {{5, 6, 0x1FF, 0x2EE}};
    ASSERT_TRUE(run(alt10));
    Records10GetSession get10;
    get10.keys = {{5, 6, 0, 0}};
    ASSERT_TRUE(run(get10));
    ASSERT_EQ(get10.results.size(), 1u);
    EXPECT_EQ(uint32_t(get10.results[0].valueA), 0xFFu) << "an AltSet carries only the low bytes";
    EXPECT_EQ(uint32_t(get10.results[0].valueB), 0xEEu);

    Records16AltSetSession alt16;
    alt16.records = {sixteenRecord(77)};
    ASSERT_TRUE(run(alt16));
    Records16GetSession get16;
    get16.keys = {sixteenRecord(77)};
    ASSERT_TRUE(run(get16));
    ASSERT_EQ(get16.results.size(), 1u);
    EXPECT_EQ(uint32_t(get16.results[0].key), 77u);

    // A DSP value set without a reply, then read.
    DspParamSetSession setDsp;
    setDsp.moduleId = "reverb";
    setDsp.parameterIndex = 3;
    setDsp.value = -2.25f;
    ASSERT_TRUE(run(setDsp));
    DspParamGetSession getDsp;
    getDsp.moduleId = "reverb";
    getDsp.parameterIndex = 3;
    ASSERT_TRUE(run(getDsp));
    EXPECT_EQ(getDsp.value, -2.25f);

    DspOnOffSetSession setOn;
    setOn.moduleId = "reverb";
    setOn.on = true;
    ASSERT_TRUE(run(setOn));
    DspOnOffGetSession getOn;
    getOn.moduleId = "reverb";
    ASSERT_TRUE(run(getOn));
    EXPECT_EQ(getOn.on, 1);

    Byte50SetSession set50;
    set50.value = 0xA5;
    ASSERT_TRUE(run(set50));
    Byte50GetSession get50;
    ASSERT_TRUE(run(get50));
    EXPECT_EQ(get50.value, 0xA5);

    // The strings the updater's own sessions read back.
    String17SetSession set17;
    set17.text = "Studio K7";
    ASSERT_TRUE(run(set17));
    auto c17 = std::shared_ptr<Command17Session>(new Command17Session(replyWaitMs));
    ASSERT_TRUE(c17->run(device.get()));
    EXPECT_EQ(c17->replyPacker.value, "Studio K7");
    SerialNumberSetSession setSerial;
    setSerial.serialNumber = "K7AP00099999";
    ASSERT_TRUE(run(setSerial));
    auto sn = createSerialNumberSession();
    ASSERT_TRUE(sn->run(device.get()));
    EXPECT_EQ(sn->replyPacker.value, "K7AP00099999");
    String23SetSession set23;
    set23.text = "Hall";
    ASSERT_TRUE(run(set23));
    EXPECT_EQ(commands().getString(23), "Hall");
}

TEST_F(CommandsEmulatorTest, TransfersAndBlobsArriveWhole)
{
    std::vector<uint8_t> data(65024);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i ^ (i >> 8));
    ChunkedDataSession chunked;
    chunked.data = data;
    ASSERT_TRUE(run(chunked)) << chunked.error;
    EXPECT_EQ(commands().getChunkedBlock(), data);
    EXPECT_EQ(commands().getChunkedSumFailures(), 0);

    std::vector<uint8_t> blob(759, 0x81);
    BlobSetSession blobSet;
    blobSet.data = blob.data();
    blobSet.length = uint32_t(blob.size());
    blobSet.value = 0xCAFE;
    ASSERT_TRUE(run(blobSet));
    const auto stored = commands().getBlob();
    EXPECT_EQ(stored.data, blob);
    EXPECT_EQ(stored.value, 0xCAFEu);
    EXPECT_TRUE(stored.sumMatched);

    Records6SetSession full;
    for (int i = 0; i < 127; ++i)
        full.records.push_back({uint8_t(i), uint8_t(0xFF - i), uint32_t(i) * 0x01010101u});
    ASSERT_TRUE(run(full));
    EXPECT_EQ(commands().getRecords(2).size(), 127u);

    PairsSetSession pairs;
    pairs.records = {{0x101, 2}, {0x303, 4}};
    ASSERT_TRUE(run(pairs));
    EXPECT_EQ(commands().getPairs(), (std::vector<std::pair<uint8_t, uint8_t>>{{1, 2}, {3, 4}}));

    IrLoaderFileSession ir;
    ir.wavFileName = "cab 1.wav";
    ir.wavBitDepth = 24;
    ir.wavSampleRate = 48000;
    ASSERT_TRUE(run(ir));
    EXPECT_EQ(commands().getIrLoaderText(),
              R"({"wavBitDepth":24,"wavFileName":"cab1.wav","wavSampleRate":48000.0})");

    ChannelMessageSession channel;
    channel.status = 0xC0;
    channel.first = 2;
    channel.second = 3;
    ASSERT_TRUE(channel.run(device.get()));
    EXPECT_TRUE(pumpUntil([&] { return !commands().getChannelMessages().empty(); }));
    EXPECT_EQ(commands().getChannelMessages().front(), (std::vector<uint8_t>{0xC0, 0x11}));
}

TEST_F(CommandsEmulatorTest, BlockReadChunkFaults)
{
    std::vector<uint8_t> block(600);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = uint8_t(i * 7);
    commands().setBlock(1, 2, block);
    commands().setBlockReadChunkSize(200);
    using Kind = emu::BlockReadFaults::Kind;
    struct Case
    {
        const char* name;
        Kind kind;
        int chunk;
        int error;
    };
    const Case rows[] = {
        {"none", Kind::None, 0, 0},
        {"chunk 1 missing", Kind::MissingChunk, 1, SessionError::ChunkOutOfOrder},
        {"chunk 0 missing", Kind::MissingChunk, 0, SessionError::ChunkOutOfOrder},
        {"chunk 1 repeated", Kind::RepeatedChunk, 1, SessionError::ChunkOutOfOrder},
        {"chunks 1 and 2 swapped", Kind::SwappedChunks, 1, SessionError::ChunkOutOfOrder},
        {"chunk 2 with another total", Kind::WrongTotal, 2, SessionError::ChunkOutOfOrder},
        {"chunk 0 with another total", Kind::WrongTotal, 0, SessionError::ChunkOutOfOrder},
        {"wrong address", Kind::WrongAddress, 0, SessionError::AddressMismatch},
        {"wrong sum", Kind::WrongSum, 0, SessionError::ChecksumMismatch},
        {"length byte past the payload", Kind::LengthPastPayload, 1, SessionError::BadLength},
        {"silence after chunk 1", Kind::SilentAfter, 1, SessionError::NoReply},
    };
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        emu::BlockReadFaults faults;
        faults.kind = row.kind;
        faults.chunk = row.chunk;
        commands().setBlockReadFaults(faults);
        BlockReadSession read;
        read.addressA = 1;
        read.addressB = 2;
        read.block = {5};
        EXPECT_EQ(run(read, row.error == SessionError::NoReply ? noReplyMs : replyWaitMs), row.error == 0);
        EXPECT_EQ(read.error, row.error);
        EXPECT_EQ(read.block, row.error == 0 ? block : std::vector<uint8_t>{5});
    }
    commands().clearFaults();
}

TEST_F(CommandsEmulatorTest, CountsThatDoNotMatchTheReply)
{
    struct Case
    {
        const char* name;
        uint8_t command;
        emu::CommandReplyFaults faults;
        std::function<std::unique_ptr<MVDeviceSession>()> make;
    };
    auto lengthDelta = [](int d)
    {
        emu::CommandReplyFaults f;
        f.lengthDelta = d;
        return f;
    };
    emu::CommandReplyFaults wrapping;
    wrapping.wrappingCount = true;
    commands().setRecord(2, emu::AmpCommandSet::recordKey(1, 2), {1, 2, 3, 4, 5, 6});
    commands().setRecord(3, emu::AmpCommandSet::recordKey(1, 2), std::vector<uint8_t>(10, 1));
    commands().setRecord(24, 5, std::vector<uint8_t>{5, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    const Case rows[] = {
        {"Byte50Get of two bytes", 50, lengthDelta(1), maker<Byte50GetSession>([](auto&) {})},
        {"Byte50Get of none", 50, lengthDelta(-1), maker<Byte50GetSession>([](auto&) {})},
        {"Records6Get claiming one more", 2, lengthDelta(1),
         maker<Records6GetSession>(
             [](auto& s) {
                 s.keys = {{1, 2, 0}};
             })},
        {"Records6Get with a wrapping count", 2, wrapping,
         maker<Records6GetSession>(
             [](auto& s) {
                 s.keys = {{1, 2, 0}};
             })},
        {"Records10Get with a wrapping count", 3, wrapping,
         maker<Records10GetSession>(
             [](auto& s) {
                 s.keys = {{1, 2, 0, 0}};
             })},
        {"Records16Get with a wrapping count", 24, wrapping,
         maker<Records16GetSession>(
             [](auto& s) {
                 s.keys = {{5, {}}};
             })},
        {"Int32ArrayGet one value short", 36, lengthDelta(-1),
         maker<Int32ArrayGetSession>(
             [](auto& s) {
                 s.keys = {1, 2};
             })},
        {"Int32ArrayGet one value over", 36, lengthDelta(1),
         maker<Int32ArrayGetSession>(
             [](auto& s) {
                 s.keys = {1, 2};
             })},
    };
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        commands().setFaults(row.command, row.faults);
        auto session = row.make();
        EXPECT_FALSE(run(*session));
        EXPECT_EQ(session->error, SessionError::BadLength);
        commands().clearFaults();
    }
}
