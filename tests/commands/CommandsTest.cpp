// The single-request commands on the scripted device: each command's request
// byte for byte, its results, and every reply fault with the code it leaves.

#include "CommandCases.h"

#include "commands/ChannelMessageSession.h"
#include "commands/MessageExchange.h"
#include "commands/MessagePackMessages.h"
#include "commands/SharedNestedMap.h"
#include "device/SessionError.h"
#include "tests/device/ScriptedDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <typeinfo>

using namespace cases;
using testing_device::ScriptedDevice;

namespace
{

// Answers every frame with one reply of replyClass (0: none) and payload,
// with the fault applied.
void answer(ScriptedDevice& device, uint8_t replyClass, Bytes payload, Fault fault)
{
    if (fault == Fault::SendFails)
        device.failSendAt = 0;
    device.onSend = [&device, replyClass, payload, fault](const Bytes& request)
    {
        if (replyClass == 0 || request.size() < 7)
            return;
        for (const Bytes& reply : faultyReply(request[2], request[5], replyClass, payload, fault))
            device.deliver(reply);
    };
}

// Replies arrive inside send, so no receive needs to wait.
constexpr int noWait = -1;

const Fault scriptedFaults[] = {Fault::None,         Fault::Silent,      Fault::WrongClass,
                                Fault::WrongCommand, Fault::BadChecksum, Fault::WrongSession,
                                Fault::Decodes768,   Fault::Decodes769,  Fault::Decodes889,
                                Fault::Over1024,     Fault::SendFails};

} // namespace

TEST(Commands, EveryCommandSendsItsRequestAndChecksTheReply)
{
    for (const CommandCase& c : singleRequestCommands())
        for (Fault fault : scriptedFaults)
        {
            SCOPED_TRACE(c.name + " / " + faultName(fault));
            ScriptedDevice device;
            answer(device, c.replyClass, c.reply, fault);
            auto session = c.make();
            session->timeoutMs = noWait;
            session->error = 99;
            const int expected = expectedCode(c, fault);

            testing::internal::CaptureStdout(); // the message layer's lines for unpackable replies
            const bool ok = session->run(&device);
            testing::internal::GetCapturedStdout();
            EXPECT_EQ(ok, expected == 0);
            EXPECT_EQ(session->error, expected != 0 ? expected : c.storesEveryRun ? 0 : 99);
            ASSERT_EQ(device.sent.size(), 1u);
            EXPECT_EQ(device.sent[0], testing_device::frame(1, c.requestClass, c.command, c.request));
            if (fault == Fault::None)
                c.check(*session);
        }
}

TEST(Commands, DefaultConstructedWithTheSessionTimeout)
{
    std::vector<std::unique_ptr<MVDeviceSession>> sessions;
    for (const CommandCase& c : singleRequestCommands())
        sessions.push_back(c.make());
    for (const TransferCase& c : transferCases())
        sessions.push_back(c.make());
    sessions.push_back(std::make_unique<ChannelMessageSession>());
    for (const auto& s : sessions)
    {
        const MVDeviceSession& session = *s;
        EXPECT_EQ(session.timeoutMs, 3000) << typeid(session).name();
        EXPECT_EQ(session.error, 0) << typeid(session).name();
    }
}

TEST(Commands, RefuseNoDeviceAndSessionIdsOutsideTheTableSendingNothing)
{
    for (const CommandCase& c : singleRequestCommands())
        for (int sessionId : {1, -1, 64, 255})
        {
            SCOPED_TRACE(c.name + " on id " + std::to_string(sessionId));
            ScriptedDevice device;
            auto session = c.make();
            MVDevice* target = sessionId == 1 ? nullptr : &device;
            EXPECT_FALSE(session->doRun(target, sessionId));
            EXPECT_EQ(session->error, SessionError::InvalidRequest);
            EXPECT_TRUE(device.sent.empty());
        }
    for (const TransferCase& c : transferCases())
        for (int sessionId : {1, -1, 64, 255})
        {
            SCOPED_TRACE(c.name + " on id " + std::to_string(sessionId));
            ScriptedDevice device;
            auto session = c.make();
            EXPECT_FALSE(session->doRun(sessionId == 1 ? nullptr : &device, sessionId));
            EXPECT_EQ(session->error, SessionError::InvalidRequest);
            EXPECT_TRUE(device.sent.empty());
        }
}

