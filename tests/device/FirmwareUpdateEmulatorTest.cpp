// The sessions and the firmware update end to end: through MVUsbMidiK7 and
// the port layer into the emulated amplifier, with its restarts for real.

#include "EmulatorFixture.h"

#include "device/Discovery.h"
#include "device/DownloadFirmwareVersionSession.h"
#include "device/FirmwareUpdateSession.h"
#include "device/GenericDeviceSession.h"
#include "device/MVUsbMidiK7.h"
#include "device/SessionError.h"
#include "emulator/K7Amplifier.h"
#include "tests/device/TestFirmwareImage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace
{

using Bytes = std::vector<uint8_t>;

constexpr int restartMs = 120;
constexpr int replyWaitMs = 400;

// The device callback around the flash: close, wait until the amplifier has
// restarted for this call's "SetFwStatus" (gone, then back), open.
struct Reopen
{
    emu::K7Amplifier* amp = nullptr;
    int calls = 0;
};

bool reopenDevice(MVDevice* device, FirmwareUpdateSession*, void* user)
{
    auto* r = static_cast<Reopen*>(user);
    const std::size_t restarts = std::size_t(++r->calls);
    device->close();
    testsupport::waitUntil(
        [r, restarts]
        { return r->amp->getBootloader().getStatusWrites().size() >= restarts && r->amp->isPlugged(); });
    return device->open();
}

void recordProgress(MVDevice*, FirmwareUpdateSession*, int percent, void* user)
{
    static_cast<std::vector<int>*>(user)->push_back(percent);
}

struct FirmwareUpdateEmulatorTest : EmulatorFixture
{
    std::shared_ptr<emu::K7Amplifier> amp;
    std::unique_ptr<MVUsbMidiK7> device;
    const DeviceKey key{0x4B374150, 12};
    Bytes image = testing_device::makeTestImage(708859, 99, {2, 0, 1, 7});
    // Twelve blocks, the last one short.
    Bytes small = testing_device::makeTestImage(3000, 97, {2, 0, 1, 7});
    Reopen reopen;
    std::vector<int> progress;
    FirmwareUpdateSession session;
    std::string out;

    void SetUp() override
    {
        EmulatorFixture::SetUp();
        amp = addAmp<emu::K7Amplifier>("Tolvo K7", key.replyWord);
        amp->getBootloader().setRestartMs(restartMs);
        reopen.amp = amp.get();
        discoverDevices(testProbeWaitMs);
        ASSERT_EQ(copyDeviceRecords().size(), 1u);
        device = std::make_unique<MVUsbMidiK7>(key);
        ASSERT_TRUE(device->open());
        amp->clearReceivedMessages();

        session.timeoutMs = replyWaitMs;
        session.image = image.data();
        session.imageSize = int(image.size());
        session.progressCallback = recordProgress;
        session.progressUser = &progress;
        session.beforeFlashCallback = reopenDevice;
        session.beforeFlashUser = &reopen;
        session.afterFlashCallback = reopenDevice;
        session.afterFlashUser = &reopen;
    }

    void TearDown() override
    {
        device.reset();
        EmulatorFixture::TearDown();
    }

    bool runUpdate()
    {
        testing::internal::CaptureStdout();
        const bool ok = session.run(device.get());
        out = testing::internal::GetCapturedStdout();
        return ok;
    }

    Bytes flash() const { return amp->getBootloader().getFlash(); }

    // The flash holds the image and, up to the end of its last block, zeros.
    void expectFlashHoldsImage() const
    {
        const Bytes f = flash();
        ASSERT_EQ(f.size(), 2769u * 256);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), f.begin()));
        EXPECT_EQ(Bytes(f.begin() + long(image.size()), f.end()), Bytes(5, 0));
    }

    int blockMessagesSent() const
    {
        int n = 0;
        for (const Bytes& m : amp->getReceivedMessages())
            n += m.size() == 310;
        return n;
    }

    std::string readVersion()
    {
        bootloader::DownloadFirmwareVersionSession info;
        info.timeoutMs = replyWaitMs;
        testing::internal::CaptureStdout();
        const bool ok = info.run(device.get());
        testing::internal::GetCapturedStdout();
        if (!ok)
            return "failed";
        const uint8_t* v = info.firmwareInfo.firmwareVersion;
        return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
               std::to_string(v[3]);
    }
};

} // namespace

