#include "app/OstrelFwUpgradeLauncherApplication.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace
{

struct Case
{
    const char* name;
    juce::StringArray parameters;
    bool commandLine;
    juce::String expectedPath; // relative to the working directory unless absolute; "" stays ""
};

class CommandLineDecisionTest : public testing::TestWithParam<Case>
{
};

TEST_P(CommandLineDecisionTest, PathDecidesBetweenWindowAndCommandLine)
{
    const Case& c = GetParam();
    const auto path = OstrelFwUpgradeLauncherApplication::commandLinePath(c.parameters);
    ASSERT_EQ(path.has_value(), c.commandLine);
    if (!c.commandLine)
        return;
    // A relative path is the working directory and the path as given.
    const std::string expected =
        c.expectedPath.isEmpty() || juce::File::isAbsolutePath(c.expectedPath)
            ? c.expectedPath.toStdString()
            : std::filesystem::current_path().string() + "/" + c.expectedPath.toStdString();
    EXPECT_EQ(*path, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineDecisionTest,
    testing::Values(
        Case{"NoParameters", {}, false, {}}, Case{"OtherFirstParameter", {"--help", "x"}, false, {}},
        Case{"DifferentCase", {"--PATH", "fw.bin"}, false, {}},
        Case{"PathPrefixOnly", {"--path=fw.bin"}, false, {}},
        Case{"PathSecond", {"fw.bin", "--path"}, false, {}}, Case{"PathAlone", {"--path"}, true, ""},
        Case{"EmptyPath", {"--path", ""}, true, ""},
        Case{"RelativePath", {"--path", "images/fw.bin"}, true, "images/fw.bin"},
        Case{"ParentPath", {"--path", "../fw.bin"}, true, "../fw.bin"},
        Case{"AbsolutePath", {"--path", "/tmp/fw.bin"}, true, "/tmp/fw.bin"},
        Case{"TrailingSeparator", {"--path", "/tmp/images/"}, true, "/tmp/images/"},
        Case{"ParentOfALink", {"--path", "link/../fw.bin"}, true, "link/../fw.bin"},
        Case{"AbsoluteWithDots", {"--path", "/tmp/link/./../fw.bin"}, true, "/tmp/link/./../fw.bin"},
        Case{"PathWithBlanks", {"--path", "my images/fw 2.bin", "ignored"}, true, "my images/fw 2.bin"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