TEST(Commands, RefuseArgumentsOutOfRangeSendingNothing)
{
    struct Case
    {
        const char* name;
        std::function<std::unique_ptr<MVDeviceSession>()> make;
    };
    static const uint8_t blob[1] = {};
    const Case rows[] = {
        {"Flag44 2", maker<Flag44SetSession>([](auto& s) { s.value = 2; })},
        {"Flag81 255", maker<Flag81SetSession>([](auto& s) { s.value = 255; })},
        {"SwitchPreset second 128", maker<SwitchPresetSession>([](auto& s) { s.second = 128; })},
        {"Bytes57 second 65536", maker<Bytes57SetSession>([](auto& s) { s.second = 65536; })},
        {"Bytes82 first 256", maker<Bytes82SetSession>([](auto& s) { s.first = 256; })},
        {"Bytes82 second -1", maker<Bytes82SetSession>([](auto& s) { s.second = -1; })},
        {"Bytes82 third 300", maker<Bytes82SetSession>([](auto& s) { s.third = 300; })},
        {"IrLoader 21-byte name",
         maker<IrLoaderFileSession>([](auto& s) { s.wavFileName = std::string(21, 'w'); })},
        {"Blob null data", maker<BlobSetSession>([](auto& s) { s.length = 3; })},
        {"Blob 760 bytes", maker<BlobSetSession>(
                               [](auto& s)
                               {
                                   s.data = blob;
                                   s.length = 760;
                               })},
    };
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        ScriptedDevice device;
        answer(device, Ack, {}, Fault::None);
        auto session = row.make();
        EXPECT_FALSE(session->run(&device));
        const bool tooLong = std::string(row.name) == "Blob 760 bytes";
        EXPECT_EQ(session->error, tooLong ? SessionError::BadLength : SessionError::InvalidRequest);
        EXPECT_TRUE(device.sent.empty());
    }
}

TEST(Commands, PayloadsKeptAsTheyTravel)
{
    struct Case
    {
        const char* name;
        std::function<std::unique_ptr<MVDeviceSession>()> make;
        uint8_t command;
        Bytes payload;
    };
    const std::string longText(40, 'x');
    const std::string spaced = "my room  impulse.wav"; // 20 bytes, two spaces
    const std::string compact =
        R"({"wavBitDepth":16,"wavFileName":"myroomimpulse.wav","wavSampleRate":44100.0})";
    const Case rows[] = {
        // A negative second passes its upper-bound check; its low 16 bits travel.
        {"Bytes57 second -1",
         maker<Bytes57SetSession>(
             [](auto& s)
             {
                 s.first = 5;
                 s.second = -1;
             }),
         57, Bytes{0x05, 0x00, 0xFF, 0xFF, 0, 0, 0, 0}},
        {"Bytes57 second 65535", maker<Bytes57SetSession>([](auto& s) { s.second = 65535; }), 57,
         Bytes{0, 0, 0xFF, 0xFF, 0, 0, 0, 0}},
        {"String17 of 40 characters", maker<String17SetSession>([&](auto& s) { s.text = longText; }), 17,
         mpField(longText)},
        {"IrLoader spaces in the name stripped",
         maker<IrLoaderFileSession>(
             [&](auto& s)
             {
                 s.wavFileName = spaced;
                 s.wavBitDepth = 16;
                 s.wavSampleRate = 44100.0f;
             }),
         41, cat({u32(uint32_t(compact.size())), Bytes(compact.begin(), compact.end())})},
        {"Bytes82 at 255 and 0",
         maker<Bytes82SetSession>(
             [](auto& s)
             {
                 s.first = 255;
                 s.second = 0;
                 s.third = 128;
             }),
         82, Bytes{0xFF, 0x80, 0x00}},
    };
    EXPECT_EQ(mpField(longText).size(), 1u + 2u + 32u) << "31 characters and the NUL in a str8";
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        ScriptedDevice device;
        answer(device, Ack, {}, Fault::None);
        auto session = row.make();
        EXPECT_TRUE(session->run(&device));
        ASSERT_EQ(device.sent.size(), 1u);
        EXPECT_EQ(device.sent[0], testing_device::frame(1, Set, row.command, row.payload));
    }
}

TEST(Commands, RepliesOfAnotherLength)
{
    testing::internal::CaptureStdout();
    {
        // Byte50: exactly one byte, else 7 and the old value stays.
        ScriptedDevice device;
        answer(device, Data, {0x01, 0x02}, Fault::None);
        Byte50GetSession s;
        s.value = 0x44;
        EXPECT_FALSE(s.run(&device));
        EXPECT_EQ(s.error, SessionError::BadLength);
        EXPECT_EQ(s.value, 0x44);
    }
    {
        // Raw Gets read missing bytes as 0.
        ScriptedDevice device;
        answer(device, Data, u32(9), Fault::None);
        Values40GetSession s;
        s.second = s.third = 5;
        EXPECT_TRUE(s.run(&device));
        EXPECT_EQ(s.first, 9u);
        EXPECT_EQ(s.second, 0u);
        EXPECT_EQ(s.third, 0u);
    }
    {
        // An empty raw reply is all zeros.
        ScriptedDevice device;
        answer(device, Data, {}, Fault::None);
        Value33GetSession s;
        s.value = 1;
        EXPECT_TRUE(s.run(&device));
        EXPECT_EQ(s.value, 0u);
    }
    testing::internal::GetCapturedStdout();
}

