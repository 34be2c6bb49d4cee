// Record lists: their limits, the frame builders and packers, the reply
// parsers and the Get replies' length checks.

#include "CommandCases.h"

#include "commands/RecordCommands.h"
#include "commands/RecordLists.h"
#include "device/SessionError.h"
#include "tests/device/ScriptedDevice.h"

#include <gtest/gtest.h>

using namespace cases;
using testing_device::ScriptedDevice;

namespace
{

void answer(ScriptedDevice& device, uint8_t replyClass, const Bytes& payload)
{
    device.onSend = [&device, replyClass, payload](const Bytes& request)
    { device.deliver(testing_device::frame(request[2], replyClass, request[5], payload)); };
}

std::vector<SixByteRecord> six(size_t n)
{
    std::vector<SixByteRecord> r(n);
    for (size_t i = 0; i < n; ++i)
        r[i] = {uint8_t(i), uint8_t(i >> 8 | 0x80), uint32_t(0x01000000 * i + 0x80)};
    return r;
}

std::vector<TenByteRecord> ten(size_t n)
{
    std::vector<TenByteRecord> r(n);
    for (size_t i = 0; i < n; ++i)
        r[i] = {uint8_t(i), 0xFE, uint32_t(i * 3 + 0x81), uint32_t(0xF0000000 + i)};
    return r;
}

std::vector<SixteenByteRecord> sixteenList(size_t n)
{
    std::vector<SixteenByteRecord> r;
    for (size_t i = 0; i < n; ++i)
        r.push_back(sixteenRecord(uint32_t(0x80000000 + i)));
    return r;
}

std::vector<FiveByteRecord> fives(size_t n)
{
    std::vector<FiveByteRecord> r(n);
    for (size_t i = 0; i < n; ++i)
        r[i] = {uint32_t(0x1200 + i), uint8_t(0xFF - i)};
    return r;
}

// The payloads from the wire format.
Bytes sixPayload(const std::vector<SixByteRecord>& r)
{
    Bytes e;
    for (const auto& x : r)
        e = cat({e, {x.first, x.second}, u32(x.value)});
    return list(uint32_t(r.size()), e);
}

Bytes sixAltPayload(const std::vector<SixByteRecord>& r)
{
    Bytes e;
    for (const auto& x : r)
        e = cat({e, {x.first, x.second, uint8_t(x.value), 0, 0, 0}});
    return list(uint32_t(r.size()), e);
}

template <typename R> Bytes keyPayload(const std::vector<R>& r)
{
    Bytes e;
    for (const auto& x : r)
        e = cat({e, {uint8_t(x.first), x.second}});
    return list(uint32_t(r.size()), e);
}

Bytes tenPayload(const std::vector<TenByteRecord>& r)
{
    Bytes e;
    for (const auto& x : r)
        e = cat({e, {x.first, x.second}, u32(x.valueA), u32(x.valueB)});
    return list(uint32_t(r.size()), e);
}

Bytes tenAltPayload(const std::vector<TenByteRecord>& r)
{
    Bytes e;
    for (const auto& x : r)
        e = cat({e, {x.first, x.second, uint8_t(x.valueA), 0, 0, 0, uint8_t(x.valueB), 0, 0, 0}});
    return list(uint32_t(r.size()), e);
}

Bytes sixteenPayload(const std::vector<SixteenByteRecord>& r)
{
    Bytes e;
    for (const auto& x : r)
        e = cat({e, sixteen(x.key)});
    return list(uint32_t(r.size()), e);
}

Bytes sixteenKeys(const std::vector<SixteenByteRecord>& r)
{
    Bytes e;
    for (const auto& x : r)
        e = cat({e, u32(x.key)});
    return list(uint32_t(r.size()), e);
}

// A list command at n entries: the command, its request class and command
// number, the reply class it awaits and the payload it must send.
struct ListCase
{
    const char* name;
    size_t limit;
    std::function<std::unique_ptr<MVDeviceSession>(size_t n)> make;
    std::function<Bytes(size_t n)> payload;
    std::function<int(int sid, size_t n, uint8_t* out)> build; // the frame builder, if any
    uint8_t requestClass, command, replyClass;
};

template <typename S, typename L> std::unique_ptr<MVDeviceSession> with(L S::*field, const L& value)
{
    auto s = std::make_unique<S>();
    (*s).*field = value;
    return s;
}

std::vector<ListCase> listCases()
{
    return {
        {"Records6Set", 127, [](size_t n) { return with(&Records6SetSession::records, six(n)); },
         [](size_t n) { return sixPayload(six(n)); },
         [](int sid, size_t n, uint8_t* out) { return buildRecords6SetFrame(sid, six(n), out); }, Set, 2,
         Ack},
        {"Records6AltSet", 127, [](size_t n) { return with(&Records6AltSetSession::records, six(n)); },
         [](size_t n) { return sixAltPayload(six(n)); },
         [](int sid, size_t n, uint8_t* out) { return buildRecords6AltSetFrame(sid, six(n), out); }, AltSet,
         2, AltAck},
        {"Records6Get", 382, [](size_t n) { return with(&Records6GetSession::keys, six(n)); },
         [](size_t n) { return keyPayload(six(n)); },
         [](int sid, size_t n, uint8_t* out) { return buildRecords6GetFrame(sid, six(n), out); }, Get, 2,
         Data},
        {"Records10Set", 76, [](size_t n) { return with(&Records10SetSession::records, ten(n)); },
         [](size_t n) { return tenPayload(ten(n)); },
         [](int sid, size_t n, uint8_t* out) { return buildRecords10SetFrame(sid, ten(n), out); }, Set, 3,
         Ack},
        {"Records10AltSet", 76, [](size_t n) { return with(&Records10AltSetSession::records, ten(n)); },
         [](size_t n) { return tenAltPayload(ten(n)); },
         [](int sid, size_t n, uint8_t* out) { return buildRecords10AltSetFrame(sid, ten(n), out); }, AltSet,
         3, AltAck},
        {"Records10Get", 382, [](size_t n) { return with(&Records10GetSession::keys, ten(n)); },
         [](size_t n) { return keyPayload(ten(n)); },
         [](int sid, size_t n, uint8_t* out) { return buildRecords10GetFrame(sid, ten(n), out); }, Get, 3,
         Data},
        {"PairsSet", 382, [](size_t n) { return with(&PairsSetSession::records, fives(n)); },
         [](size_t n) { return keyPayload(fives(n)); },
         [](int sid, size_t n, uint8_t* out) { return buildPairsSetFrame(sid, fives(n), out); }, Set, 5, Ack},
        {"Records16Set", 47, [](size_t n) { return with(&Records16SetSession::records, sixteenList(n)); },
         [](size_t n) { return sixteenPayload(sixteenList(n)); }, nullptr, Set, 24, Ack},
        {"Records16AltSet", 47,
         [](size_t n) { return with(&Records16AltSetSession::records, sixteenList(n)); },
         [](size_t n) { return sixteenPayload(sixteenList(n)); }, nullptr, AltSet, 24, AltSet},
        {"Records16Get", 191, [](size_t n) { return with(&Records16GetSession::keys, sixteenList(n)); },
         [](size_t n) { return sixteenKeys(sixteenList(n)); }, nullptr, Get, 24, Data},
    };
}

} // namespace

