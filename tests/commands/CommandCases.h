#pragma once

// One row per amplifier command with a single request: how to make it, the
// request it must send and the reply it awaits, the reply that carries its
// results and how to check them. Shared by the scripted-device tests and the
// end-to-end tests against the emulator.

#include "WireModel.h"

#include "commands/BlockTransfer.h"
#include "commands/ChunkedData.h"
#include "commands/IrLoaderFileSession.h"
#include "commands/MessageCommands.h"
#include "commands/PackedSetCommands.h"
#include "commands/RawGetCommands.h"
#include "commands/RecordCommands.h"
#include "commands/UnansweredCommands.h"
#include "device/CommandFrame.h"
#include "device/SessionError.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cases
{

using wire::Bytes;
using namespace wire;

enum class Family
{
    MessagePack,
    SingleByte,
    Packed,
    RawGet,
    RecordList,
    Unanswered
};

struct CommandCase
{
    std::string name;
    Family family;
    std::function<std::unique_ptr<MVDeviceSession>()> make;
    uint8_t requestClass;
    uint8_t command;
    Bytes request;
    uint8_t replyClass; // 0: no reply awaited
    Bytes reply;        // the reply payload with the results below
    std::function<void(MVDeviceSession&)> check;
    // Writes its code on every run, 0 on success (else only on failure).
    bool storesEveryRun = false;
    // The code left by a reply padded with zeros to decode to exactly 768 bytes.
    int codeAt768 = 0;
};

template <typename S> S& as(MVDeviceSession& s)
{
    return dynamic_cast<S&>(s);
}

template <typename S> std::function<std::unique_ptr<MVDeviceSession>()> maker(std::function<void(S&)> fill)
{
    return [fill]
    {
        auto s = std::make_unique<S>();
        fill(*s);
        return std::unique_ptr<MVDeviceSession>(std::move(s));
    };
}

inline void noCheck(MVDeviceSession&) {}

constexpr uint8_t Set = MessageClass::Set, Get = MessageClass::Get, Data = MessageClass::Data,
                  Ack = MessageClass::Ack, AltSet = MessageClass::AltSet, AltAck = MessageClass::AltAck;

inline Bytes sixteen(uint32_t key)
{
    Bytes r = u32(key);
    for (int i = 0; i < 12; ++i)
        r.push_back(uint8_t(0xA0 + i));
    return r;
}

inline SixteenByteRecord sixteenRecord(uint32_t key)
{
    SixteenByteRecord r{key, {}};
    for (int i = 0; i < 12; ++i)
        r.data[i] = uint8_t(0xA0 + i);
    return r;
}

inline std::vector<CommandCase> singleRequestCommands()
{
    using F = Family;
    std::vector<CommandCase> c;
    // MessagePack bodies through the exchange.
    c.push_back({"DspParamGet", F::MessagePack,
                 maker<DspParamGetSession>(
                     [](auto& s)
                     {
                         s.moduleId = "amp";
                         s.parameterIndex = 2;
                     }),
                 Get, 4, cat({mpField("amp"), mpUint(2)}), Data, mpFloat(0.5f),
                 [](MVDeviceSession& s) { EXPECT_EQ(as<DspParamGetSession>(s).value, 0.5f); }, true});
    c.push_back({"ReplaceDspModule",
                 F::MessagePack,
                 maker<ReplaceDspModuleSession>(
                     [](auto& s)
                     {
                         s.firstModuleId = "amp";
                         s.secondModuleId = "cabinet";
                     }),
                 Set,
                 6,
                 cat({mpField("amp"), mpField("cabinet")}),
                 Ack,
                 {},
                 noCheck,
                 true});
    c.push_back({"String17Set",
                 F::MessagePack,
                 maker<String17SetSession>([](auto& s) { s.text = "K7 Amp"; }),
                 Set,
                 17,
                 mpField("K7 Amp"),
                 Ack,
                 {},
                 noCheck,
                 true});
    c.push_back({"DspOnOffSet",
                 F::MessagePack,
                 maker<DspOnOffSetSession>(
                     [](auto& s)
                     {
                         s.moduleId = "drive";
                         s.on = true;
                     }),
                 Set,
                 21,
                 cat({mpField("drive"), mpBool(true)}),
                 Ack,
                 {},
                 noCheck,
                 true});
    c.push_back({"DspOnOffGet", F::MessagePack,
                 maker<DspOnOffGetSession>([](auto& s) { s.moduleId = "drive"; }), Get, 21, mpField("drive"),
                 Data, mpBool(true), [](MVDeviceSession& s) { EXPECT_EQ(as<DspOnOffGetSession>(s).on, 1); },
                 true});
    c.push_back({"String23Set",
                 F::MessagePack,
                 maker<String23SetSession>([](auto& s) { s.text = "Hall"; }),
                 Set,
                 23,
                 mpField("Hall"),
                 Ack,
                 {},
                 noCheck,
                 true});
    c.push_back({"SerialNumberSet",
                 F::MessagePack,
                 maker<SerialNumberSetSession>([](auto& s) { s.serialNumber = "SN-42"; }),
                 Set,
                 35,
                 mpField("SN-42"),
                 Ack,
                 {},
                 noCheck,
                 true});
    c.push_back({"Int32ArrayGet", F::MessagePack,
                 maker<Int32ArrayGetSession>(
                     [](auto& s) {
                         s.keys = {1, 300, 70000};
                     }),
                 Get, 36, Bytes{0x93, 0x01, 0xCD, 0x01, 0x2C, 0xCE, 0x00, 0x01, 0x11, 0x70}, Data,
                 cat({mpArray(3), mpUint(5), mpUint(600), mpUint(0x12345678)}),
                 [](MVDeviceSession& s)
                 {
                     const auto& e = as<Int32ArrayGetSession>(s).entries;
                     ASSERT_EQ(e.size(), 3u);
                     EXPECT_EQ(uint32_t(e[0].key), 1u);
                     EXPECT_EQ(uint32_t(e[0].value), 5u);
                     EXPECT_EQ(uint32_t(e[1].key), 300u);
                     EXPECT_EQ(uint32_t(e[1].value), 600u);
                     EXPECT_EQ(uint32_t(e[2].key), 70000u);
                     EXPECT_EQ(uint32_t(e[2].value), 0x12345678u);
                     EXPECT_EQ(e[2].reserved[0] | e[2].reserved[1], 0);
                 },
                 true});
    c.push_back({"SwitchPreset",
                 F::MessagePack,
                 maker<SwitchPresetSession>(
                     [](auto& s)
                     {
                         s.first = 1;
                         s.second = 127;
                     }),
                 Set,
                 56,
                 Bytes{0x01, 0x7F},
                 Ack,
                 {},
                 noCheck,
                 true});
    c.push_back({"Float98Set",
                 F::MessagePack,
                 maker<Float98SetSession>([](auto& s) { s.value = 1.0f; }),
                 Set,
                 98,
                 Bytes{0xCA, 0x3F, 0x80, 0x00, 0x00},
                 Ack,
                 {},
                 noCheck,
                 true});
    // Single bytes through the exchange.
    c.push_back({"Flag44Set",
                 F::SingleByte,
                 maker<Flag44SetSession>([](auto& s) { s.value = 1; }),
                 Set,
                 44,
                 Bytes{0x01},
                 Ack,
                 {},
                 noCheck,
                 true});
    c.push_back({"Byte96Set",
                 F::SingleByte,
                 maker<Byte96SetSession>([](auto& s) { s.value = 0x80; }),
                 Set,
                 96,
                 Bytes{0x80},
                 Ack,
                 {},
                 noCheck,
                 true});
    c.push_back({"Byte97Set",
                 F::SingleByte,
                 maker<Byte97SetSession>([](auto& s) { s.value = 7; }),
                 Set,
                 97,
                 Bytes{0x07},
                 Ack,
                 {},
                 noCheck,
                 true});
    // Packed payloads.
    c.push_back({"Bytes49Set",
                 F::Packed,
                 maker<Bytes49SetSession>(
                     [](auto& s)
                     {
                         s.a = 258;
                         s.b = 3;
                     }),
                 Set,
                 49,
                 Bytes{0x06, 0x02, 0x01, 0x00, 0x00, 0x03, 0x00},
                 Ack,
                 {},
                 noCheck});
    c.push_back({"Byte50Set",
                 F::Packed,
                 maker<Byte50SetSession>([](auto& s) { s.value = 9; }),
                 Set,
                 50,
                 Bytes{0x09},
                 Ack,
                 {},
                 noCheck});
    c.push_back({"Bytes51Set",
                 F::Packed,
                 maker<Bytes51SetSession>(
                     [](auto& s)
                     {
                         s.first = 1;
                         s.second = 0xF2;
                     }),
                 Set,
                 51,
                 Bytes{0x01, 0xF2},
                 Ack,
                 {},
                 noCheck,
                 true});
    c.push_back({"Bytes57Set",
                 F::Packed,
                 maker<Bytes57SetSession>(
                     [](auto& s)
                     {
                         s.first = 5;
                         s.second = 0x1234;
                         s.third = 1.0f;
                     }),
                 Set,
                 57,
                 Bytes{0x05, 0x00, 0x34, 0x12, 0x00, 0x00, 0x80, 0x3F},
                 Ack,
                 {},
                 noCheck,
                 true});
    c.push_back({"Bytes61Set",
                 F::Packed,
                 maker<Bytes61SetSession>(
                     [](auto& s)
                     {
                         s.bytes[0] = 0xAA;
                         s.bytes[1] = 0x55;
                     }),
                 Set,
                 61,
                 Bytes{0xAA, 0x55},
                 Ack,
                 {},
                 noCheck,
                 true});
    c.push_back({"Bytes63Set",
                 F::Packed,
                 maker<Bytes63SetSession>(
                     [](auto& s)
                     {
                         for (int i = 0; i < 4; ++i)
                             s.bytes[i] = uint8_t(0x81 + i);
                     }),
                 Set,
                 63,
                 Bytes{0x81, 0x82, 0x83, 0x84},
                 Ack,
                 {},
                 noCheck,
                 true});
    c.push_back({"Byte80Set",
                 F::Packed,
                 maker<Byte80SetSession>([](auto& s) { s.value = 0xFF; }),
                 Set,
                 80,
                 Bytes{0xFF},
                 Ack,
                 {},
                 noCheck});
    c.push_back({"Flag81Set",
                 F::Packed,
                 maker<Flag81SetSession>([](auto& s) { s.value = 1; }),
                 Set,
                 81,
                 Bytes{0x01},
                 Ack,
                 {},
                 noCheck});
    c.push_back({"Bytes82Set",
                 F::Packed,
                 maker<Bytes82SetSession>(
                     [](auto& s)
                     {
                         s.first = 1;
                         s.second = 2;
                         s.third = 3;
                     }),
                 Set,
                 82,
                 Bytes{0x01, 0x03, 0x02},
                 Ack,
                 {},
                 noCheck});
    c.push_back({"IrLoaderFile",
                 F::Packed,
                 maker<IrLoaderFileSession>(
                     [](auto& s)
                     {
                         s.wavFileName = "abcdef";
                         s.wavBitDepth = 24;
                         s.wavSampleRate = 48000.5f;
                     }),
                 Set,
                 41,
                 []
                 {
                     const std::string text =
                         R"({"wavBitDepth":24,"wavFileName":"abcdef","wavSampleRate":48000.5})";
                     return cat({u32(uint32_t(text.size())), Bytes(text.begin(), text.end())});
                 }(),
                 Ack,
                 {},
                 noCheck});
    // Raw Gets.
    c.push_back({"Query22Get", F::RawGet, maker<Query22GetSession>([](auto& s) { s.query = 0x01020384; }),
                 Get, 22, Bytes{0x84, 0x03, 0x02, 0x01}, Data, Bytes{0xC2},
                 [](MVDeviceSession& s) { EXPECT_EQ(as<Query22GetSession>(s).value, 0xC2); }});
    c.push_back({"Value25Get",
                 F::RawGet,
                 maker<Value25GetSession>([](auto&) {}),
                 Get,
                 25,
                 {},
                 Data,
                 Bytes{0x07},
                 [](MVDeviceSession& s) { EXPECT_EQ(as<Value25GetSession>(s).value, 7); }});
    c.push_back({"Values32Get",
                 F::RawGet,
                 maker<Values32GetSession>([](auto&) {}),
                 Get,
                 32,
                 {},
                 Data,
                 cat({u32(0x89ABCDEF), u32(42)}),
                 [](MVDeviceSession& s)
                 {
                     EXPECT_EQ(as<Values32GetSession>(s).first, 0x89ABCDEFu);
                     EXPECT_EQ(as<Values32GetSession>(s).second, 42u);
                 }});
    c.push_back({"Value33Get",
                 F::RawGet,
                 maker<Value33GetSession>([](auto&) {}),
                 Get,
                 33,
                 {},
                 Data,
                 u32(0xFEDCBA98),
                 [](MVDeviceSession& s) { EXPECT_EQ(as<Value33GetSession>(s).value, 0xFEDCBA98u); }});
    c.push_back({"Values40Get",
                 F::RawGet,
                 maker<Values40GetSession>([](auto&) {}),
                 Get,
                 40,
                 {},
                 Data,
                 cat({u32(1), u32(0x80000000), u32(3)}),
                 [](MVDeviceSession& s)
                 {
                     auto& v = as<Values40GetSession>(s);
                     EXPECT_EQ(v.first, 1u);
                     EXPECT_EQ(v.second, 0x80000000u);
                     EXPECT_EQ(v.third, 3u);
                 }});
    c.push_back({"Byte50Get",
                 F::RawGet,
                 maker<Byte50GetSession>([](auto&) {}),
                 Get,
                 50,
                 {},
                 Data,
                 Bytes{0x99},
                 [](MVDeviceSession& s) { EXPECT_EQ(as<Byte50GetSession>(s).value, 0x99); },
                 false,
                 SessionError::BadLength});
    // Record lists.
    c.push_back({"Records6Set",
                 F::RecordList,
                 maker<Records6SetSession>(
                     [](auto& s) {
                         s.records = {{1, 2, 0x1234}, {3, 4, 0x89ABCDEF}};
                     }),
                 Set,
                 2,
                 list(2, {0x01, 0x02, 0x34, 0x12, 0x00, 0x00, 0x03, 0x04, 0xEF, 0xCD, 0xAB, 0x89}),
                 Ack,
                 {},
                 noCheck});
    c.push_back({"Records6AltSet",
                 F::RecordList,
                 maker<Records6AltSetSession>(
                     [](auto& s) {
                         s.records = {{1, 2, 0x1234}};
                     }),
                 AltSet,
                 2,
                 Bytes{0x01, 0x00, 0x00, 0x00, 0x01, 0x02, 0x34, 0x00, 0x00, 0x00},
                 AltAck,
                 {},
                 noCheck});
    c.push_back({"Records6Get", F::RecordList,
                 maker<Records6GetSession>(
                     [](auto& s) {
                         s.keys = {{1, 2, 0xFFFFFFFF}, {9, 9, 0}};
                     }),
                 Get, 2, list(2, {0x01, 0x02, 0x09, 0x09}), Data,
                 list(1, {0x01, 0x02, 0x78, 0x56, 0x34, 0x12}),
                 [](MVDeviceSession& s)
                 {
                     const auto& r = as<Records6GetSession>(s).results;
                     ASSERT_EQ(r.size(), 1u);
                     EXPECT_EQ(r[0].first, 1);
                     EXPECT_EQ(r[0].second, 2);
                     EXPECT_EQ(uint32_t(r[0].value), 0x12345678u);
                 },
                 false, SessionError::BadLength});
    c.push_back({"Records10Set",
                 F::RecordList,
                 maker<Records10SetSession>(
                     [](auto& s) {
                         s.records = {{7, 8, 0x01020304, 0xA0B0C0D0}};
                     }),
                 Set,
                 3,
                 list(1, {0x07, 0x08, 0x04, 0x03, 0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0}),
                 Ack,
                 {},
                 noCheck});
    c.push_back({"Records10AltSet",
                 F::RecordList,
                 maker<Records10AltSetSession>(
                     [](auto& s) {
                         s.records = {{7, 8, 0x01020304, 0xA0B0C0D0}};
                     }),
                 AltSet,
                 3,
                 list(1, {0x07, 0x08, 0x04, 0, 0, 0, 0xD0, 0, 0, 0}),
                 AltAck,
                 {},
                 noCheck});
    c.push_back({"Records10Get", F::RecordList,
                 maker<Records10GetSession>(
                     [](auto& s) {
                         s.keys = {{7, 8, 0, 0}};
                     }),
                 Get, 3, list(1, {0x07, 0x08}), Data,
                 list(1, {0x07, 0x08, 0x04, 0x03, 0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0}),
                 [](MVDeviceSession& s)
                 {
                     const auto& r = as<Records10GetSession>(s).results;
                     ASSERT_EQ(r.size(), 1u);
                     EXPECT_EQ(uint32_t(r[0].valueA), 0x01020304u);
                     EXPECT_EQ(uint32_t(r[0].valueB), 0xA0B0C0D0u);
                 },
                 false, SessionError::BadLength});
    c.push_back({"PairsSet",
                 F::RecordList,
                 maker<PairsSetSession>(
                     [](auto& s) {
                         s.records = {{0x1234, 9}};
                     }),
                 Set,
                 5,
                 Bytes{0x01, 0x00, 0x00, 0x00, 0x34, 0x09},
                 Ack,
                 {},
                 noCheck});
    c.push_back({"Records16Set",
                 F::RecordList,
                 maker<Records16SetSession>([](auto& s) { s.records = {sixteenRecord(0x01020304)}; }),
                 Set,
                 24,
                 list(1, sixteen(0x01020304)),
                 Ack,
                 {},
                 noCheck});
    c.push_back({"Records16AltSet",
                 F::RecordList,
                 maker<Records16AltSetSession>([](auto& s) { s.records = {sixteenRecord(0x01020304)}; }),
                 AltSet,
                 24,
                 list(1, sixteen(0x01020304)),
                 AltSet,
                 {},
                 noCheck});
    c.push_back({"Records16Get", F::RecordList,
                 maker<Records16GetSession>([](auto& s) { s.keys = {sixteenRecord(0x01020304)}; }), Get, 24,
                 list(1, u32(0x01020304)), Data, list(1, sixteen(0x01020304)),
                 [](MVDeviceSession& s)
                 {
                     const auto& r = as<Records16GetSession>(s).results;
                     ASSERT_EQ(r.size(), 1u);
                     EXPECT_EQ(uint32_t(r[0].key), 0x01020304u);
                     EXPECT_EQ(r[0].data[11], 0xAB);
                 },
                 false, SessionError::BadLength});
    c.push_back({"BlobSet",
                 F::RecordList,
                 maker<BlobSetSession>(
                     [](auto& s)
                     {
                         static const uint8_t blob[] = {1, 2, 3};
                         s.data = blob;
                         s.length = 3;
                         s.value = 7;
                     }),
                 Set,
                 34,
                 Bytes{0x07, 0, 0, 0, 0x03, 0, 0, 0, 0x01, 0x02, 0x03, 0x06},
                 Ack,
                 {},
                 noCheck});
    // No reply awaited.
    c.push_back({"DspParamSet",
                 F::Unanswered,
                 maker<DspParamSetSession>(
                     [](auto& s)
                     {
                         s.moduleId = "amp";
                         s.parameterIndex = 2;
                         s.value = 0.5f;
                     }),
                 Set,
                 4,
                 Bytes{0x04, 0xA4, 'a', 'm', 'p', 0x00, 0x02, 0xCA, 0x3F, 0x00, 0x00, 0x00},
                 0,
                 {},
                 noCheck});
    c.push_back(
        {"Value25Set", F::Unanswered, maker<Value25SetSession>([](auto&) {}), Set, 25, {}, 0, {}, noCheck});
    return c;
}

} // namespace cases