TEST_F(FirmwareUpdateEmulatorTest, CommandSessionsReadStringAndSerialNumber)
{
    amp->setString17(std::string("K7\0AP", 5));
    amp->setSerialNumber("SN-0042");
    auto c17 = std::shared_ptr<Command17Session>(new Command17Session(replyWaitMs));
    ASSERT_TRUE(c17->run(device.get()));
    EXPECT_EQ(c17->replyPacker.value, std::string("K7\0AP", 5));
    for (uint8_t cls : {uint8_t(3), uint8_t(2)})
    {
        amp->setSerialReplyClass(cls);
        auto sn = createSerialNumberSession();
        sn->timeoutMs = replyWaitMs;
        ASSERT_TRUE(sn->run(device.get()));
        EXPECT_EQ(sn->replyPacker.value, "SN-0042");
    }
}

TEST_F(FirmwareUpdateEmulatorTest, CommandSessionFaults)
{
    struct Case
    {
        const char* name;
        emu::CommandFaults faults;
        const char* outcome; // "ok" or the exception's text
    };
    auto faults = [](auto set)
    {
        emu::CommandFaults f;
        set(f);
        return f;
    };
    const Case cases[] = {
        {"silent", faults([](auto& f) { f.silent = true; }), "Device reading timeout"},
        {"late", faults([](auto& f) { f.delayMs = 250; }), "Device reading timeout"},
        {"bad checksum", faults([](auto& f) { f.badChecksum = true; }), "Device reading timeout"},
        {"wrong session id", faults([](auto& f) { f.wrongSession = true; }), "Device reading timeout"},
        {"over-long frame", faults([](auto& f) { f.overlong = true; }), "Device reading timeout"},
        {"wrong class", faults([](auto& f) { f.wrongClass = true; }), "ok"},
        {"wrong command", faults([](auto& f) { f.wrongCommand = true; }), "ok"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        amp->setCommandFaults(c.faults);
        auto sn = createSerialNumberSession();
        sn->timeoutMs = 100;
        std::string outcome = "ok";
        try
        {
            sn->run(device.get());
        }
        catch (const std::exception& e)
        {
            outcome = e.what();
        }
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(sn->error, 0);
    }
    // Every session gave its id back: all 63 are free.
    std::vector<int> ids;
    for (int i = 0; i < 63; ++i)
        ids.push_back(device->acquireSessionId());
    EXPECT_EQ(std::count(ids.begin(), ids.end(), -1), 0);
}

TEST_F(FirmwareUpdateEmulatorTest, StatusZeroRoadWritesTheImageByteForByte)
{
    amp->getBootloader().setStatus(0);
    ASSERT_TRUE(runUpdate()) << out;
    EXPECT_EQ(session.error, 0);
    expectFlashHoldsImage();
    EXPECT_EQ(amp->getBootloader().getStatusWrites(), (std::vector<int>{1}));
    EXPECT_EQ(reopen.calls, 1); // only after the flash
    EXPECT_EQ(out.find("Set FW Status as 0"), std::string::npos);
    ASSERT_EQ(progress.size(), 2769u);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    // The restarted amplifier reports the new image's block.
    EXPECT_EQ(readVersion(), "2.0.1.7");
}

TEST_F(FirmwareUpdateEmulatorTest, StatusOneRoadRestartsAroundTheFlash)
{
    amp->getBootloader().setStatus(1);
    EXPECT_EQ(readVersion(), "1.0.0.0");
    ASSERT_TRUE(runUpdate()) << out;
    expectFlashHoldsImage();
    EXPECT_EQ(amp->getBootloader().getStatusWrites(), (std::vector<int>{0, 1}));
    EXPECT_EQ(reopen.calls, 2);
    EXPECT_NE(out.find("Get FW Status: 1\nSet FW Status as 0\n"), std::string::npos);
    EXPECT_EQ(readVersion(), "2.0.1.7");
}

TEST_F(FirmwareUpdateEmulatorTest, StatusOneRoadFromABackgroundThread)
{
    // As the window's update task runs it: the reopens wait for the message thread.
    amp->getBootloader().setStatus(1);
    const Bytes smaller = testing_device::makeTestImage(20000, 98);
    session.image = smaller.data();
    session.imageSize = int(smaller.size());
    bool ok = false;
    testing::internal::CaptureStdout();
    runInBackground([&] { ok = session.run(device.get()); });
    out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ok) << out;
    EXPECT_TRUE(std::equal(smaller.begin(), smaller.end(), flash().begin()));
    EXPECT_EQ(reopen.calls, 2);
}

