#include "device/FirmwareUpdateSession.h"
#include "device/SessionError.h"
#include "tests/device/ScriptedDevice.h"
#include "tests/device/TestFirmwareImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

using namespace testing_device;

namespace
{

struct CallbackLog
{
    std::vector<std::string> events;
    bool beforeResult = true;
    bool afterResult = true;
};

bool beforeFlash(MVDevice*, FirmwareUpdateSession*, void* user)
{
    auto* log = static_cast<CallbackLog*>(user);
    log->events.push_back("before");
    return log->beforeResult;
}

bool afterFlash(MVDevice*, FirmwareUpdateSession* session, void* user)
{
    auto* log = static_cast<CallbackLog*>(user);
    log->events.push_back(session->image == nullptr ? "after, image released" : "after");
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
        session.timeoutMs = 3000;
        session.replyTimeoutMs = 30;
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

std::string tempPath(const char* name)
{
    return std::string(::testing::TempDir()) + "/flash_" + std::to_string(::getpid()) + "_" + name;
}

void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace

TEST(FirmwareUpdateSession, StatusZeroRoad)
{
    Fixture f;
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.session.error, 0);
    EXPECT_EQ(f.sentKeywords(),
              (std::vector<std::string>{"GetFwStatus", "GetFwInfo", "WriteFlash", "SetFwStatus1"}));
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
}

TEST(FirmwareUpdateSession, StatusOneRoad)
{
    Fixture f;
    f.boot.status = 1;
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.sentKeywords(), (std::vector<std::string>{"GetFwStatus", "SetFwStatus0", "GetFwInfo",
                                                          "WriteFlash", "SetFwStatus1"}));
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

TEST(FirmwareUpdateSession, AfterFlashResultIsIgnoredAndUserPointersArePassed)
{
    Fixture f;
    f.log.afterResult = false;
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
    const std::string good = tempPath("good.bin");
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
    const std::string empty = tempPath("empty.bin");
    writeFile(empty, {});
    const std::string huge = tempPath("huge.bin");
    {
        // Sparse: 2^28 bytes take no space and are never read.
        std::FILE* file = std::fopen(huge.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fseek(file, (1L << 28) - 1, SEEK_SET);
        std::fputc(0, file);
        std::fclose(file);
    }
    const std::string directory = std::string(::testing::TempDir());

    for (const std::string& path : {tempPath("missing.bin"), empty, huge, directory, std::string()})
    {
        SCOPED_TRACE(path);
        Fixture f;
        f.session.loadFromFile = true;
        f.session.firmwarePath = path;
        EXPECT_FALSE(f.run());
        EXPECT_EQ(f.session.error, SessionError::FileOpenFailed);
        EXPECT_TRUE(f.device.sent.empty());
        EXPECT_EQ(f.out, "");
        EXPECT_TRUE(f.log.events.empty());
    }
    std::remove(empty.c_str());
    std::remove(huge.c_str());
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
