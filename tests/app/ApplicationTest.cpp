#include "app/OstrelFwUpgradeLauncherApplication.h"

#include <gtest/gtest.h>

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
    const auto file = OstrelFwUpgradeLauncherApplication::commandLineFile(c.parameters);
    ASSERT_EQ(file != nullptr, c.commandLine);
    if (!c.commandLine)
        return;
    if (c.expectedPath.isEmpty())
        EXPECT_EQ(file->getFullPathName(), juce::String());
    else if (juce::File::isAbsolutePath(c.expectedPath))
        EXPECT_EQ(file->getFullPathName(), c.expectedPath);
    else
        EXPECT_EQ(file->getFullPathName(),
                  juce::File::getCurrentWorkingDirectory().getChildFile(c.expectedPath).getFullPathName());
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
        Case{"TrailingSeparator", {"--path", "/tmp/images/"}, true, "/tmp/images"},
        Case{"PathWithBlanks", {"--path", "my images/fw 2.bin", "ignored"}, true, "my images/fw 2.bin"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