namespace cases
{

// What goes wrong with the one exchange of a command.
enum class Fault
{
    None,
    Silent,
    Late, // the reply comes after the timeout (emulator only)
    WrongClass,
    WrongCommand,
    BadChecksum,
    WrongSession,
    Decodes768, // the reply payload zero-padded to 768 bytes (an 885-byte frame)
    Decodes769, // ... to 769 bytes (886)
    Decodes889, // ... to 889 bytes (1023)
    Over1024,   // a frame of more than 1024 bytes
    SendFails
};

inline const char* faultName(Fault f)
{
    static const char* const names[] = {"None",         "Silent",      "Late",         "WrongClass",
                                        "WrongCommand", "BadChecksum", "WrongSession", "Decodes768",
                                        "Decodes769",   "Decodes889",  "Over1024",     "SendFails"};
    return names[int(f)];
}

// The payload size a padding fault gives the reply, or 0.
inline int paddedSize(Fault f)
{
    switch (f)
    {
        case Fault::Decodes768:
            return 768;
        case Fault::Decodes769:
            return 769;
        case Fault::Decodes889:
            return 889;
        case Fault::Over1024:
            return 900;
        default:
            return 0;
    }
}

// The reply frame of class cls and payload to a request on session id sid
// for command cmd, with the fault applied (none for Silent).
inline std::vector<Bytes> faultyReply(uint8_t sid, uint8_t cmd, uint8_t cls, Bytes payload, Fault fault)
{
    if (fault == Fault::Silent)
        return {};
    if (const int padded = paddedSize(fault))
        payload.resize(size_t(padded), 0);
    if (fault == Fault::WrongClass)
        cls = cls == Data ? Ack : Data;
    if (fault == Fault::WrongSession)
        ++sid;
    if (fault == Fault::WrongCommand)
        ++cmd;
    Bytes reply = testing_device::frame(sid, cls, cmd, payload);
    if (fault == Fault::BadChecksum)
        reply[3] ^= 0x01;
    return {reply};
}

inline int expectedCode(const CommandCase& c, Fault f)
{
    int code = 0;
    switch (f)
    {
        case Fault::None:
            break;
        case Fault::Silent:
        case Fault::Late:
        case Fault::BadChecksum:
        case Fault::WrongSession:
        case Fault::Over1024:
            code = SessionError::NoReply;
            break;
        case Fault::WrongClass:
            code = SessionError::WrongClass;
            break;
        case Fault::WrongCommand:
            code = SessionError::WrongCommand;
            break;
        case Fault::Decodes768:
            code = c.replyClass == Data ? c.codeAt768 : 0; // Ack payloads stay unread
            break;
        case Fault::Decodes769:
        case Fault::Decodes889:
            code = c.replyClass == Data ? int(SessionError::BadLength) : 0;
            break;
        case Fault::SendFails:
            code = SessionError::NoDevice;
            break;
    }
    if (c.replyClass == 0 && f != Fault::SendFails)
        code = 0; // nothing awaited
    return code;
}

} // namespace cases