TEST_F(FirmwareUpdateEmulatorTest, CallbackThatOpensTooEarlyIsRefused)
{
    amp->getBootloader().setStatus(1);
    emu::BootloaderFaults away;
    away.stayAwayAfterStatus = 0; // it never comes back from this restart
    amp->getBootloader().setFaults(away);
    EXPECT_FALSE(runUpdate());
    EXPECT_EQ(session.error, SessionError::CallbackRefused);
    EXPECT_EQ(blockMessagesSent(), 0);
    EXPECT_EQ(out.find("Sending GetFwInfo command"), std::string::npos);
}

TEST_F(FirmwareUpdateEmulatorTest, InformationReads)
{
    amp->getBootloader().setStatus(0);
    struct Case
    {
        const char* name;
        emu::BootloaderFaults faults;
        int error;
    };
    emu::BootloaderFaults late;
    late.infoDelayMs = replyWaitMs + 200;
    emu::BootloaderFaults slightlyLate;
    slightlyLate.infoDelayMs = 50;
    emu::BootloaderFaults shortInfo;
    shortInfo.shortInfoBytes = 10;
    // A short block is flashed (the name is known), but after the update it
    // cannot show the image's version: bytes 10 and 11 read 0.
    const Case cases[] = {{"late", late, SessionError::GetFwInfoFailed},
                          {"slightly late", slightlyLate, 0},
                          {"short", shortInfo, SessionError::CallbackRefused}};
    const Bytes originalInfo = amp->getBootloader().getInfoBlock();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        amp->getBootloader().setFaults(c.faults);
        amp->getBootloader().clearFlash();
        amp->getBootloader().setInfoBlock(originalInfo);
        FirmwareUpdateSession s;
        s.timeoutMs = replyWaitMs;
        s.image = small.data();
        s.imageSize = int(small.size());
        Reopen afterRestart{amp.get()};
        s.afterFlashCallback = reopenDevice;
        s.afterFlashUser = &afterRestart;
        testing::internal::CaptureStdout();
        EXPECT_EQ(s.run(device.get()), c.error == 0);
        const std::string text = testing::internal::GetCapturedStdout();
        EXPECT_EQ(s.error, c.error);
        if (c.error == SessionError::GetFwInfoFailed)
        {
            EXPECT_NE(text.find("Cannot read RetFwInfo data!"), std::string::npos);
            EXPECT_TRUE(flash().empty());
            // The late reply arrives; the next exchange drops it.
            ASSERT_TRUE(amp->settle(c.faults.infoDelayMs));
        }
        else if (c.faults.shortInfoBytes == 10)
        {
            // Ten bytes known: name, bootloader version and two version bytes; the rest zero.
            EXPECT_NE(text.find("Device Name: K7AP\nBootloader Version: 1.0.0.4\nFW Version: 1.0.0.0\n"
                                "FW Length: 0\nChecksum: 0\n"),
                      std::string::npos)
                << text;
            EXPECT_NE(text.find("The amplifier came back from the update running firmware 2.0.0.0 instead of "
                                "the image's 2.0.1.7\n"),
                      std::string::npos)
                << text;
        }
        // The amplifier restarted after "SetFwStatus" 1 once the image was written.
        if (c.error != SessionError::GetFwInfoFailed)
        {
            ASSERT_TRUE(testsupport::waitUntil(
                [&] { return !amp->getBootloader().getStatusWrites().empty() && amp->isPlugged(); }));
            amp->getBootloader().clearStatusWrites();
            device->close();
            ASSERT_TRUE(device->open());
            amp->getBootloader().setStatus(0);
        }
    }
}

