#include "device/GenericDeviceSession.h"
#include "device/SessionError.h"
#include "tests/device/ScriptedDevice.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace testing_device;

namespace
{

// Answers every request frame through `answer`, which gets the request's
// session id and returns the bytes to deliver (nothing for none).
void answerWith(ScriptedDevice& device, std::function<Bytes(uint8_t sid)> answer)
{
    device.onSend = [&device, answer](const Bytes& m)
    {
        const Bytes reply = answer(m[2]);
        if (!reply.empty())
            device.deliver(reply);
    };
}

std::string runExpectingThrow(MVDeviceSession& session, MVDevice& device)
{
    try
    {
        session.run(&device);
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return "no exception";
}

// Every id but the device's own can be taken again after a run.
void expectAllIdsFree(MVDevice& device)
{
    for (int i = 0; i < 63; ++i)
        ASSERT_GE(device.acquireSessionId(), 0) << i;
    EXPECT_EQ(device.acquireSessionId(), -1);
}

struct FailingBody : mvmsgpack::CMessage<int>
{
    bool pack(uint8_t*, unsigned, uint8_t**, unsigned*) override { return false; }
    bool unpack(const uint8_t*, unsigned) override { return false; }
};

} // namespace

TEST(DeviceSession, Command17ReadsTheDecodedStringExactly)
{
    ScriptedDevice device;
    const Bytes text{'K', '7', 0x00, 0x80, 0xFF, 'x', 0x00, 'y', 'z'};
    answerWith(device, [&](uint8_t sid) { return frame(sid, 3, 17, text); });

    auto session = std::shared_ptr<Command17Session>(new Command17Session());
    EXPECT_TRUE(session->run(&device));
    EXPECT_EQ(session->replyPacker.value, std::string(text.begin(), text.end()));
    EXPECT_EQ(session->error, 0);
    ASSERT_EQ(device.sent.size(), 1u);
    // The request: an empty Get 17 on the first id after the device's own.
    EXPECT_EQ(device.sent[0], (Bytes{0xF0, 0x01, 0x01, 0x00, 0x02, 0x11, 0xF7}));
}

TEST(DeviceSession, SerialNumberTakesTheReplyWhateverItsClassOrCommand)
{
    struct Case
    {
        uint8_t cls, cmd;
        Bytes payload;
    };
    const Case cases[] = {
        {3, 35, {'S', 'N', '1', '2', '3'}}, {2, 35, {'A', 'B'}}, {4, 99, {'Z'}}, {3, 35, {}}};
    for (const Case& c : cases)
    {
        ScriptedDevice device;
        answerWith(device, [&](uint8_t sid) { return frame(sid, c.cls, c.cmd, c.payload); });
        auto session = createSerialNumberSession();
        EXPECT_EQ(session->timeoutMs, 3000);
        session->timeoutMs = 200;
        EXPECT_TRUE(session->run(&device)) << int(c.cls);
        EXPECT_EQ(session->replyPacker.value, std::string(c.payload.begin(), c.payload.end()));
        EXPECT_EQ(device.sent.at(0), (Bytes{0xF0, 0x01, 0x01, 0x00, 0x02, 0x23, 0xF7}));
    }
}

TEST(DeviceSession, FailuresThrowAndGiveTheIdBack)
{
    struct Case
    {
        const char* name;
        std::function<Bytes(uint8_t sid)> answer;
        const char* what;
    };
    const Case cases[] = {
        {"no reply", [](uint8_t) { return Bytes{}; }, "Device reading timeout"},
        // The device's routing drops a frame whose checksum is wrong, so the
        // session sees no reply.
        {"bad checksum",
         [](uint8_t sid)
         {
             Bytes f = frame(sid, 3, 35, {'S', 'N'});
             f[3] ^= 0x01;
             return f;
         },
         "Device reading timeout"},
        {"wrong session id", [](uint8_t sid) { return frame(uint8_t(sid + 1), 3, 35, {'S'}); },
         "Device reading timeout"},
        {"longer than the reply buffer", [](uint8_t sid) { return frame(sid, 3, 35, Bytes(900, 'x')); },
         "Device reading timeout"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedDevice device;
        answerWith(device, c.answer);
        auto session = createSerialNumberSession();
        session->timeoutMs = 50;
        EXPECT_EQ(runExpectingThrow(*session, device), c.what);
        EXPECT_EQ(session->error, 0);
        EXPECT_TRUE(session->replyPacker.value.empty());
        expectAllIdsFree(device);
    }
}

TEST(DeviceSession, PackAndUnpackFailuresThrow)
{
    using BadRequest =
        mv::GenericDeviceSession<mv::SessionOperationCode<2, 35>, FailingBody,
                                 mv::SessionOperationCode<3, 35>, bootloader::StdStringPacker, 1>;
    using BadReply = mv::GenericDeviceSession<mv::SessionOperationCode<2, 35>, mvmsgpack::CNull,
                                              mv::SessionOperationCode<3, 35>, FailingBody, 1>;
    ScriptedDevice device;
    answerWith(device, [](uint8_t sid) { return frame(sid, 3, 35, {'S'}); });

    auto request = std::shared_ptr<BadRequest>(new BadRequest(50));
    EXPECT_EQ(runExpectingThrow(*request, device), "Message pack failed");
    EXPECT_TRUE(device.sent.empty());

    auto reply = std::shared_ptr<BadReply>(new BadReply(50));
    EXPECT_EQ(runExpectingThrow(*reply, device), "Message unpack failed");
    expectAllIdsFree(device);
}

TEST(DeviceSession, NoDeviceAndNoFreeIdLeaveTheirCodes)
{
    auto session = createSerialNumberSession();
    EXPECT_FALSE(session->run(nullptr));
    EXPECT_EQ(session->error, SessionError::NoDevice);

    ScriptedDevice device;
    for (int i = 0; i < 63; ++i)
        device.acquireSessionId();
    auto busy = createSerialNumberSession();
    EXPECT_FALSE(busy->run(&device));
    EXPECT_EQ(busy->error, SessionError::NoSession);
    EXPECT_TRUE(device.sent.empty());
}

TEST(DeviceSession, StdStringPackerNeverWritesBeyondItsCapacity)
{
    bootloader::StdStringPacker packer;
    packer.value = "abcdef";
    uint8_t buffer[8] = {};
    uint8_t* out = nullptr;
    unsigned length = 0;
    EXPECT_FALSE(packer.pack(buffer, 5, &out, &length));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(buffer[0], 0);
    ASSERT_TRUE(packer.pack(buffer, 6, &out, &length));
    EXPECT_EQ(out, buffer);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 6), "abcdef");
}
