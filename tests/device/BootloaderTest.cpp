#include "device/Bootloader.h"
#include "device/DownloadFirmwareVersionSession.h"
#include "device/FirmwareUpdateSession.h"
#include "device/SessionError.h"
#include "tests/device/ScriptedDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <random>
#include <thread>

using namespace testing_device;

namespace
{

Bytes infoBytes()
{
    Bytes b(84);
    std::iota(b.begin(), b.end(), uint8_t(0x70)); // bytes with and without bit 7
    const uint8_t head[12] = {'K', '7', 'A', 'P', 2, 0, 1, 9, 0x01, 0x02, 0x03, 0x25};
    std::copy(head, head + 12, b.begin());
    return b;
}

Bytes randomImage(size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes image(size);
    for (auto& b : image)
        b = uint8_t(rng());
    return image;
}

uint32_t le32(const Bytes& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

} // namespace

TEST(Bootloader, RequestsAreTheKeywordMessages)
{
    uint8_t out[bootloader::bufferSize];
    const struct
    {
        int length;
        Bytes expected;
    } cases[] = {
        {bootloader::buildGetFwStatus(out), keywordMessage("GetFwStatus")},
        {bootloader::buildGetFwInfo(out + 100), keywordMessage("GetFwInfo")},
        {bootloader::buildSetFwStatus(out + 200, 1), keywordMessage("SetFwStatus", {1})},
    };
    EXPECT_EQ(Bytes(out, out + cases[0].length), cases[0].expected);
    EXPECT_EQ(Bytes(out + 100, out + 100 + cases[1].length), cases[1].expected);
    EXPECT_EQ(Bytes(out + 200, out + 200 + cases[2].length), cases[2].expected);
    EXPECT_EQ(cases[0].length, 13);
    EXPECT_EQ(cases[1].length, 11);
    EXPECT_EQ(cases[2].length, 14);
}

TEST(Bootloader, LastBlockOfTheFullSizeImage)
{
    const Bytes image = randomImage(708859, 7);
    uint8_t out[bootloader::bufferSize] = {};
    ASSERT_EQ(bootloader::buildWriteFlash(out, image.data(), int64_t(image.size()), 708608), 310);
    EXPECT_TRUE(startsWith(Bytes(out, out + 310), "WriteFlash"));
    // 708,608 = 43 * 2^14 + 32 * 2^7: 7-bit groups 0x00, 0x20, 0x2B, 0x00.
    EXPECT_EQ(Bytes(out + 11, out + 15), (Bytes{0x00, 0x20, 0x2B, 0x00}));
    EXPECT_EQ(out[309], 0xF7);
    const Bytes block = unpack7(out + 15, 294);
    ASSERT_EQ(block.size(), 257u);
    EXPECT_TRUE(std::equal(image.begin() + 708608, image.end(), block.begin()));
    EXPECT_EQ(Bytes(block.begin() + 251, block.begin() + 256), Bytes(5, 0));
    EXPECT_EQ(block[256], uint8_t(std::accumulate(image.begin() + 708608, image.end(), 0u)));
    // Offsets outside the image or the 28-bit field build nothing.
    EXPECT_EQ(bootloader::buildWriteFlash(out, image.data(), int64_t(image.size()), int64_t(image.size())),
              0);
    EXPECT_EQ(bootloader::buildWriteFlash(out, image.data(), int64_t(1) << 29, int64_t(1) << 28), 0);
}

TEST(Bootloader, ReadFwStatusSkipsOtherMessagesAndRefusesBadReplies)
{
    struct Case
    {
        const char* name;
        std::vector<Bytes> replies;
        bool ok;
        uint8_t status;
        std::vector<Bytes> queuedBefore = {};
    };
    const Case cases[] = {
        {"status 1", {keywordMessage("RetFwStatus", {1})}, true, 1},
        {"an over-long message is skipped",
         {keywordMessage("RetFwStatus", Bytes(600, 1)), keywordMessage("RetFwStatus", {1})},
         true,
         1},
        {"replies queued before the request are dropped",
         {keywordMessage("RetFwStatus", {0})},
         true,
         0,
         {keywordMessage("RetFwStatus", {1}), keywordMessage("RetWriteFlash", {0, 0, 0, 0, 1})}},
        {"status 0 after strays",
         {keywordMessage("RetWriteFlash", {0, 0, 0, 0, 1}),
          {0xB0, 0x07, 0x64},
          {0xC0, 0x05},
          frame(0, 3, 18, {1, 2, 3, 4}),
          keywordMessage("RetFwStatus", {0})},
         true,
         0},
        {"no reply", {}, false, 0},
        {"no status byte", {keywordMessage("RetFwStatus")}, false, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedDevice device;
        for (const Bytes& r : c.queuedBefore)
            device.deliver(r);
        device.onSend = [&](const Bytes&)
        {
            for (const Bytes& r : c.replies)
                device.deliver(r);
        };
        uint8_t tx[512], rx[512], status = 0xAA;
        EXPECT_EQ(readFwStatus(&device, 0, tx, rx, &status, 30), c.ok);
        if (c.ok)
        {
            EXPECT_EQ(status, c.status);
        }
        EXPECT_EQ(device.sent.at(0), keywordMessage("GetFwStatus"));
    }
    ScriptedDevice refusing;
    refusing.failSendAt = 0;
    uint8_t tx[512], rx[512], status = 0;
    EXPECT_FALSE(readFwStatus(&refusing, 0, tx, rx, &status, 30));
}

// Other messages, and replies the caller skips, never restart the wait: an
// amplifier that keeps sending them cannot hold a wait past its one deadline.
// The chatter goes on for far longer than the wait's deadline, so the wait
// must end while it runs.
TEST(Bootloader, EndlessOtherMessagesDoNotExtendTheDeadline)
{
    struct Case
    {
        const char* name;
        Bytes chatter;
        bootloader::ReplyFilter skip;
    };
    int skipped = 0;
    const Case cases[] = {
        {"another keyword", keywordMessage("RetFwStatus", {1}), nullptr},
        {"replies the caller skips", keywordMessage("RetWriteFlash", {0, 2, 0, 0, 1}),
         [&skipped](const uint8_t*, int)
         {
             ++skipped;
             return true;
         }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedDevice device;
        std::atomic<bool> waiting{true};
        std::atomic<bool> chatterEnded{false};
        std::thread chatter(
            [&]
            {
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (waiting && std::chrono::steady_clock::now() < end)
                {
                    device.deliver(c.chatter);
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                chatterEnded = true;
            });
        uint8_t rx[512];
        const int result =
            bootloader::waitForReply(&device, 0, rx, sizeof rx, bootloader::retWriteFlashKeyword, 50, c.skip);
        const bool endedFirst = !chatterEnded;
        waiting = false;
        chatter.join();
        EXPECT_EQ(result, -1);
        EXPECT_TRUE(endedFirst) << "the wait lasted as long as the chatter";
        EXPECT_EQ(bootloader::waitForReply(&device, 9, rx, sizeof rx, bootloader::retWriteFlashKeyword, 5000),
                  -1)
            << "an id without a queue ends the wait at once";
    }
    EXPECT_GT(skipped, 0);
}

TEST(Bootloader, ReadFwInfoFillsTheBlockAndZeroesWhatAShortReplyLacks)
{
    const Bytes full = infoBytes();
    struct Case
    {
        const char* name;
        Bytes packedInfo;
        size_t bytesKnown;
    };
    const Case cases[] = {
        {"full block", pack7(full), 84},
        {"short block", pack7(Bytes(full.begin(), full.begin() + 30)), 30},
        {"no data", {}, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedDevice device;
        device.onSend = [&](const Bytes&) { device.deliver(keywordMessage("RetFwInfo", c.packedInfo)); };
        uint8_t tx[512], rx[512];
        FirmwareInfoBlock info;
        std::memset(&info, 0xEE, sizeof info);
        int decoded = -1;
        ASSERT_TRUE(readFwInfo(&device, 0, tx, rx, &info, 30, &decoded));
        EXPECT_EQ(decoded, int(c.bytesKnown)) << "zeros from the reply told from zeros for lack of it";
        Bytes expected(84, 0);
        std::copy(full.begin(), full.begin() + long(c.bytesKnown), expected.begin());
        uint8_t encoded[84];
        encodeFirmwareInfoBlock(info, encoded);
        EXPECT_EQ(Bytes(encoded, encoded + 84), expected);
        if (c.bytesKnown == 84)
        {
            EXPECT_EQ(c.packedInfo.size(), 96u);
            EXPECT_EQ(Bytes(info.firmwareVersion, info.firmwareVersion + 4), (Bytes{1, 2, 3, 0x25}));
            EXPECT_EQ(info.firmwareLength, le32(full, 12));
            EXPECT_EQ(info.sectors[7].checksum, le32(full, 80));
        }
    }
}

TEST(Bootloader, FailedInfoReadsLeaveTheBlockZeroed)
{
    ScriptedDevice device; // never answers
    uint8_t tx[512], rx[512];
    FirmwareInfoBlock info;
    std::memset(&info, 0xEE, sizeof info);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(readFwInfo(&device, 0, tx, rx, &info, 20));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Sending GetFwInfo command\nSent GetFwInfo command\nCannot read RetFwInfo data!\n");
    uint8_t encoded[84];
    encodeFirmwareInfoBlock(info, encoded);
    EXPECT_EQ(Bytes(encoded, encoded + 84), Bytes(84, 0));

    bootloader::DownloadFirmwareVersionSession session;
    session.timeoutMs = 20;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(session.run(&device));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(session.error, SessionError::GetFwInfoFailed);

    EXPECT_FALSE(session.run(nullptr));
    EXPECT_EQ(session.error, SessionError::NoDevice);
}

TEST(Bootloader, DownloadFirmwareVersionSessionReadsOnTheOwnId)
{
    ScriptedDevice device;
    FakeBootloader boot;
    boot.infoBlock = infoBytes();
    boot.attach(device);
    bootloader::DownloadFirmwareVersionSession session;
    EXPECT_EQ(session.timeoutMs, 3000);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(session.run(&device));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(session.error, 0);
    EXPECT_EQ(Bytes(session.firmwareInfo.deviceName, session.firmwareInfo.deviceName + 4),
              (Bytes{'K', '7', 'A', 'P'}));
    // The id run took was given back; the reply went to the own id.
    for (int i = 0; i < 63; ++i)
        ASSERT_GE(device.acquireSessionId(), 0);
}

TEST(Bootloader, BlockResultSequences)
{
    struct Case
    {
        const char* name;
        std::deque<int> results; // for block 0
        bool ok;
        size_t sendsOfBlock0;
    };
    const Case cases[] = {
        {"1", {1}, true, 1},          {"0 then 1", {0, 1}, true, 2},          {"0 then 0", {0, 0}, false, 2},
        {"no reply", {-1}, false, 1}, {"other byte then 1", {7, 1}, true, 2},
    };
    const Bytes image = randomImage(700, 3); // three blocks
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedDevice device;
        FakeBootloader boot;
        boot.writeResults = c.results;
        boot.attach(device);
        FirmwareUpdateSession session;
        session.timeoutMs = 30;
        EXPECT_EQ(session.flashImage(&device, 0, image.data(), int64_t(image.size())), c.ok);
        size_t block0 = 0;
        for (const Bytes& m : device.sent)
            block0 += (m.size() == 310 && m[11] == 0 && m[12] == 0);
        EXPECT_EQ(block0, c.sendsOfBlock0);
        // A failed block ends the loop: nothing after it.
        EXPECT_EQ(device.sent.size(), c.ok ? c.sendsOfBlock0 + 2 : c.sendsOfBlock0);
        if (c.ok)
        {
            EXPECT_TRUE(std::equal(image.begin(), image.end(), boot.flash.begin()));
        }
    }
}

TEST(Bootloader, StrayMessagesBetweenRepliesAreSkipped)
{
    ScriptedDevice device;
    FakeBootloader boot;
    boot.strays = {keywordMessage("RetFwStatus", {1}),
                   {0xB0, 0x01, 0x02},
                   {0xC0, 0x03},
                   frame(0, 4, 5, {9}),
                   keywordMessage("RetFwInfo", pack7(Bytes(84, 1)))};
    boot.attach(device);
    const Bytes image = randomImage(1000, 4);
    FirmwareUpdateSession session;
    session.timeoutMs = 30;
    EXPECT_TRUE(session.flashImage(&device, 0, image.data(), int64_t(image.size())));
    EXPECT_EQ(boot.blocks, 4);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), boot.flash.begin()));
}

TEST(Bootloader, ProgressRisesFromZeroToOneHundred)
{
    ScriptedDevice device;
    FakeBootloader boot;
    boot.attach(device);
    const Bytes image = randomImage(708859, 5);
    FirmwareUpdateSession session;
    std::vector<int> seen;
    session.setProgressCallback([](MVDevice*, FirmwareUpdateSession*, int percent, void* user)
                                { static_cast<std::vector<int>*>(user)->push_back(percent); },
                                &seen);
    ASSERT_TRUE(session.flashImage(&device, 0, image.data(), int64_t(image.size())));
    ASSERT_EQ(seen.size(), 2769u);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(device.sent.back().size(), 310u);
    EXPECT_EQ(Bytes(device.sent.back().begin() + 11, device.sent.back().begin() + 15),
              (Bytes{0x00, 0x20, 0x2B, 0x00}));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), boot.flash.begin()));
    EXPECT_EQ(boot.flash.size(), 2769u * 256);
}

TEST(Bootloader, FlashImageRefusesImagesTheOffsetCannotAddress)
{
    ScriptedDevice device;
    FirmwareUpdateSession session;
    const uint8_t byte = 0;
    EXPECT_TRUE(session.flashImage(&device, 0, &byte, 0));
    EXPECT_FALSE(session.flashImage(&device, 0, nullptr, 10));
    // Never read: the size alone is refused.
    EXPECT_FALSE(session.flashImage(&device, 0, &byte, int64_t(1) << 28));
    EXPECT_TRUE(device.sent.empty());
}
