#include "commands/MessagePackMessages.h"
#include "commands/MessageHelpers.h"

#include "PackTestBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{

using packtest::Bytes;
using packtest::concat;
using packtest::kOverflow;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

FixedString fixed(const std::string& text)
{
    FixedString field{};
    setFixedString(field, text.c_str(), static_cast<uint32_t>(text.size()));
    return field;
}

// Gives the polymorphic bodies and the plain CUInt32 one face for the tables.
struct Body
{
    virtual ~Body() = default;
    virtual bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) = 0;
    virtual bool unpack(const uint8_t* data, unsigned length) = 0;
    virtual std::unique_ptr<Body> fresh() const = 0;
};

template <typename M> struct BodyOf : Body
{
    M message;
    bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) override
    {
        return message.pack(buffer, capacity, out, outLength);
    }
    bool unpack(const uint8_t* data, unsigned length) override { return message.unpack(data, length); }
    std::unique_ptr<Body> fresh() const override { return std::make_unique<BodyOf<M>>(); }
};

template <typename M> std::unique_ptr<Body> body(const std::function<void(M&)>& fill)
{
    auto b = std::make_unique<BodyOf<M>>();
    fill(b->message);
    return b;
}

struct PackResult
{
    bool ok;
    uint8_t* out;
    unsigned outLength;
    Bytes bytes;
    std::string printed;
};

PackResult packBody(Body& b, unsigned capacity)
{
    std::vector<uint8_t> buffer(capacity + 1, 0xEE);
    PackResult r{false, nullptr, 0, {}, {}};
    CaptureStdout();
    r.ok = b.pack(buffer.data(), capacity, &r.out, &r.outLength);
    r.printed = GetCapturedStdout();
    EXPECT_EQ(0xEE, buffer[capacity]) << "wrote past capacity";
    if (r.ok)
    {
        EXPECT_EQ(buffer.data(), r.out);
        r.bytes.assign(buffer.begin(), buffer.begin() + r.outLength);
    }
    return r;
}

struct MessageCase
{
    std::string name;
    std::function<std::unique_ptr<Body>()> make;
    Bytes wire;
};

std::vector<MessageCase> messageCases()
{
    using namespace mvmsgpack;
    const std::string forty(40, 'x');
    const Bytes abc = {0x04, 0xA4, 'a', 'b', 'c', 0x00};
    return {
        {"CString abc", [] { return body<CString>([](CString& m) { m.value.text = fixed("abc"); }); }, abc},
        {"CString of 40 cut to 31",
         [forty] { return body<CString>([&](CString& m) { m.value.text = fixed(forty); }); },
         concat(concat({0x20, 0xD9, 0x20}, Bytes(31, 'x')), {0x00})},
        {"CSetDspParam",
         []
         {
             return body<CSetDspParam>(
                 [](CSetDspParam& m)
                 {
                     m.value.id = fixed("abc");
                     m.value.index = 2;
                     m.value.value = 0.5f;
                 });
         },
         concat(abc, {0x02, 0xCA, 0x3F, 0x00, 0x00, 0x00})},
        {"CSetDspOnOff on",
         []
         {
             return body<CSetDspOnOff>(
                 [](CSetDspOnOff& m)
                 {
                     m.value.id = fixed("abc");
                     m.value.on = true;
                 });
         },
         concat(abc, {0xC3})},
        {"CSetDspOnOff off",
         [] { return body<CSetDspOnOff>([](CSetDspOnOff& m) { m.value.id = fixed("abc"); }); },
         concat(abc, {0xC2})},
        {"CGetDspParam",
         []
         {
             return body<CGetDspParam>(
                 [](CGetDspParam& m)
                 {
                     m.value.id = fixed("abc");
                     m.value.index = 300;
                 });
         },
         concat(abc, {0xCD, 0x01, 0x2C})},
        {"CReplaceDspModule",
         []
         {
             return body<CReplaceDspModule>(
                 [](CReplaceDspModule& m)
                 {
                     m.value.firstId = fixed("abc");
                     m.value.secondId = fixed("de");
                 });
         },
         concat(abc, {0x03, 0xA3, 'd', 'e', 0x00})},
        {"CSwitchPreset",
         []
         {
             return body<CSwitchPreset>(
                 [](CSwitchPreset& m)
                 {
                     m.value.first = 1;
                     m.value.second = 127;
                 });
         },
         {0x01, 0x7F}},
        {"CSwitchPreset large",
         []
         {
             return body<CSwitchPreset>(
                 [](CSwitchPreset& m)
                 {
                     m.value.first = 0xFFFFFFFF;
                     m.value.second = 128;
                 });
         },
         {0xCE, 0xFF, 0xFF, 0xFF, 0xFF, 0xCC, 0x80}},
        {"CFloat",
         [] { return body<CFloat>([](CFloat& m) { m.value = 1.0f; }); },
         {0xCA, 0x3F, 0x80, 0x00, 0x00}},
        {"CBool true", [] { return body<CBool>([](CBool& m) { m.value = true; }); }, {0xC3}},
        {"CBool false", [] { return body<CBool>([](CBool&) {}); }, {0xC2}},
        {"CInt32Array",
         [] {
             return body<CInt32Array>([](CInt32Array& m) { m = CInt32Array({1, 300, 70000}); });
         },
         {0x93, 0x01, 0xCD, 0x01, 0x2C, 0xCE, 0x00, 0x01, 0x11, 0x70}},
        {"CInt32Array empty", [] { return body<CInt32Array>([](CInt32Array&) {}); }, {0x90}},
        {"CUInt32",
         [] { return body<CUInt32>([](CUInt32& m) { m.value = 70000; }); },
         {0xCE, 0x00, 0x01, 0x11, 0x70}},
    };
}