TEST(RecordLists, CommandsWorkAtTheirLimitAndRefuseOneMore)
{
    for (const ListCase& c : listCases())
        for (size_t n : {size_t(0), c.limit, c.limit + 1})
        {
            SCOPED_TRACE(std::string(c.name) + " with " + std::to_string(n));
            ScriptedDevice device;
            answer(device, c.replyClass, c.replyClass == Data ? u32(0) : Bytes{});
            auto session = c.make(n);
            const bool fits = n <= c.limit;
            EXPECT_EQ(session->run(&device), fits);
            EXPECT_EQ(session->error, fits ? 0 : int(SessionError::BadLength));
            if (!fits)
            {
                EXPECT_TRUE(device.sent.empty());
                continue;
            }
            ASSERT_EQ(device.sent.size(), 1u);
            const Bytes expected = testing_device::frame(1, c.requestClass, c.command, c.payload(n));
            EXPECT_EQ(device.sent[0], expected);
            EXPECT_LE(expected.size(), 885u);
        }
}

TEST(RecordLists, BuildersWorkAtTheLimitAndWriteNothingPastIt)
{
    for (const ListCase& c : listCases())
    {
        if (!c.build)
            continue;
        for (size_t n : {size_t(0), size_t(1), c.limit, c.limit + 1})
            for (int sid : {0, 63, -1, 64})
            {
                SCOPED_TRACE(std::string(c.name) + " with " + std::to_string(n) + " on " +
                             std::to_string(sid));
                Bytes out(1024, 0xCC);
                const int length = c.build(sid, n, out.data());
                if (n > c.limit || sid < 0 || sid > 63)
                {
                    EXPECT_EQ(length, 0);
                    EXPECT_EQ(out, Bytes(1024, 0xCC));
                    continue;
                }
                const Bytes expected =
                    testing_device::frame(uint8_t(sid), c.requestClass, c.command, c.payload(n));
                ASSERT_EQ(size_t(length), expected.size());
                EXPECT_EQ(Bytes(out.begin(), out.begin() + length), expected);
            }
        EXPECT_EQ(c.build(1, 1, nullptr), 0);
    }
}