namespace cases
{

// One transfer of a block larger than one frame: its requests in order, and
// the replies that follow the last of them.
struct TransferCase
{
    std::string name;
    std::function<std::unique_ptr<MVDeviceSession>()> make;
    uint8_t requestClass;
    uint8_t command;
    std::vector<Bytes> requests;
    uint8_t replyClass;
    std::vector<Bytes> replies;
    Bytes block;          // the block written or read
    uint8_t addressA = 0; // of the addressed block
    uint8_t addressB = 0;
};

inline Bytes transferBlock(size_t n, unsigned seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(i * 37 + seed * 11 + (i >> 8));
    return b;
}

inline TransferCase chunkedCase(size_t size)
{
    const Bytes data = transferBlock(size, unsigned(size));
    return {"ChunkedData " + std::to_string(size) + " bytes",
            maker<ChunkedDataSession>([data](auto& s) { s.data = data; }),
            Set,
            45,
            chunkedChunks(data),
            Ack,
            {{}},
            data};
}

// Each write and read of an addressed block on its own address pair.
inline TransferCase blockWriteCase(size_t size, uint32_t chunkSize, uint8_t a, uint8_t b)
{
    const auto block = std::make_shared<Bytes>(transferBlock(size, a));
    const int total = chunkSize == 0 ? 1 : int((size + chunkSize - 1) / chunkSize);
    return {"BlockWrite " + std::to_string(size) + " bytes in chunks of " + std::to_string(chunkSize),
            maker<BlockWriteSession>(
                [block, chunkSize, total, a, b](auto& s)
                {
                    s.addressA = a;
                    s.addressB = b;
                    s.chunkSize = chunkSize;
                    s.totalChunks = total;
                    s.block = block.get(); // kept alive by the table
                }),
            Set,
            1,
            blockChunks(*block, chunkSize == 0 ? size : chunkSize, a, b),
            Ack,
            {{}},
            *block,
            a,
            b};
}

inline TransferCase blockReadCase(size_t size, uint8_t a, uint8_t b)
{
    const Bytes block = transferBlock(size, a);
    return {"BlockRead " + std::to_string(size) + " bytes",
            maker<BlockReadSession>(
                [a, b](auto& s)
                {
                    s.addressA = a;
                    s.addressB = b;
                    s.block = {0xEE};
                }),
            Get,
            1,
            {{a, b}},
            Data,
            blockChunks(block, 255, a, b),
            block,
            a,
            b};
}

inline std::vector<TransferCase> transferCases()
{
    return {chunkedCase(254),
            chunkedCase(600),
            blockWriteCase(1, 255, 0x10, 0x01),
            blockWriteCase(255, 255, 0x10, 0x02),
            blockWriteCase(256, 255, 0x10, 0x03),
            blockWriteCase(200, 0, 0x10, 0x04),
            blockReadCase(1, 0x20, 0x01),
            blockReadCase(255, 0x20, 0x02),
            blockReadCase(256, 0x20, 0x03)};
}

// The code a transfer leaves when every reply it awaits has the fault. The
// padding faults pad every reply, each chunk of a read too; a write's Ack
// payload stays unread.
inline int transferCode(const TransferCase& c, Fault f)
{
    switch (f)
    {
        case Fault::None:
        case Fault::Decodes768:
            return 0;
        case Fault::Silent:
        case Fault::Late:
        case Fault::BadChecksum:
        case Fault::WrongSession:
        case Fault::Over1024:
            return SessionError::NoReply;
        case Fault::WrongClass:
            return SessionError::WrongClass;
        case Fault::WrongCommand:
            return SessionError::WrongCommand;
        case Fault::Decodes769:
        case Fault::Decodes889:
            return c.replyClass == Data ? int(SessionError::BadLength) : 0;
        case Fault::SendFails:
            return SessionError::NoDevice;
    }
    return -1;
}

// Checks what the run left: the error field (written only on failure) and,
// for a read, the block, which a failed read leaves as it was.
inline void checkTransfer(const TransferCase& c, MVDeviceSession& s, bool ok, int expected)
{
    EXPECT_EQ(ok, expected == 0);
    EXPECT_EQ(s.error, expected == 0 ? 99 : expected);
    if (auto* read = dynamic_cast<BlockReadSession*>(&s))
    {
        EXPECT_EQ(read->block, expected == 0 ? c.block : Bytes{0xEE});
    }
}

} // namespace cases
