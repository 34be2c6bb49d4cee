#include "device/FirmwareUpdateSession.h"
#include "device/SessionError.h"
#include "tests/device/FirmwareFiles.h"
#include "tests/device/ScriptedDevice.h"
#include "tests/device/TestFirmwareImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

using namespace testing_device;

namespace
{

struct CallbackLog
{
    std::vector<std::string> events;
    bool beforeResult = true;
    bool afterResult = true;
    // What answers after each restart, changed here.
    std::function<void()> onBefore;
    std::function<void()> onAfter;
};

bool beforeFlash(MVDevice*, FirmwareUpdateSession*, void* user)
{
    auto* log = static_cast<CallbackLog*>(user);
    log->events.push_back("before");
    if (log->onBefore)
        log->onBefore();
    return log->beforeResult;
}

bool afterFlash(MVDevice*, FirmwareUpdateSession* session, void* user)
{
    auto* log = static_cast<CallbackLog*>(user);
    log->events.push_back(session->image == nullptr ? "after, image released" : "after");
    if (log->onAfter)
        log->onAfter();
    return log->afterResult;
}

struct Fixture
{
    ScriptedDevice device;
    FakeBootloader boot;
    FirmwareUpdateSession session;
    CallbackLog log;
    Bytes image = makeTestImage(5000, 21);
    std::string out;

    Fixture()
    {
        boot.infoBlock = Bytes(image.begin() + 0x400, image.begin() + 0x454);
        boot.attach(device);
        session.timeoutMs = 30;
        session.image = image.data();
        session.imageSize = int(image.size());
        session.setBeforeFlashCallback(beforeFlash, &log);
        session.setAfterFlashCallback(afterFlash, &log);
    }

    bool run()
    {
        testing::internal::CaptureStdout();
        const bool ok = session.run(&device);
        out = testing::internal::GetCapturedStdout();
        return ok;
    }

    // The keyword of every message sent, in order.
    std::vector<std::string> sentKeywords() const
    {
        std::vector<std::string> names;
        for (const Bytes& m : device.sent)
        {
            std::string k;
            for (size_t i = 1; i < m.size() && m[i] >= 'A' && m[i] <= 'z'; ++i)
                k += char(m[i]);
            if (k == "SetFwStatus")
                k += char('0' + m[12]);
            if (names.empty() || names.back() != k || k != "WriteFlash")
                names.push_back(k);
        }
        return names;
    }
};

} // namespace

TEST(FirmwareUpdateSession, StatusZeroRoad)
{
    Fixture f;
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.session.error, 0);
    // The reads after "SetFwStatus" 1 confirm the new firmware, and print
    // nothing.
    EXPECT_EQ(f.sentKeywords(), (std::vector<std::string>{"GetFwStatus", "GetFwInfo", "WriteFlash",
                                                          "SetFwStatus1", "GetFwStatus", "GetFwInfo"}));
    EXPECT_EQ(f.log.events, (std::vector<std::string>{"after"}));
    EXPECT_TRUE(std::equal(f.image.begin(), f.image.end(), f.boot.flash.begin()));
    const std::string expected = "Get FW SID: 0\n"
                                 "Get FW Status: 0\n"
                                 "Will sleep for 0 ms\n"
                                 "Sending GetFwInfo command\n"
                                 "Sent GetFwInfo command\n"
                                 "Got FW Info:\n"
                                 "Device Name: K7AP\n"
                                 "Bootloader Version: 1.0.0.4\n"
                                 "FW Version: 1.2.3.37\n"
                                 "FW Length: 1250\n";
    EXPECT_EQ(f.out.substr(0, expected.size()), expected);
    EXPECT_NE(f.out.find("Sector len: 156 & checksum: "), std::string::npos);
    size_t sectorLines = 0;
    for (size_t at = 0; (at = f.out.find("Sector len: ", at)) != std::string::npos; ++at)
        ++sectorLines;
    EXPECT_EQ(sectorLines, 7u);
    EXPECT_EQ(std::count(f.out.begin(), f.out.end(), '\n'), 18) << "the confirming reads print nothing";
}