TEST(RecordLists, BlobAndValue25Frames)
{
    Bytes data(759);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7 + 0x80);
    Bytes out(1024, 0xCC);
    const Bytes expected =
        testing_device::frame(5, Set, 34, cat({u32(0x01020304), u32(759), data, {sum8(data)}}));
    EXPECT_EQ(buildBlobSetFrame(5, out.data(), data.data(), 759, 0x01020304), int(expected.size()));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + long(expected.size())), expected);

    // An empty blob is its header and a sum of 0.
    EXPECT_EQ(buildBlobSetFrame(5, out.data(), nullptr, 0, 7), int(wire::frameSizeFor(9)));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + long(wire::frameSizeFor(9))),
              testing_device::frame(5, Set, 34, cat({u32(7), u32(0), {0}})));

    std::fill(out.begin(), out.end(), 0xCC);
    EXPECT_EQ(buildBlobSetFrame(5, out.data(), data.data(), 760, 0), 0);
    EXPECT_EQ(buildBlobSetFrame(5, out.data(), nullptr, 3, 0), 0);
    EXPECT_EQ(buildBlobSetFrame(-1, out.data(), data.data(), 3, 0), 0);
    EXPECT_EQ(buildBlobSetFrame(5, nullptr, data.data(), 3, 0), 0);
    EXPECT_EQ(out, Bytes(1024, 0xCC));

    EXPECT_EQ(buildValue25SetFrame(9, out.data()), 7);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 7), (Bytes{0xF0, 0x01, 0x09, 0x00, 0x01, 0x19, 0xF7}));
    EXPECT_EQ(buildValue25SetFrame(64, out.data()), 0);
}