TEST(Commands, DspGetsCopyTheirResultAfterFailedRunsToo)
{
    // Each result starts non-zero; a run that unpacked no reply leaves 0.
    struct Case
    {
        const char* name;
        std::function<std::unique_ptr<MVDeviceSession>()> make;
        std::function<double(MVDeviceSession&)> result;
        Bytes reply;
        Fault fault;
        int error;
    };
    auto dspParam = maker<DspParamGetSession>([](auto& s) { s.value = 3; });
    auto dspOnOff = maker<DspOnOffGetSession>([](auto& s) { s.on = 1; });
    auto value = [](MVDeviceSession& s) { return double(as<DspParamGetSession>(s).value); };
    auto on = [](MVDeviceSession& s) { return double(as<DspOnOffGetSession>(s).on); };
    const Case rows[] = {
        {"DspParamGet, reply that does not unpack",
         dspParam,
         value,
         {0xC1},
         Fault::None,
         SessionError::UnpackFailed},
        {"DspParamGet, no reply", dspParam, value, mpFloat(0.5f), Fault::Silent, SessionError::NoReply},
        {"DspOnOffGet, reply that does not unpack",
         dspOnOff,
         on,
         {0xC1},
         Fault::None,
         SessionError::UnpackFailed},
        {"DspOnOffGet, no reply", dspOnOff, on, mpBool(true), Fault::Silent, SessionError::NoReply},
        {"DspOnOffGet, Ack reply", dspOnOff, on, mpBool(true), Fault::WrongClass, SessionError::WrongClass},
    };
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        ScriptedDevice device;
        answer(device, Data, row.reply, row.fault);
        auto session = row.make();
        session->timeoutMs = noWait;
        testing::internal::CaptureStdout(); // the message layer's line for the unpackable reply
        const bool ok = session->run(&device);
        testing::internal::GetCapturedStdout();
        EXPECT_FALSE(ok);
        EXPECT_EQ(session->error, row.error);
        EXPECT_EQ(row.result(*session), 0.0);
    }
}

TEST(Int32ArrayGet, EachFailureLeavesItsOwnCodeAndNoEntries)
{
    enum class Target
    {
        Device,
        NoDevice,
        Id64
    };
    struct Case
    {
        const char* name;
        std::vector<uint32_t> keys;
        Bytes reply; // the Data payload
        Fault fault;
        Target target;
        int error;
        size_t sent;
        size_t entries;
    };
    const std::vector<uint32_t> three = {1, 2, 3};
    const Bytes threeValues = cat({mpArray(3), mpUint(7), mpUint(8), mpUint(9)});
    const Case rows[] = {
        {"three values", three, threeValues, Fault::None, Target::Device, 0, 1, 3},
        {"no keys, no values", {}, mpArray(0), Fault::None, Target::Device, 0, 1, 0},
        {"null device", three, threeValues, Fault::None, Target::NoDevice, SessionError::InvalidRequest, 0,
         0},
        {"session id 64", three, threeValues, Fault::None, Target::Id64, SessionError::InvalidRequest, 0, 0},
        {"keys that do not fit the body", std::vector<uint32_t>(200, 70000), threeValues, Fault::None,
         Target::Device, SessionError::InvalidRequest, 0, 0},
        {"send fails", three, threeValues, Fault::SendFails, Target::Device, SessionError::NoDevice, 1, 0},
        {"no reply", three, threeValues, Fault::Silent, Target::Device, SessionError::NoReply, 1, 0},
        {"Ack reply", three, threeValues, Fault::WrongClass, Target::Device, SessionError::WrongClass, 1, 0},
        {"reply of another command", three, threeValues, Fault::WrongCommand, Target::Device,
         SessionError::WrongCommand, 1, 0},
        {"reply that does not unpack",
         three,
         {0xC1},
         Fault::None,
         Target::Device,
         SessionError::UnpackFailed,
         1,
         0},
        {"two values for three keys", three, cat({mpArray(2), mpUint(1), mpUint(2)}), Fault::None,
         Target::Device, SessionError::BadLength, 1, 0},
        {"four values for three keys", three, cat({mpArray(4), mpUint(1), mpUint(2), mpUint(3), mpUint(4)}),
         Fault::None, Target::Device, SessionError::BadLength, 1, 0},
        {"values for no keys", {}, threeValues, Fault::None, Target::Device, SessionError::BadLength, 1, 0},
    };
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        ScriptedDevice device;
        answer(device, Data, row.reply, row.fault);
        Int32ArrayGetSession s;
        s.timeoutMs = noWait;
        s.error = 99;
        s.keys = row.keys;
        s.entries.push_back({9, 9, {0, 0}});
        MVDevice* target = row.target == Target::NoDevice ? nullptr : &device;
        const int sessionId = row.target == Target::Id64 ? 64 : device.acquireSessionId();

        testing::internal::CaptureStdout(); // the message layer's lines for bodies that fail
        const bool ok = s.doRun(target, sessionId);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(ok, row.error == 0);
        EXPECT_EQ(s.error, row.error);
        EXPECT_EQ(device.sent.size(), row.sent);
        EXPECT_EQ(s.entries.size(), row.entries);
        for (size_t i = 0; i < std::min(s.entries.size(), row.entries); ++i)
        {
            EXPECT_EQ(uint32_t(s.entries[i].key), row.keys[i]);
            EXPECT_EQ(uint32_t(s.entries[i].value), 7 + i);
        }
    }
}