TEST(FirmwareUpdateSession, StatusOneRoad)
{
    Fixture f;
    f.boot.status = 1;
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.sentKeywords(),
              (std::vector<std::string>{"GetFwStatus", "SetFwStatus0", "GetFwStatus", "GetFwInfo",
                                        "WriteFlash", "SetFwStatus1", "GetFwStatus", "GetFwInfo"}));
    EXPECT_EQ(f.log.events, (std::vector<std::string>{"before", "after"}));
    EXPECT_NE(f.out.find("Get FW Status: 1\nSet FW Status as 0\nWill sleep for 0 ms\n"), std::string::npos);

    Fixture noCallback; // status 1 without a before-flash callback goes on
    noCallback.boot.status = 1;
    noCallback.session.beforeFlashCallback = nullptr;
    EXPECT_TRUE(noCallback.run());
}

TEST(FirmwareUpdateSession, FailuresLeaveTheirCodesAndStopThere)
{
    struct Case
    {
        const char* name;
        std::function<void(Fixture&)> setup;
        int error;
        std::vector<std::string> sent;
        std::vector<std::string> callbacks;
    };
    const Case cases[] = {
        {"no RetFwStatus", [](Fixture& f) { f.boot.answerStatus = false; }, 11, {"GetFwStatus"}, {}},
        {"GetFwStatus not sent", [](Fixture& f) { f.device.failSendAt = 0; }, 11, {"GetFwStatus"}, {}},
        {"SetFwStatus 0 not sent",
         [](Fixture& f)
         {
             f.boot.status = 1;
             f.device.failSendAt = 1;
         },
         12,
         {"GetFwStatus", "SetFwStatus0"},
         {}},
        {"callback refused",
         [](Fixture& f)
         {
             f.boot.status = 1;
             f.log.beforeResult = false;
         },
         13,
         {"GetFwStatus", "SetFwStatus0"},
         {"before"}},
        {"no RetFwInfo", [](Fixture& f) { f.boot.answerInfo = false; }, 14, {"GetFwStatus", "GetFwInfo"}, {}},
        {"block refused twice",
         [](Fixture& f) {
             f.boot.writeResults = {1, 1, 0, 0};
         },
         16,
         {"GetFwStatus", "GetFwInfo", "WriteFlash"},
         {}},
        {"block unanswered",
         [](Fixture& f) { f.boot.writeResults = {-1}; },
         16,
         {"GetFwStatus", "GetFwInfo", "WriteFlash"},
         {}},
        {"SetFwStatus 1 not sent",
         [](Fixture& f) { f.device.failSendAt = 2 + 20; },
         12,
         {"GetFwStatus", "GetFwInfo", "WriteFlash", "SetFwStatus1"},
         {}},
        {"amplifier not back after the flash",
         [](Fixture& f) { f.log.afterResult = false; },
         13,
         {"GetFwStatus", "GetFwInfo", "WriteFlash", "SetFwStatus1"},
         {"after"}},
        {"image for another device",
         [](Fixture& f) { f.boot.infoBlock[3] = 'X'; },
         15,
         {"GetFwStatus", "GetFwInfo"},
         {}},
        {"image for another device, bootloader entered for it",
         [](Fixture& f)
         {
             f.boot.status = 1;
             f.boot.infoBlock[3] = 'X';
         },
         15,
         {"GetFwStatus", "SetFwStatus0", "GetFwStatus", "GetFwInfo", "SetFwStatus1"},
         {"before", "after"}},
        {"info reply too short for a name, bootloader entered for it",
         [](Fixture& f)
         {
             f.boot.status = 1;
             f.boot.infoBlock.resize(2);
         },
         15,
         {"GetFwStatus", "SetFwStatus0", "GetFwStatus", "GetFwInfo", "SetFwStatus1"},
         {"before", "after"}},
        // What answers after a restart is confirmed before anything more is
        // sent: another amplifier, still running its firmware, gets no block.
        {"not in its bootloader after the restart",
         [](Fixture& f)
         {
             f.boot.status = 1;
             f.log.onBefore = [&f] { f.boot.status = 1; };
         },
         13,
         {"GetFwStatus", "SetFwStatus0", "GetFwStatus"},
         {"before"}},
        {"no answer after the restart",
         [](Fixture& f)
         {
             f.boot.status = 1;
             f.log.onBefore = [&f] { f.boot.answerStatus = false; };
         },
         13,
         {"GetFwStatus", "SetFwStatus0", "GetFwStatus"},
         {"before"}},
        {"still in its bootloader after the update",
         [](Fixture& f) { f.log.onAfter = [&f] { f.boot.status = 0; }; },
         13,
         {"GetFwStatus", "GetFwInfo", "WriteFlash", "SetFwStatus1", "GetFwStatus"},
         {"after"}},
        {"old firmware after the update",
         [](Fixture& f) { f.log.onAfter = [&f] { f.boot.infoBlock[8] ^= 1; }; },
         13,
         {"GetFwStatus", "GetFwInfo", "WriteFlash", "SetFwStatus1", "GetFwStatus", "GetFwInfo"},
         {"after"}},
        {"no status after the update",
         [](Fixture& f) { f.log.onAfter = [&f] { f.boot.answerStatus = false; }; },
         13,
         {"GetFwStatus", "GetFwInfo", "WriteFlash", "SetFwStatus1", "GetFwStatus"},
         {"after"}},
        {"no information after the update",
         [](Fixture& f) { f.log.onAfter = [&f] { f.boot.answerInfo = false; }; },
         13,
         {"GetFwStatus", "GetFwInfo", "WriteFlash", "SetFwStatus1", "GetFwStatus", "GetFwInfo"},
         {"after"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Fixture f;
        c.setup(f);
        EXPECT_FALSE(f.run());
        EXPECT_EQ(f.session.error, c.error);
        EXPECT_EQ(f.sentKeywords(), c.sent);
        EXPECT_EQ(f.log.events, c.callbacks);
    }
}

// A repeated reply to block 0 already waits in the queue when block 1 goes
// out. Taken for block 1's answer, it would count the refused block as
// written and leave a hole in the flash; dropped, block 1 is refused and
// resent.
TEST(FirmwareUpdateSession, StaleRepliesQueuedBeforeABlockAreDropped)
{
    Fixture f;
    f.boot.repeatReplyTo = {0};
    f.boot.writeResults = {1, 0};
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.boot.blocks, 20 + 1);
    ASSERT_GE(f.boot.flash.size(), f.image.size());
    EXPECT_TRUE(std::equal(f.image.begin(), f.image.end(), f.boot.flash.begin()));
}

// An amplifier echoes offsets once two replies taken named two different
// blocks; the blocks that took a reply naming another before that are
// written again, each until a reply names it.
TEST(FirmwareUpdateSession, BlocksAnsweredByAnotherBlocksReplyAreWrittenAgainOnceEchoesAreKnown)
{
    struct Case
    {
        const char* name;
        bool echo;
        std::vector<int> firstReplyInsteadOf; // request numbers
        std::vector<int> firstReplyAheadOf;   // request numbers
        bool ok;
        int requests;
        bool echoed;
    };
    const int blocks = 20;
    std::vector<int> everyRequestButTheFirst;
    for (int i = 1; i < 2 * blocks; ++i)
        everyRequestButTheFirst.push_back(i);
    const Case cases[] = {
        {"every reply names its block", true, {}, {}, true, blocks, true},
        {"zeros in every reply", false, {}, {}, true, blocks, false},
        {"block 0's reply again for blocks 1 and 2", true, {1, 2}, {}, true, blocks + 2, true},
        {"block 0's reply again for block 5, known by then", true, {5}, {}, false, 6, true},
        {"block 1 answered only by block 0's reply", true, {1, 3}, {}, false, 4, true},
        // Only the replies dropped behind the copies show the echo.
        {"block 0's reply ahead of every other", true, {}, everyRequestButTheFirst, true, blocks + 2, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.boot.echo = c.echo;
        f.boot.firstReplyInsteadOf = c.firstReplyInsteadOf;
        f.boot.firstReplyAheadOf = c.firstReplyAheadOf;
        EXPECT_EQ(f.run(), c.ok);
        EXPECT_EQ(f.session.error, c.ok ? 0 : 16);
        EXPECT_EQ(f.boot.blocks, c.requests);
        EXPECT_EQ(f.session.offsetsEchoed, c.echoed);
        if (c.ok)
        {
            ASSERT_GE(f.boot.flash.size(), f.image.size());
            EXPECT_TRUE(std::equal(f.image.begin(), f.image.end(), f.boot.flash.begin()));
        }
    }
}

TEST(FirmwareUpdateSession, RefusalsSayWhy)
{
    Fixture notBack;
    notBack.log.afterResult = false;
    EXPECT_FALSE(notBack.run());
    EXPECT_NE(notBack.out.find("\nThe amplifier did not come back after the update\n"), std::string::npos);

    Fixture otherDevice;
    otherDevice.boot.infoBlock[3] = 'X';
    EXPECT_FALSE(otherDevice.run());
    EXPECT_NE(otherDevice.out.find(
                  "\nFirmware image refused: it is built for device 'K7AP', the amplifier is 'K7AX'\n"),
              std::string::npos);
    EXPECT_TRUE(otherDevice.boot.flash.empty());
}

// The image goes only to an amplifier of its own name, or to a blank one (a
// bootloader without firmware, in recovery). A reply too short to hold a name
// is zero-filled, and must not pass for blank.
TEST(FirmwareUpdateSession, DeviceNameMustEqualTheImagesOrBeBlank)
{
    const std::string otherName = "Firmware image refused: it is built for device 'K7AP', the amplifier is ";
    const std::string tooShort =
        " bytes, too few to hold its device name; the image is built for device 'K7AP'";
    struct Case
    {
        const char* name;
        Bytes reply;      // the start of the block, or all of it with replyBytes
        int replyBytes;   // how many bytes "RetFwInfo" carries; -1: all 84
        std::string line; // empty: flashed
        // Its line: unprintable bytes as U+FFFD, trailing zeros dropped.
        std::string nameLine;
    };
    const std::string unprintable = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"same name", {'K', '7', 'A', 'P'}, -1, "", "K7AP"},
        {"another name", {'K', '7', 'A', 'X'}, -1, otherName + "'K7AX'", "K7AX"},
        {"names differ in case", {'k', '7', 'a', 'p'}, -1, otherName + "'k7ap'", "k7ap"},
        {"spaces", {' ', ' ', ' ', ' '}, -1, "", "    "},
        {"zeros", {0, 0, 0, 0}, -1, "", ""},
        {"0xFF bytes",
         {0xFF, 0xFF, 0xFF, 0xFF},
         -1,
         "",
         unprintable + unprintable + unprintable + unprintable},
        {"blanks mixed",
         {0, 0xFF, ' ', ' '},
         -1,
         otherName + "'\\x00\\xFF  '",
         unprintable + unprintable + "  "},
        {"not printable", {'K', '7', 0xFF, 'P'}, -1, otherName + "'K7\\xFFP'", "K7" + unprintable + "P"},
        {"no bytes", {}, 0, "Firmware image refused: the amplifier's info block has 0" + tooShort, ""},
        {"two zero bytes",
         {0, 0},
         2,
         "Firmware image refused: the amplifier's info block has 2" + tooShort,
         ""},
        {"three bytes of the name",
         {'K', '7', 'A'},
         3,
         "Firmware image refused: the amplifier's info block has 3" + tooShort,
         "K7A"},
        {"the name alone", {'K', '7', 'A', 'P'}, 4, "", "K7AP"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Fixture f;
        std::copy(c.reply.begin(), c.reply.end(), f.boot.infoBlock.begin());
        if (c.replyBytes >= 0)
            f.boot.infoBlock.resize(size_t(c.replyBytes));
        const bool flashed = c.line.empty();
        EXPECT_EQ(f.run(), flashed);
        EXPECT_EQ(f.session.error, flashed ? 0 : 15);
        EXPECT_EQ(f.boot.blocks > 0, flashed);
        EXPECT_NE(f.out.find("\nDevice Name: " + c.nameLine + "\nBootloader Version: "), std::string::npos)
            << f.out;
        if (!flashed)
        {
            EXPECT_NE(f.out.find("\n" + c.line + "\n"), std::string::npos) << f.out;
            EXPECT_EQ(f.out.find("Firmware image refused"), f.out.rfind("Firmware image refused"))
                << "one line";
        }
    }
}

// Images that cannot be what they claim are refused before any traffic,
// with one line naming the check: the info block must fit, its firmware
// length must be the image's whole words, and those words outside the block
// must sum to its checksum. The sector sums are not checked.
TEST(FirmwareUpdateSession, ImagesThatDoNotDescribeThemselvesAreRefused)
{
    const Bytes good = makeTestImage(5000, 21);
    const auto changed = [&](std::function<void(Bytes&)> change)
    {
        Bytes image = good;
        change(image);
        return image;
    };
    const auto withLength = [&](uint32_t words)
    { return changed([words](Bytes& image) { putLe32(image, 0x400 + 12, words); }); };
    Bytes text(3000);
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = "root:x:0:0:root:/root:/bin/bash\n"[i % 32];
    const std::string lengthLine = "Firmware image refused: its info block gives a firmware length of ";
    const std::string sumLine = "Firmware image refused: its info block gives a checksum of ";
    struct Case
    {
        const char* name;
        Bytes image;
        std::string line; // empty: flashed
    };
    const Case cases[] = {
        {"too short for the info block", Bytes(good.begin(), good.begin() + 0x453),
         "Firmware image refused: 1107 bytes cannot hold its info block at 0x400 (1108 bytes needed)"},
        {"just holds the info block", makeTestImage(0x454, 3), ""},
        {"three bytes after the last whole word", makeTestImage(5003, 4), ""},
        {"firmware length 0", withLength(0), lengthLine + "0 words (0 bytes), the image has 5000 bytes"},
        {"firmware length 1", withLength(1), lengthLine + "1 word (4 bytes), the image has 5000 bytes"},
        {"cut short", Bytes(good.begin(), good.begin() + 4000),
         lengthLine + "1250 words (5000 bytes), the image has 4000 bytes"},
        {"one word more than the image", withLength(1251),
         lengthLine + "1251 words (5004 bytes), the image has 5000 bytes"},
        {"one word fewer than the image", withLength(1249),
         lengthLine + "1249 words (4996 bytes), the image has 5000 bytes"},
        {"a whole word past its length", changed([](Bytes& image) { image.resize(5004, 0); }),
         lengthLine + "1250 words (5000 bytes), the image has 5004 bytes"},
        {"a text file", text, lengthLine + "980709231 words (3922836924 bytes), the image has 3000 bytes"},
        {"two bytes flipped", changed([](Bytes& image) { image[10] ^= 0x01, image[4000] ^= 0x80; }),
         sumLine + "0x69F31A6D, the image's words sum to 0x69F21AED"},
        {"zeros around a real info block",
         changed(
             [](Bytes& image)
             {
                 std::fill(image.begin(), image.begin() + 0x400, 0);
                 std::fill(image.begin() + 0x454, image.end(), 0);
             }),
         sumLine + "0x69F31A6D, the image's words sum to 0x00000000"},
        {"sector sums that do not match",
         changed([](Bytes& image) { putLe32(image, 0x400 + 24, getLe32(image, 0x400 + 24) + 1); }), ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.image = c.image;
        f.session.image = f.image.data();
        f.session.imageSize = int(f.image.size());
        const bool ok = f.run();
        EXPECT_EQ(ok, c.line.empty());
        if (c.line.empty())
            continue;
        EXPECT_EQ(f.session.error, SessionError::FileOpenFailed);
        EXPECT_TRUE(f.device.sent.empty());
        EXPECT_EQ(f.out, c.line + "\n");
    }
}

TEST(FirmwareUpdateSession, UserPointersArePassed)
{
    Fixture f;
    EXPECT_TRUE(f.run());
    EXPECT_EQ(f.session.beforeFlashUser, &f.log);
    EXPECT_EQ(f.session.afterFlashUser, &f.log);
    int progressUser = 0;
    f.session.setProgressCallback(nullptr, &progressUser);
    EXPECT_EQ(f.session.progressUser, &progressUser);
}

TEST(FirmwareUpdateSession, NoDeviceOrUnusableImageSendsNothing)
{
    Fixture nullDevice;
    EXPECT_FALSE(nullDevice.session.run(nullptr));
    EXPECT_EQ(nullDevice.session.error, SessionError::NoDevice);

    struct Case
    {
        const char* name;
        const uint8_t* image;
        int size;
    };
    static const uint8_t byte = 0;
    const Case cases[] = {
        {"null image", nullptr, 100}, {"empty image", &byte, 0}, {"2^28 bytes", &byte, 1 << 28}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.session.image = c.image;
        f.session.imageSize = c.size;
        EXPECT_FALSE(f.run());
        EXPECT_EQ(f.session.error, SessionError::WriteFlashFailed);
        EXPECT_TRUE(f.device.sent.empty());
        EXPECT_EQ(f.out, "");
    }
}

TEST(FirmwareUpdateSession, FileIsReadWholeBeforeAnyTraffic)
{
    // Any byte string names a file: blanks and letters beyond ASCII too.
    const std::string good = tempPath("good firmware \xC3\xBC\xE2\x82\xAC.bin");
    const Bytes image = makeTestImage(3000, 5);
    writeFile(good, image);

    Fixture f;
    f.session.image = nullptr;
    f.session.imageSize = 0;
    f.session.loadFromFile = true;
    f.session.firmwarePath = good;
    ASSERT_TRUE(f.run());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), f.boot.flash.begin()));
    EXPECT_EQ(f.session.imageSize, 3000);
    EXPECT_EQ(f.session.image, nullptr); // released with the run
    EXPECT_EQ(f.log.events, (std::vector<std::string>{"after, image released"}));

    // A failed run from a file releases the bytes too.
    Fixture failing;
    failing.session.loadFromFile = true;
    failing.session.firmwarePath = good;
    failing.boot.answerInfo = false;
    EXPECT_FALSE(failing.run());
    EXPECT_EQ(failing.session.image, nullptr);
    std::remove(good.c_str());
}