TEST(RecordLists, AltValuePackersWriteOnlyTheirBytes)
{
    Bytes out(64, 0xEE);
    EXPECT_EQ(packSixByteAltValues({{1, 2, 0x1234}}, out.data()), 10);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 11), (Bytes{1, 0, 0, 0, 1, 2, 0x34, 0xEE, 0xEE, 0xEE, 0xEE}));
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(packTenByteAltValues({{1, 2, 0x1234, 0x5678}}, out.data()), 14);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 14),
              (Bytes{1, 0, 0, 0, 1, 2, 0x34, 0xEE, 0xEE, 0xEE, 0x78, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(packSixByteRecords({}, nullptr), 0);
}

TEST(RecordLists, ParsersCheckTheLengthInSixtyFourBits)
{
    struct Case
    {
        const char* name;
        Bytes bytes;
        int length; // kWhole: the bytes' size
        bool ok6, ok10;
        size_t count;
    };
    constexpr int kWhole = 1 << 30;
    const Case rows[] = {
        {"one six-byte record", cat({u32(1), {1, 2, 3, 4, 5, 6}}), kWhole, true, false, 1},
        {"one byte more", cat({u32(1), Bytes(7, 1)}), kWhole, false, false, 0},
        {"one ten-byte record", cat({u32(1), Bytes(10, 9)}), kWhole, false, true, 1},
        {"count 0", u32(0), kWhole, true, true, 0},
        {"below the count", {0, 0, 0}, kWhole, false, false, 0},
        {"no bytes", {}, kWhole, false, false, 0},
        // 4 + 6 * 0x2AAAAAAB and 4 + 10 * 0x80000001 wrap to 6 and 14 in 32 bits.
        {"six-byte count wrapping to 6", cat({u32(0x2AAAAAAB), {1, 2}}), kWhole, false, false, 0},
        {"ten-byte count wrapping to 14", cat({u32(0x80000001), Bytes(10, 0)}), kWhole, false, false, 0},
        {"the largest count", cat({u32(0xFFFFFFFF), Bytes(6, 0)}), kWhole, false, false, 0},
        {"negative length", cat({u32(0), {}}), -4, false, false, 0},
    };
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        const int length = row.length == kWhole ? int(row.bytes.size()) : row.length;
        std::vector<SixByteRecord> r6(3);
        std::vector<TenByteRecord> r10(3);
        EXPECT_EQ(parseRecords6(row.bytes.data(), length, r6), row.ok6);
        EXPECT_EQ(parseRecords10(row.bytes.data(), length, r10), row.ok10);
        EXPECT_EQ(r6.size(), row.ok6 ? row.count : 0u);
        EXPECT_EQ(r10.size(), row.ok10 ? row.count : 0u);
    }
    std::vector<SixByteRecord> r6(2);
    EXPECT_FALSE(parseRecords6(nullptr, 10, r6));
    EXPECT_TRUE(r6.empty());

    std::vector<SixByteRecord> parsed;
    const Bytes two = cat({u32(2), {1, 2, 0x78, 0x56, 0x34, 0x12, 3, 4, 0xFF, 0, 0, 0x80}});
    ASSERT_TRUE(parseRecords6(two.data(), int(two.size()), parsed));
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(uint32_t(parsed[0].value), 0x12345678u);
    EXPECT_EQ(parsed[1].first, 3);
    EXPECT_EQ(uint32_t(parsed[1].value), 0x800000FFu);
}

TEST(RecordLists, GetRepliesOfTheWrongLengthLeaveNoResults)
{
    struct Case
    {
        const char* name;
        Bytes reply;
        int error;
        size_t results;
    };
    const Case rows[] = {
        {"claims 2, decodes to 23 bytes", cat({u32(2), Bytes(19, 1)}), SessionError::BadLength, 0},
        {"count 0 whatever the keys", u32(0), 0, 0},
        {"count wrapping 32 bits", cat({u32(0x80000001), Bytes(10, 1)}), SessionError::BadLength, 0},
        {"claims one more", cat({u32(2), Bytes(10, 1)}), SessionError::BadLength, 0},
        {"shorter than a count", {1, 0}, SessionError::BadLength, 0},
        {"two records", cat({u32(2), Bytes(20, 1)}), 0, 2},
    };
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        ScriptedDevice device;
        answer(device, Data, row.reply);
        Records10GetSession s;
        s.keys = ten(3);
        s.results = ten(1);
        EXPECT_EQ(s.run(&device), row.error == 0);
        EXPECT_EQ(s.error, row.error);
        EXPECT_EQ(s.results.size(), row.results);
    }
}

TEST(RecordLists, AltSetRepliesByCommand)
{
    struct Case
    {
        std::function<std::unique_ptr<MVDeviceSession>()> make;
        uint8_t replyClass;
        int error;
    };
    const Case rows[] = {
        {[] { return with(&Records6AltSetSession::records, six(1)); }, Ack, SessionError::WrongClass},
        {[] { return with(&Records6AltSetSession::records, six(1)); }, AltSet, SessionError::WrongClass},
        {[] { return with(&Records10AltSetSession::records, ten(1)); }, AltAck, 0},
        {[] { return with(&Records16AltSetSession::records, sixteenList(1)); }, AltAck,
         SessionError::WrongClass},
        {[] { return with(&Records16AltSetSession::records, sixteenList(1)); }, AltSet, 0},
    };
    for (const Case& row : rows)
    {
        ScriptedDevice device;
        answer(device, row.replyClass, {});
        auto s = row.make();
        EXPECT_EQ(s->run(&device), row.error == 0);
        EXPECT_EQ(s->error, row.error);
    }
}
