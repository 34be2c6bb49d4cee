#include "commands/MessageHelpers.h"

#include "PackTestBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace
{

using packtest::Bytes;
using packtest::kOverflow;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

Bytes bytesOf(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

TEST(MessageHelpers, SetFixedString)
{
    struct Case
    {
        std::string name;
        const char* text;
        uint32_t textLength;
        uint32_t result;
        Bytes chars; // the expected start of chars; the rest must be NUL
    };
    const std::string forty(40, 'k');
    const std::vector<Case> cases = {
        {"three characters", "abc", 3, 4, bytesOf("abc")},
        {"one character", "a", 1, 2, bytesOf("a")},
        {"31 characters", forty.c_str(), 31, 32, Bytes(31, 'k')},
        {"40 characters cut to 31", forty.c_str(), 40, 32, Bytes(31, 'k')},
        {"size shorter than the text", "abcdef", 2, 3, bytesOf("ab")},
        {"NUL inside keeps the length", "ab\0cd", 5, 6, bytesOf("ab")},
    };
    for (const auto& tc : cases)
    {
        FixedString field;
        std::memset(&field, 0x5A, sizeof field);
        EXPECT_EQ(tc.result, setFixedString(field, tc.text, tc.textLength)) << tc.name;
        EXPECT_EQ(tc.result, field.length) << tc.name;
        Bytes expected = tc.chars;
        expected.resize(kFixedStringCapacity, 0);
        EXPECT_EQ(expected, Bytes(field.chars, field.chars + kFixedStringCapacity)) << tc.name;
    }

    struct Unchanged
    {
        const char* text;
        uint32_t textLength;
    };
    for (const Unchanged& u :
         {Unchanged{"", 0}, Unchanged{"", 5}, Unchanged{nullptr, 3}, Unchanged{"abc", 0}})
    {
        FixedString field;
        std::memset(&field, 0x5A, sizeof field);
        EXPECT_EQ(0u, setFixedString(field, u.text, u.textLength));
        FixedString pattern;
        std::memset(&pattern, 0x5A, sizeof pattern);
        EXPECT_EQ(0, std::memcmp(&pattern, &field, sizeof field));
    }
}

TEST(MessageHelpers, CheckPackResultNames)
{
    const std::pair<int, std::string> cases[] = {
        {-1, "MPK_RC_END_OF_INPUT"},
        {-2, "UWP_UNKNOWN"},
        {-3, "MPK_RC_BUFFER_UNDERFLOW"},
        {-4, "MPK_RC_MALFORMED_INPUT"},
        {-5, "MPK_RC_WRONG_BYTE_ORDER"},
        {-6, "MPK_RC_ERROR_IN_HANDLER"},
        {-7, "MPK_RC_ILLEGAL_CALL"},
        {-8, "MPK_RC_MALLOC_ERROR"},
        {-9, "MPK_RC_STOPPED"},
        {-10, "UWP_UNKNOWN"},
        {1, "UWP_UNKNOWN"},
        {42, "UWP_UNKNOWN"},
    };
    for (const auto& c : cases)
    {
        CaptureStdout();
        EXPECT_FALSE(checkPackResult(c.first));
        EXPECT_EQ("ERROR : " + c.second + " !\n", GetCapturedStdout()) << c.first;
    }
    CaptureStdout();
    EXPECT_TRUE(checkPackResult(MPK_RC_OK));
    EXPECT_EQ("", GetCapturedStdout());
}

TEST(MessageHelpers, BufferChecks)
{
    uint8_t buffer[4];
    CaptureStdout();
    EXPECT_TRUE(checkInOutBuffer(buffer, 4, "x"));
    EXPECT_FALSE(checkInOutBuffer(nullptr, 4, "no buffer"));
    EXPECT_FALSE(checkInOutBuffer(buffer, 0, "no room"));
    EXPECT_FALSE(reportBufferRange("any text"));
    EXPECT_EQ("checkInOutBuffer ERROR : no buffer !\ncheckInOutBuffer ERROR : no room !\n"
              "checkBufferRange ERROR : any text !\n",
              GetCapturedStdout());

    PackContext context;
    EXPECT_TRUE(initPackContextChecked(context, buffer, 4));
    packUnsigned(context, 300); // 3 bytes of 4
    uint8_t* out = nullptr;
    uint32_t outLength = 0;
    CaptureStdout();
    EXPECT_TRUE(checkBufferRange(context, buffer, 4, &out, &outLength));
    EXPECT_EQ(buffer, out);
    EXPECT_EQ(3u, outLength);
    // Strictly shorter is the rule.
    out = nullptr;
    EXPECT_FALSE(checkBufferRange(context, buffer, 3, &out, &outLength));
    EXPECT_EQ(nullptr, out);
    // A failed context is refused with what was written so far.
    packUnsigned(context, 300);
    EXPECT_FALSE(checkBufferRange(context, buffer, 4, &out, &outLength));
    EXPECT_EQ(3u, outLength);
    EXPECT_EQ(kOverflow + kOverflow, GetCapturedStdout());
}

} // namespace