// The device name read before the flash decides: an image goes to an
// amplifier of its own name or a blank one (a bootloader without firmware),
// never to one whose info reply is too short to hold a name. Each run starts
// in status 1, so a refusal also shows the amplifier put back.
TEST_F(FirmwareUpdateEmulatorTest, DeviceNameDecidesBeforeAnyBlock)
{
    Bytes otherDevice = small;
    std::copy_n("K7XX", 4, otherDevice.begin() + 0x400); // the name lies outside the checksum
    const Bytes ownInfo = amp->getBootloader().getInfoBlock();
    const auto named = [&](Bytes name)
    {
        Bytes info = ownInfo;
        std::copy(name.begin(), name.end(), info.begin());
        return info;
    };
    struct Case
    {
        const char* name;
        Bytes info;
        int infoBytes;    // "RetFwInfo" carries this many bytes of it; -1: all 84
        std::string line; // empty: flashed
    };
    const std::string tooShort =
        " bytes, too few to hold its device name; the image is built for device 'K7XX'";
    const std::string otherName = "Firmware image refused: it is built for device 'K7XX', the amplifier is ";
    const Case cases[] = {
        {"no bytes", ownInfo, 0, "Firmware image refused: the amplifier's info block has 0" + tooShort},
        {"two bytes", ownInfo, 2, "Firmware image refused: the amplifier's info block has 2" + tooShort},
        {"all 84 bytes", ownInfo, -1, otherName + "'K7AP'"},
        {"a name with an unprintable byte", named({'K', '7', 0x01, 'P'}), -1, otherName + "'K7\\x01P'"},
        {"blank: zeros", named({0, 0, 0, 0}), -1, ""},
        {"blank: 0xFF bytes", named({0xFF, 0xFF, 0xFF, 0xFF}), -1, ""},
        {"blank: spaces", named({' ', ' ', ' ', ' '}), -1, ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto& bootloader = amp->getBootloader();
        bootloader.setStatus(1);
        bootloader.setInfoBlock(c.info);
        emu::BootloaderFaults faults;
        faults.shortInfoBytes = c.infoBytes;
        bootloader.setFaults(faults);
        bootloader.clearStatusWrites();
        bootloader.clearFlash();
        amp->clearReceivedMessages();
        const int requestsBefore = bootloader.getBlockRequests();
        reopen.calls = 0;
        FirmwareUpdateSession s;
        s.timeoutMs = replyWaitMs;
        s.image = otherDevice.data();
        s.imageSize = int(otherDevice.size());
        s.beforeFlashCallback = s.afterFlashCallback = reopenDevice;
        s.beforeFlashUser = s.afterFlashUser = &reopen;
        const bool flashed = c.line.empty();
        testing::internal::CaptureStdout();
        EXPECT_EQ(s.run(device.get()), flashed);
        out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(s.error, flashed ? 0 : int(SessionError::FileOpenFailed)) << out;
        EXPECT_EQ(bootloader.getStatusWrites(), (std::vector<int>{0, 1}));
        EXPECT_EQ(reopen.calls, 2);
        if (flashed)
        {
            EXPECT_EQ(blockMessagesSent(), 12);
            EXPECT_TRUE(std::equal(otherDevice.begin(), otherDevice.end(), flash().begin()));
        }
        else
        {
            EXPECT_EQ(bootloader.getBlockRequests(), requestsBefore);
            EXPECT_EQ(blockMessagesSent(), 0);
            EXPECT_NE(out.find("\n" + c.line + "\n"), std::string::npos) << out;
            EXPECT_EQ(out.find("Firmware image refused"), out.rfind("Firmware image refused")) << "one line";
        }
    }
}

// Every row runs against an amplifier that echoes the request's offset in its
// "RetWriteFlash" and one that sends zeros there. Only the echo lets a late
// or repeated reply be told from the awaited one; without it such a reply
// answers the block in flight, and the run reports a block it never wrote as
// written (the rows' "hole"): a limit of that amplifier, stated here.
TEST_F(FirmwareUpdateEmulatorTest, BlockResultSequences)
{
    amp->getBootloader().setStatus(0);
    struct Outcome
    {
        int error; // 0: the update succeeded
        int blocksSent;
        int blocksInFlash; // blocks 0 to n-1 hold the image ...
        int hole = -1;     // ... but this one, never written
        int staleSkipped = 0;
    };
    struct Case
    {
        const char* name;
        emu::BootloaderFaults faults;
        Outcome echoing;
        Outcome notEchoing;
    };
    auto faults = [](auto set)
    {
        emu::BootloaderFaults f;
        set(f);
        return f;
    };
    auto refuse = [&](int times)
    {
        return faults(
            [times](auto& f)
            {
                f.refuseBlock = 3;
                f.refuseCount = times;
            });
    };
    constexpr int staleMs = 30;
    const int blocks = 12; // a 3000-byte image
    const Outcome all{0, blocks, blocks};
    constexpr int failed = SessionError::WriteFlashFailed;
    const Case cases[] = {
        {"1", {}, all, all},
        {"0, 1", refuse(1), {0, blocks + 1, blocks}, {0, blocks + 1, blocks}},
        {"0, 0", refuse(2), {failed, 5, 3}, {failed, 5, 3}},
        {"none", faults([](auto& f) { f.silentBlock = 3; }), {failed, 4, 3}, {failed, 4, 3}},
        {"stray messages between replies", faults([](auto& f) { f.strayMessages = true; }), all, all},
        {"block 3 answered twice, 30 ms apart, and block 4 lost",
         faults(
             [](auto& f)
             {
                 f.silentBlock = 4;
                 f.staleReplyBlock = 3;
                 f.staleMs = staleMs;
             }),
         {failed, 5, 4, -1, 1},
         // Taken for block 4's answer, the late reply leaves block 4, which
         // holds the info block, unwritten: the amplifier comes back without
         // the image's version.
         {SessionError::CallbackRefused, blocks, blocks, 4}},
        {"block 2 refused, a late 1 for block 1, the resend lost",
         faults(
             [](auto& f)
             {
                 f.refuseBlock = 2;
                 f.refuseCount = 1;
                 f.silentBlock = 2;
                 f.staleReplyBlock = 1;
                 f.staleMs = staleMs;
             }),
         {failed, 4, 2, -1, 1},
         // Not told apart from block 2's answer, and not seen afterwards:
         // the limit of an amplifier that does not echo offsets.
         {0, blocks + 1, blocks, 2}},
        {"block 3 answered late, inside its deadline",
         faults(
             [](auto& f)
             {
                 f.lateBlock = 3;
                 f.lateMs = replyWaitMs / 4;
             }),
         all, all},
    };
    std::size_t writtenRuns = 0;
    for (const Case& c : cases)
    {
        for (const bool echo : {true, false})
        {
            SCOPED_TRACE(std::string(c.name) + (echo ? ", echoing" : ", not echoing"));
            const Outcome& expected = echo ? c.echoing : c.notEchoing;
            amp->getBootloader().setReplyOffset(echo ? emu::ReplyOffset::Echo : emu::ReplyOffset::Fixed);
            amp->getBootloader().setFaults(c.faults);
            amp->getBootloader().setStatus(0);
            amp->getBootloader().clearFlash();
            amp->clearReceivedMessages();
            FirmwareUpdateSession s;
            s.timeoutMs = c.echoing.error == 0 || c.notEchoing.error == 0 ? replyWaitMs : 100;
            s.image = small.data();
            s.imageSize = int(small.size());
            s.afterFlashCallback = reopenDevice;
            s.afterFlashUser = &reopen;
            testing::internal::CaptureStdout();
            EXPECT_EQ(s.run(device.get()), expected.error == 0);
            testing::internal::GetCapturedStdout();
            EXPECT_EQ(s.error, expected.error);
            EXPECT_EQ(blockMessagesSent(), expected.blocksSent);
            EXPECT_EQ(s.offsetsEchoed, echo);
            EXPECT_EQ(s.staleRepliesSkipped, expected.staleSkipped);
            const Bytes f = flash();
            EXPECT_EQ(f.size(), std::size_t(expected.blocksInFlash) * 256);
            for (int block = 0;
                 block < expected.blocksInFlash && f.size() == std::size_t(expected.blocksInFlash) * 256;
                 ++block)
            {
                const std::size_t at = std::size_t(block) * 256;
                const std::size_t n = std::min<std::size_t>(256, small.size() - at);
                const Bytes want = block == expected.hole
                                       ? Bytes(n, 0)
                                       : Bytes(small.begin() + long(at), small.begin() + long(at + n));
                EXPECT_EQ(Bytes(f.begin() + long(at), f.begin() + long(at + n)), want) << "block " << block;
            }
            if (expected.error != failed)
            {
                ++writtenRuns;
                const std::vector<int> writes = amp->getBootloader().getStatusWrites();
                EXPECT_TRUE(!writes.empty() && writes.back() == 1);
            }
            // Whatever is still on its way arrives before the next run.
            ASSERT_TRUE(amp->settle(replyWaitMs / 4));
        }
    }
    // "SetFwStatus" 1 only after runs that wrote every block.
    EXPECT_EQ(amp->getBootloader().getStatusWrites().size(), writtenRuns);
}

TEST_F(FirmwareUpdateEmulatorTest, UnplugMidFlashFailsWithACode)
{
    amp->getBootloader().setStatus(0);
    emu::BootloaderFaults f;
    f.unplugAtBlock = 100;
    amp->getBootloader().setFaults(f);
    session.timeoutMs = 150;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(runUpdate());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(session.error, SessionError::WriteFlashFailed);
    EXPECT_EQ(flash().size(), 100u * 256);
    EXPECT_TRUE(amp->getBootloader().getStatusWrites().empty());
    EXPECT_EQ(reopen.calls, 0);
}

// Frames on the own id that nobody reads are held to the queue's limits, and
// the update runs through what is left of them.
TEST_F(FirmwareUpdateEmulatorTest, AFloodOnTheOwnIdStaysBounded)
{
    amp->getBootloader().setStatus(0);
    constexpr std::size_t flood = 5000;
    for (std::size_t i = 0; i < flood; ++i)
        amp->sendToHost(emu::makeFrame(0, 3, 36, {uint8_t(i), uint8_t(i >> 8)}));
    ASSERT_TRUE(pumpUntil([&] { return device->getQueuedCount(0) + device->getDroppedCount(0) == flood; }));
    EXPECT_EQ(device->getQueuedCount(0), MVQueue::maxMessages);
    EXPECT_EQ(device->getDroppedCount(0), flood - MVQueue::maxMessages);

    session.image = small.data();
    session.imageSize = int(small.size());
    ASSERT_TRUE(runUpdate()) << out;
    EXPECT_TRUE(std::equal(small.begin(), small.end(), flash().begin()));
}

TEST_F(FirmwareUpdateEmulatorTest, FileErrorsSendNothing)
{
    const std::string dir = ::testing::TempDir();
    const std::string empty = dir + "/flash_e2e_empty_" + std::to_string(::getpid());
    std::ofstream(empty).close();
    for (const std::string& path : {dir + "/no_such_firmware.bin", empty, dir})
    {
        SCOPED_TRACE(path);
        FirmwareUpdateSession s;
        s.loadFromFile = true;
        s.firmwarePath = path;
        s.beforeFlashCallback = reopenDevice;
        s.beforeFlashUser = &reopen;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(s.run(device.get()));
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(printed.rfind("Firmware file refused: '" + path + "' ", 0), 0u) << printed;
        EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
        EXPECT_EQ(s.error, SessionError::FileOpenFailed);
    }
    EXPECT_TRUE(amp->getReceivedMessages().empty()) << "recorded as they are sent";
    std::remove(empty.c_str());

    // A good file is flashed from disk.
    const std::string good = dir + "/flash_e2e_good_" + std::to_string(::getpid());
    {
        std::ofstream file(good, std::ios::binary);
        file.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    }
    amp->getBootloader().setStatus(1);
    session.image = nullptr;
    session.imageSize = 0;
    session.loadFromFile = true;
    session.firmwarePath = good;
    ASSERT_TRUE(runUpdate()) << out;
    expectFlashHoldsImage();
    std::remove(good.c_str());
}
