// The command-line updater in-process, against emulated amplifiers, with its
// standard output captured. Only the lines this updater prints are compared;
// the discovery and the session print lines of their own in between.
#include "AppTestRig.h"
#include "StdoutCapture.h"

#include "app/CommandLineUpdater.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace apptest;

namespace
{

constexpr int imageSize = 1200; // blocks end at 256, 512, 768, 1024, 1200

std::vector<uint8_t> testImage()
{
    std::vector<uint8_t> image(imageSize);
    for (int i = 0; i < imageSize; ++i)
        image[size_t(i)] = uint8_t(i * 7 + 3);
    return image;
}

bool isUpdaterLine(const std::string& line)
{
    const auto startsWith = [&](const char* prefix) { return line.rfind(prefix, 0) == 0; };
    const std::string countSuffix = " device(s) found";
    return line == "No device found" ||
           (line.size() > countSuffix.size() &&
            line.compare(line.size() - countSuffix.size(), countSuffix.size(), countSuffix) == 0) ||
           startsWith("Cannot connect") || startsWith("Get device SN:") ||
           startsWith("Cannot read device SN") || startsWith("Updating: ") || startsWith("Firmware upgrade");
}

enum class FileKind
{
    Good,
    Missing,
    Empty
};

struct Scenario
{
    const char* name;
    int amplifiers;
    std::function<void(Rig&, std::vector<std::shared_ptr<emu::K7Amplifier>>&)> setup;
    FileKind file;
    std::vector<std::string> expectedLines;
    bool expectedResult;
    bool ampTouched; // whether the first amplifier's bootloader saw any request
};

const std::vector<std::string> allProgress{"Updating: 21%", "Updating: 42%", "Updating: 64%", "Updating: 85%",
                                           "Updating: 100%"};

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const auto noSetup = [](Rig&, std::vector<std::shared_ptr<emu::K7Amplifier>>&) {};

std::vector<Scenario> scenarios()
{
    return {
        {"NoDevice", 0, noSetup, FileKind::Good, {"No device found"}, false, false},
        {"CannotConnect",
         1,
         [](Rig& rig, auto&) { rig.layer->failInputOpensFrom = 2; },
         FileKind::Good,
         {"1 device(s) found", "Cannot connect to device!"},
         false,
         false},
        {"Success", 1, noSetup, FileKind::Good,
         join({"1 device(s) found", "Get device SN:'SN-0'"}, join(allProgress, {"Firmware upgraded!"})), true,
         true},
        {"BlockFailsTwice",
         1,
         [](Rig&, auto& amps)
         {
             emu::BootloaderFaults faults;
             faults.refuseBlock = 1;
             faults.refuseCount = 2;
             amps[0]->getBootloader().setFaults(faults);
         },
         FileKind::Good,
         {"1 device(s) found", "Get device SN:'SN-0'", "Updating: 21%",
          "Firmware upgrade failed! Error code is 16"},
         false,
         true},
        {"BlockRefusedOnceIsResent", 1,
         [](Rig&, auto& amps)
         {
             emu::BootloaderFaults faults;
             faults.refuseBlock = 2;
             faults.refuseCount = 1;
             amps[0]->getBootloader().setFaults(faults);
         },
         FileKind::Good,
         join({"1 device(s) found", "Get device SN:'SN-0'"}, join(allProgress, {"Firmware upgraded!"})), true,
         true},
        {"MissingFile",
         1,
         noSetup,
         FileKind::Missing,
         {"1 device(s) found", "Get device SN:'SN-0'", "Firmware upgrade failed! Error code is 15"},
         false,
         false},
        {"EmptyPath",
         1,
         noSetup,
         FileKind::Empty,
         {"1 device(s) found", "Get device SN:'SN-0'", "Firmware upgrade failed! Error code is 15"},
         false,
         false},
        {"SerialTimeout", 1,
         [](Rig&, auto& amps)
         {
             emu::CommandFaults faults;
             faults.silent = true;
             amps[0]->setCommandFaults(faults);
         },
         FileKind::Good,
         join({"1 device(s) found", "Cannot read device SN: Device reading timeout", "Get device SN:''"},
              join(allProgress, {"Firmware upgraded!"})),
         true, true},
        {"SerialSanitised", 1, [](Rig&, auto& amps) { amps[0]->setSerialNumber("A\x1b[2J\xc3"); },
         FileKind::Good,
         join({"1 device(s) found", "Get device SN:'A\xEF\xBF\xBD[2J\xEF\xBF\xBD'"},
              join(allProgress, {"Firmware upgraded!"})),
         true, true},
        {"ReopenFailsBeforeTheFlash",
         1,
         [](Rig& rig, auto&) { rig.layer->failInputOpensFrom = 3; }, // discovery 2, connect 1
         FileKind::Good,
         {"1 device(s) found", "Get device SN:'SN-0'", "Firmware upgrade failed! Error code is 13"},
         false,
         true},
        {"TwoAmplifiersFlashTheFirst", 2, noSetup, FileKind::Good,
         join({"2 device(s) found", "Get device SN:'SN-0'"}, join(allProgress, {"Firmware upgraded!"})), true,
         true},
    };
}

class CommandLineUpdaterTest : public testing::TestWithParam<Scenario>
{
};

TEST_P(CommandLineUpdaterTest, PrintsItsLinesAndReportsTheOutcome)
{
    const Scenario& scenario = GetParam();
    Rig rig;
    std::vector<std::shared_ptr<emu::K7Amplifier>> amps;
    for (int i = 0; i < scenario.amplifiers; ++i)
    {
        amps.push_back(rig.addAmplifier());
        amps.back()->setSerialNumber("SN-" + std::to_string(i));
    }
    scenario.setup(rig, amps);

    const auto image = testImage();
    const juce::TemporaryFile temporary(".bin");
    juce::File file;
    if (scenario.file == FileKind::Good)
    {
        ASSERT_TRUE(temporary.getFile().replaceWithData(image.data(), image.size()));
        file = temporary.getFile();
    }
    else if (scenario.file == FileKind::Missing)
    {
        file = temporary.getFile().getSiblingFile("no-such-firmware.bin");
    }

    StdoutCapture capture;
    const bool result = runCommandLineUpdate(file, reopenWaitMs);
    const auto output = capture.finish();

    std::vector<std::string> lines;
    for (const auto& line : output)
        if (isUpdaterLine(line))
            lines.push_back(line);
    EXPECT_EQ(lines, scenario.expectedLines);
    EXPECT_EQ(result, scenario.expectedResult);
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);

    if (amps.empty())
        return;
    auto& bootloader = amps[0]->getBootloader();
    const bool touched = bootloader.getBlockRequests() > 0 || !bootloader.getStatusWrites().empty();
    EXPECT_EQ(touched, scenario.ampTouched);
    if (scenario.expectedResult)
    {
        const auto flash = bootloader.getFlash();
        ASSERT_GE(flash.size(), image.size());
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
        EXPECT_EQ(bootloader.getStatusWrites(), (std::vector<int>{0, 1}));
    }
    for (size_t i = 1; i < amps.size(); ++i)
    {
        EXPECT_EQ(amps[i]->getBootloader().getBlockRequests(), 0);
        EXPECT_TRUE(amps[i]->getBootloader().getStatusWrites().empty());
    }
    for (const auto& amp : amps)
        EXPECT_EQ(amp->getOpenInputCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CommandLineUpdaterTest, testing::ValuesIn(scenarios()),
                         [](const testing::TestParamInfo<Scenario>& info)
                         { return std::string(info.param.name); });

TEST(ReopenDeviceTest, NullDeviceIsRefused)
{
    EXPECT_FALSE(reopenDevice(nullptr, nullptr, nullptr));
}

} // namespace
