#include "device/DeviceText.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

const std::string fffd = "\xEF\xBF\xBD";

struct Case
{
    const char* name;
    std::string input;
    std::string expected;
};

class DeviceTextTest : public testing::TestWithParam<Case>
{
};

TEST_P(DeviceTextTest, IsValidUtf8WithoutControlCharacters)
{
    EXPECT_EQ(sanitiseDeviceText(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeviceTextTest,
    testing::Values(Case{"Empty", "", ""}, Case{"Serial", "123-456789-10111-21", "123-456789-10111-21"},
                    Case{"TwoThreeFourByteSequences", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB8",
                         "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB8"},
                    Case{"TrailingNulsDropped", std::string("AB\0\0", 4), "AB"},
                    Case{"InnerNulReplaced", std::string("A\0B", 3), "A" + fffd + "B"},
                    Case{"EscapeSequenceDefused", "\x1B[2Jx", fffd + "[2Jx"},
                    Case{"NewlineAndDel", "a\nb\x7F", "a" + fffd + "b" + fffd},
                    Case{"C1Control", "\xC2\x85", fffd}, Case{"LoneContinuation", "a\x80z", "a" + fffd + "z"},
                    Case{"TruncatedSequenceAtEnd", "ab\xE2\x82", "ab" + fffd + fffd},
                    Case{"OverlongSlash", "\xC0\xAF", fffd + fffd},
                    Case{"OverlongThreeByte", "\xE0\x80\xAF", fffd + fffd + fffd},
                    Case{"Surrogate", "\xED\xA0\x80", fffd + fffd + fffd},
                    Case{"AboveUnicodeRange", "\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
                    Case{"InvalidLeadBytes", "\xFF\xFE", fffd + fffd},
                    Case{"LastValidCodePoint", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