TEST(MessagePackMessages, PackUnpackTable)
{
    for (const auto& tc : messageCases())
    {
        auto message = tc.make();
        // Strictly larger buffer: delivered, nothing printed.
        PackResult r = packBody(*message, static_cast<unsigned>(tc.wire.size() + 1));
        EXPECT_TRUE(r.ok) << tc.name;
        EXPECT_EQ(tc.wire, r.bytes) << tc.name;
        EXPECT_EQ("", r.printed) << tc.name;

        // A buffer exactly as large as the message is refused.
        r = packBody(*message, static_cast<unsigned>(tc.wire.size()));
        EXPECT_FALSE(r.ok) << tc.name;
        EXPECT_EQ(kOverflow, r.printed) << tc.name;
        EXPECT_EQ(tc.wire.size(), r.outLength) << tc.name;
        EXPECT_EQ(nullptr, r.out) << tc.name;

        // Unpacked into a fresh body, it packs to the same bytes again.
        auto copy = message->fresh();
        CaptureStdout();
        EXPECT_TRUE(copy->unpack(tc.wire.data(), static_cast<unsigned>(tc.wire.size()))) << tc.name;
        EXPECT_EQ("", GetCapturedStdout()) << tc.name;
        EXPECT_EQ(tc.wire, packBody(*copy, 64).bytes) << tc.name;

        // Every strict prefix fails to unpack with one error line.
        for (size_t n = 0; n < tc.wire.size(); ++n)
        {
            auto partial = message->fresh();
            CaptureStdout();
            EXPECT_FALSE(partial->unpack(tc.wire.data(), static_cast<unsigned>(n)))
                << tc.name << " prefix " << n;
            const std::string printed = GetCapturedStdout();
            EXPECT_TRUE(printed == "ERROR : MPK_RC_END_OF_INPUT !\n" ||
                        printed == "ERROR : MPK_RC_BUFFER_UNDERFLOW !\n")
                << tc.name << " prefix " << n << ": " << printed;
        }
    }
}