TEST(FirmwareUpdateSession, FileErrorsEndWithFifteenAndSendNothing)
{
    const RefusedFiles files;
    for (const RefusedFiles::Case& c : files.cases)
    {
        SCOPED_TRACE(c.path);
        Fixture f;
        f.session.loadFromFile = true;
        f.session.firmwarePath = c.path;
        EXPECT_FALSE(f.run());
        EXPECT_EQ(f.session.error, SessionError::FileOpenFailed);
        EXPECT_TRUE(f.device.sent.empty());
        EXPECT_EQ(f.out, "Firmware file refused: '" + c.path + "' " + c.why + "\n");
        EXPECT_TRUE(f.log.events.empty());
    }
}

TEST(FirmwareUpdateSession, ExceptionsFromCallbacksPassAndReleaseTheFile)
{
    const std::string path = tempPath("throw.bin");
    writeFile(path, makeTestImage(2000, 6));
    Fixture f;
    f.boot.status = 1;
    f.session.loadFromFile = true;
    f.session.firmwarePath = path;
    f.session.beforeFlashCallback = [](MVDevice*, FirmwareUpdateSession*, void*) -> bool
    { throw std::runtime_error("reopen failed"); };
    testing::internal::CaptureStdout();
    EXPECT_THROW(f.session.run(&f.device), std::runtime_error);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(f.session.image, nullptr);
    std::remove(path.c_str());
}