TEST(MessageExchange, CodesOfItsOwnSteps)
{
    struct FailingBody : mvmsgpack::CMessage<int>
    {
        bool pack(uint8_t*, unsigned, uint8_t**, unsigned*) override { return false; }
        bool unpack(const uint8_t*, unsigned) override { return false; }
    };
    ScriptedDevice device;
    const int sid = device.acquireSessionId();
    const MessageExchange exchange(99, noWait);
    FailingBody failing;
    mvmsgpack::CNull empty;

    EXPECT_EQ(exchange.setByte(&device, sid, nullptr), SessionError::InvalidRequest);
    EXPECT_EQ(exchange.set(&device, sid, failing), SessionError::InvalidRequest);
    EXPECT_EQ(exchange.get(&device, sid, failing, empty), SessionError::InvalidRequest);
    EXPECT_EQ(exchange.set(nullptr, sid, empty), SessionError::InvalidRequest);
    EXPECT_TRUE(device.sent.empty());

    // An Ack with any payload is accepted; an empty body sends no payload.
    answer(device, Ack, Bytes(300, 0xEE), Fault::None);
    EXPECT_EQ(exchange.set(&device, sid, empty), 0);
    EXPECT_EQ(device.sent.back(), testing_device::frame(uint8_t(sid), Set, 99, {}));
    // A correct Data reply whose body does not unpack: 18.
    answer(device, Data, {1, 2}, Fault::None);
    EXPECT_EQ(exchange.get(&device, sid, empty, failing), SessionError::UnpackFailed);
}

TEST(ChannelMessage, SendsStatusAndDataWithoutAFrame)
{
    struct Case
    {
        uint8_t status, first, second;
        int failSendAt;
        bool ok;
        int error;
        Bytes sent;
    };
    const Case rows[] = {
        {0xB0, 5, 50, -1, true, 0, {0xB0, 0xFF}},
        {0xC0, 2, 3, -1, true, 0, {0xC0, 0x11}},
        {0xC0, 6, 50, -1, false, SessionError::InvalidRequest, {}},
        {0xC0, 1, 1, 0, false, SessionError::NoDevice, {0xC0, 0x06}},
    };
    for (const Case& row : rows)
    {
        ScriptedDevice device;
        device.failSendAt = row.failSendAt;
        ChannelMessageSession s;
        s.status = row.status;
        s.first = row.first;
        s.second = row.second;
        EXPECT_EQ(s.run(&device), row.ok);
        EXPECT_EQ(s.error, row.error);
        EXPECT_EQ(device.sent, row.sent.empty() ? std::vector<Bytes>{} : std::vector<Bytes>{row.sent});
    }
    ChannelMessageSession s;
    EXPECT_FALSE(s.run(nullptr));
    EXPECT_EQ(s.error, SessionError::NoDevice);
}

TEST(SharedNestedMap, OneMapForTheProcess)
{
    getSharedNestedMap()[7][1] = 2;
    EXPECT_EQ(&getSharedNestedMap(), &getSharedNestedMap());
    EXPECT_EQ(getSharedNestedMap().at(7).at(1), 2u);
    getSharedNestedMap().clear();
}