TEST(MessagePackMessages, PackArgumentErrors)
{
    mvmsgpack::CBool message;
    uint8_t buffer[8];
    uint8_t* out = reinterpret_cast<uint8_t*>(&message); // sentinels: must stay untouched
    unsigned outLength = 77;
    struct Args
    {
        uint8_t* buffer;
        unsigned capacity;
    };
    for (const Args& a : {Args{nullptr, 8}, Args{buffer, 0}, Args{nullptr, 0}})
    {
        CaptureStdout();
        EXPECT_FALSE(message.pack(a.buffer, a.capacity, &out, &outLength));
        EXPECT_EQ("checkInOutBuffer ERROR : pack param error !\n", GetCapturedStdout());
        EXPECT_EQ(reinterpret_cast<uint8_t*>(&message), out);
        EXPECT_EQ(77u, outLength);
    }
    // Missing out-parameters are refused the same way instead of written through.
    CaptureStdout();
    EXPECT_FALSE(message.pack(buffer, 8, nullptr, &outLength));
    EXPECT_FALSE(message.pack(buffer, 8, &out, nullptr));
    EXPECT_EQ("checkInOutBuffer ERROR : pack param error !\ncheckInOutBuffer ERROR : pack param error !\n",
              GetCapturedStdout());
}

TEST(MessagePackMessages, BufferTooSmall)
{
    // CBool: a 1-byte buffer is exactly full, a 2-byte one delivers 1 byte.
    mvmsgpack::CBool flag;
    PackResult r = packBody(*body<mvmsgpack::CBool>([](mvmsgpack::CBool&) {}), 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(kOverflow, r.printed);
    EXPECT_EQ(1u, r.outLength);
    uint8_t buffer[2];
    uint8_t* out = nullptr;
    unsigned outLength = 0;
    EXPECT_TRUE(flag.pack(buffer, 2, &out, &outLength));
    EXPECT_EQ(1u, outLength);

    // Twenty elements of 70,000 into 100 bytes: the header and 19 elements
    // take 98 bytes, the twentieth does not fit.
    r = packBody(
        *body<mvmsgpack::CInt32Array>([](mvmsgpack::CInt32Array& m)
                                      { m = mvmsgpack::CInt32Array(std::vector<uint32_t>(20, 70000)); }),
        100);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(kOverflow, r.printed);
    EXPECT_EQ(98u, r.outLength);
}

TEST(MessagePackMessages, OversizedLengthFieldIsNotPacked)
{
    mvmsgpack::CString message;
    message.value.text.length = 33;
    uint8_t buffer[128];
    uint8_t* out = nullptr;
    unsigned outLength = 0;
    CaptureStdout();
    EXPECT_FALSE(message.pack(buffer, sizeof buffer, &out, &outLength));
    EXPECT_EQ("ERROR : MPK_RC_ILLEGAL_CALL !\n", GetCapturedStdout());
    EXPECT_EQ(nullptr, out);
}

// ---- unpack edge cases ----

struct UnpackCase
{
    std::string name;
    Bytes input;
    bool ok;
    std::string printed;
};

template <typename M>
void runUnpackCases(const std::vector<UnpackCase>& cases, const std::function<void(M&)>& prefill,
                    const std::vector<std::function<void(const M&)>>& checks)
{
    ASSERT_EQ(cases.size(), checks.size());
    for (size_t i = 0; i < cases.size(); ++i)
    {
        const UnpackCase& tc = cases[i];
        M message;
        prefill(message);
        CaptureStdout();
        EXPECT_EQ(tc.ok, message.unpack(tc.input.data(), static_cast<unsigned>(tc.input.size()))) << tc.name;
        EXPECT_EQ(tc.printed, GetCapturedStdout()) << tc.name;
        checks[i](message);
    }
}

const std::string kEnd = "ERROR : MPK_RC_END_OF_INPUT !\n";
const std::string kUnderflow = "ERROR : MPK_RC_BUFFER_UNDERFLOW !\n";
const std::string kMalformed = "ERROR : MPK_RC_MALFORMED_INPUT !\n";

TEST(MessagePackMessages, UnpackBoolAndFloat)
{
    runUnpackCases<mvmsgpack::CBool>({{"empty", {}, false, kEnd},
                                      {"true with trailing byte", {0xC3, 0x00}, true, ""},
                                      {"C1", {0xC1}, false, kMalformed}},
                                     [](mvmsgpack::CBool&) {},
                                     {[](const mvmsgpack::CBool& m) { EXPECT_FALSE(m.value); },
                                      [](const mvmsgpack::CBool& m) { EXPECT_TRUE(m.value); },
                                      [](const mvmsgpack::CBool& m) { EXPECT_FALSE(m.value); }});
    runUnpackCases<mvmsgpack::CFloat>(
        {{"float32 1.0", {0xCA, 0x3F, 0x80, 0x00, 0x00}, true, ""}, {"cut", {0xCA, 0x3F}, false, kUnderflow}},
        [](mvmsgpack::CFloat& m) { m.value = 7.0f; },
        {[](const mvmsgpack::CFloat& m) { EXPECT_EQ(1.0f, m.value); },
         [](const mvmsgpack::CFloat& m) { EXPECT_EQ(7.0f, m.value); }});
}

TEST(MessagePackMessages, UnpackStrings)
{
    const Bytes str33 = concat({0xD9, 0x21}, Bytes(33, 'q'));
    const Bytes str200 = concat({0xD9, 200}, Bytes(200, 'q'));
    const Bytes str32 = concat({0xD9, 0x20}, Bytes(32, 'r'));
    using M = mvmsgpack::CString;
    auto untouched = [](const M& m)
    {
        for (char c : m.value.text.chars)
            EXPECT_EQ('Z', c);
    };
    runUnpackCases<M>(
        {
            {"str cut short keeps the length read", {0x04, 0xA4, 0x61, 0x62}, false, kUnderflow},
            {"NUL ends the copy, old bytes past the data stay", {0x03, 0xA3, 'a', 0x00, 'b'}, true, ""},
            {"32-byte str fills chars", concat({0x20}, str32), true, ""},
            // Mended: a str longer than chars fails and writes nothing.
            {"33-byte str", concat({0x04}, str33), false, kMalformed},
            {"200-byte str", concat({0x04}, str200), false, kMalformed},
            // Mended: a length above 32 fails before it is stored.
            {"length field 33", concat({0x21}, str32), false, kMalformed},
            {"length field 2^32-1", {0xCE, 0xFF, 0xFF, 0xFF, 0xFF, 0xA1, 'a'}, false, kMalformed},
            // A non-str item has no text for the field.
            {"integer instead of str", {0x04, 0x05}, false, kMalformed},
            {"bin instead of str", {0x04, 0xC4, 0x01, 'a'}, false, kMalformed},
        },
        [](M& m)
        {
            std::memset(m.value.text.chars, 'Z', sizeof m.value.text.chars);
            m.value.text.length = 9;
        },
        {
            [&](const M& m)
            {
                EXPECT_EQ(4u, m.value.text.length);
                untouched(m);
            },
            [](const M& m)
            {
                EXPECT_EQ(3u, m.value.text.length);
                EXPECT_EQ(0, std::memcmp("a\0\0ZZ", m.value.text.chars, 5));
            },
            [](const M& m)
            {
                EXPECT_EQ(32u, m.value.text.length);
                EXPECT_EQ(std::string(32, 'r'), std::string(m.value.text.chars, 32));
            },
            [&](const M& m)
            {
                EXPECT_EQ(4u, m.value.text.length);
                untouched(m);
            },
            [&](const M& m)
            {
                EXPECT_EQ(4u, m.value.text.length);
                untouched(m);
            },
            [&](const M& m)
            {
                EXPECT_EQ(9u, m.value.text.length);
                untouched(m);
            },
            [&](const M& m)
            {
                EXPECT_EQ(9u, m.value.text.length);
                untouched(m);
            },
            [&](const M& m)
            {
                EXPECT_EQ(4u, m.value.text.length);
                untouched(m);
            },
            [&](const M& m)
            {
                EXPECT_EQ(4u, m.value.text.length);
                untouched(m);
            },
        });
}

TEST(MessagePackMessages, UnpackKeepsFieldsReadBeforeAFailure)
{
    using M = mvmsgpack::CSetDspParam;
    const Bytes abc = {0x04, 0xA4, 'a', 'b', 'c', 0x00};
    runUnpackCases<M>({{"whole", concat(abc, {0x02, 0xCA, 0x3F, 0x00, 0x00, 0x00}), true, ""},
                       {"value missing", concat(abc, {0x02}), false, kEnd}},
                      [](M& m)
                      {
                          m.value.index = 99;
                          m.value.value = 9.0f;
                      },
                      {[](const M& m)
                       {
                           EXPECT_STREQ("abc", m.value.id.chars);
                           EXPECT_EQ(4u, m.value.id.length);
                           EXPECT_EQ(2u, m.value.index);
                           EXPECT_EQ(0.5f, m.value.value);
                       },
                       [](const M& m)
                       {
                           EXPECT_STREQ("abc", m.value.id.chars);
                           EXPECT_EQ(2u, m.value.index);
                           EXPECT_EQ(9.0f, m.value.value);
                       }});
}

TEST(MessagePackMessages, UnpackInt32Array)
{
    using M = mvmsgpack::CInt32Array;
    using V = std::vector<uint32_t>;
    runUnpackCases<M>(
        {
            {"second element missing", {0x92, 0x01}, false, kEnd},
            {"count without array header", {0x02, 0x05, 0x06}, true, ""},
            {"count 0", {0x90}, true, ""},
            {"count from a map header", {0x81, 0x05}, true, ""},
            {"empty input keeps the old vector", {}, false, kEnd},
            {"element cut", {0x91, 0xCD, 0x01}, false, kUnderflow},
            // Mended: a count far beyond the input reserves nothing from it.
            {"count 2^32-1 over 2 bytes", {0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x08}, false, kEnd},
        },
        [](M& m) {
            m.value = {42, 43};
        },
        {
            [](const M& m) { EXPECT_EQ(V({1}), m.value); },
            [](const M& m) {
                EXPECT_EQ(V({5, 6}), m.value);
            },
            [](const M& m) { EXPECT_TRUE(m.value.empty()); },
            [](const M& m) { EXPECT_EQ(V({5}), m.value); },
            [](const M& m) {
                EXPECT_EQ(V({42, 43}), m.value);
            },
            [](const M& m) { EXPECT_TRUE(m.value.empty()); },
            [](const M& m)
            {
                EXPECT_EQ(V({7, 8}), m.value);
                EXPECT_LT(m.value.capacity(), 64u);
            },
        });
}

TEST(MessagePackMessages, UnpackOfOtherBodies)
{
    mvmsgpack::CSwitchPreset preset;
    const Bytes twoNumbers = {0x01, 0xCD, 0x01, 0x00, 0xFF}; // trailing byte ignored
    EXPECT_TRUE(preset.unpack(twoNumbers.data(), static_cast<unsigned>(twoNumbers.size())));
    EXPECT_EQ(1u, preset.value.first);
    EXPECT_EQ(256u, preset.value.second);

    mvmsgpack::CReplaceDspModule replace;
    const Bytes ids = {0x02, 0xA2, 'a', 0x00, 0x03, 0xA3, 'b', 'c', 0x00};
    EXPECT_TRUE(replace.unpack(ids.data(), static_cast<unsigned>(ids.size())));
    EXPECT_STREQ("a", replace.value.firstId.chars);
    EXPECT_STREQ("bc", replace.value.secondId.chars);

    // A negative integer or a 64-bit one gives its low 32 bits.
    mvmsgpack::CUInt32 number;
    const Bytes negative = {0xFF};
    EXPECT_TRUE(number.unpack(negative.data(), 1));
    EXPECT_EQ(0xFFFFFFFFu, number.value);
    const Bytes wide = {0xCF, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x05};
    EXPECT_TRUE(number.unpack(wide.data(), static_cast<unsigned>(wide.size())));
    EXPECT_EQ(5u, number.value);

    // A null payload reads as an empty one.
    CaptureStdout();
    EXPECT_FALSE(number.unpack(nullptr, 5));
    EXPECT_EQ(kEnd, GetCapturedStdout());
}

} // namespace
