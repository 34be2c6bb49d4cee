// The command-line updater in-process, against emulated amplifiers, with its
// standard output captured. Only the lines this updater prints are compared;
// the discovery and the session print lines of their own in between.
#include "AppTestRig.h"
#include "SignalTestSupport.h"
#include "StdoutCapture.h"

#include "app/CommandLineUpdater.h"
#include "app/SeveralAmplifiersRefusal.h"
#include "tests/device/ScriptedDevice.h"
#include "tests/device/TestFirmwareImage.h"

#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace apptest;

namespace
{

constexpr int imageSize = 1200; // blocks end at 256, 512, 768, 1024, 1200
constexpr int lastBlock = 4;
// Every bootloader reply is awaited this long.
constexpr int replyTimeoutMs = 1000;

std::vector<uint8_t> testImage()
{
    return testing_device::makeTestImage(imageSize, 1200);
}

bool isUpdaterLine(const std::string& line)
{
    const auto startsWith = [&](const char* prefix) { return line.rfind(prefix, 0) == 0; };
    const std::string countSuffix = " device(s) found";
    return line == "No device found" ||
           (line.size() > countSuffix.size() &&
            line.compare(line.size() - countSuffix.size(), countSuffix.size(), countSuffix) == 0) ||
           startsWith("Cannot connect") || startsWith("Get device SN:") ||
           startsWith("Cannot read device SN") || startsWith("Updating: ") ||
           startsWith("Firmware upgrade") || startsWith("Firmware image refused") ||
           startsWith("Firmware file refused") || line == moreThanOneAmplifierLine ||
           startsWith("The amplifier ") || startsWith("Two amplifiers") || startsWith("Update interrupted");
}

// The firmware file handed to the updater.
enum class FileKind
{
    Good,
    Missing,
    EmptyPath,
    SpacesAndNonAscii, // a good image under a name with blanks and letters beyond ASCII
    ThroughAFile,      // a path that runs through a regular file: it cannot be opened
    Fifo,
    DevZero,
    Directory,
    Truncated,             // the good image cut short
    Text,                  // a text file, as /etc/passwd
    Symlink,               // a symbolic link to the good image
    FlippedBytes,          // the good image with two bytes flipped
    ZerosAroundItsInfo,    // zeros but for the good image's info block
    LengthOfOneWord,       // the good image, its info block giving a firmware length of 1 word
    Sparse255MB,           // the good image followed by holes up to 255 MiB
    ThroughALinksParent,   // link/../firmware.bin, link a symbolic link to a folder elsewhere
    ThroughAFoldersParent, // sub/../firmware.bin, sub a real folder
};

constexpr int64_t sparseSize = int64_t(255) << 20;

// What became of the first amplifier.
enum class AmpAfter
{
    Untouched,                // no status write, no block
    Flashed,                  // the whole image, "SetFwStatus" 0 then 1
    FlashedFromItsBootloader, // the whole image, "SetFwStatus" 1 only
    LeftAsFound,              // "SetFwStatus" 0 then 1, no block
    InBootloader,             // "SetFwStatus" 0, no block: the run stopped there
    Touched,                  // some blocks, the update did not end
};

using Amps = std::vector<std::shared_ptr<emu::K7Amplifier>>;

struct Scenario
{
    const char* name;
    int amplifiers;
    std::function<void(Rig&, Amps&)> setup;
    FileKind file;
    std::vector<std::string> expectedLines; // <file> stands for the file's full path
    int exitCode;                           // as the application reports the result
    AmpAfter ampAfter;
};

const std::vector<std::string> allProgress{"Updating: 21%", "Updating: 42%", "Updating: 64%", "Updating: 85%",
                                           "Updating: 100%"};

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> found{"1 device(s) found", "Get device SN:'SN-0'"};
const std::vector<std::string> upgraded = join(found, join(allProgress, {"Firmware upgraded!"}));

std::vector<std::string> failed(int code, const std::vector<std::string>& before = found)
{
    return join(before, {"Firmware upgrade failed! Error code is " + std::to_string(code)});
}

const std::string leftInBootloader =
    "The amplifier is in its bootloader; running the updater again finishes the update";

// A failure that leaves the amplifier in its bootloader: the line saying so ends it.
std::vector<std::string> failedInBootloader(int code, const std::vector<std::string>& before = found)
{
    return join(failed(code, before), {leftInBootloader});
}

// A file refused before any bootloader message, and why.
std::vector<std::string> fileRefused(const std::string& why)
{
    return failed(15, join(found, {"Firmware file refused: '<file>' " + why}));
}

// An image refused by its own info block, before any bootloader message.
std::vector<std::string> imageRefused(const std::string& why)
{
    return failed(15, join(found, {"Firmware image refused: " + why}));
}

const auto noSetup = [](Rig&, Amps&) {};

using Faults = emu::BootloaderFaults;

// The first amplifier's bootloader with the given fault fields set.
std::function<void(Rig&, Amps&)> withFaults(std::vector<std::pair<int Faults::*, int>> fields)
{
    return [fields](Rig&, Amps& amps)
    {
        Faults faults;
        for (const auto& [field, value] : fields)
            faults.*field = value;
        amps[0]->getBootloader().setFaults(faults);
    };
}

// Line faults from the first restart on (the discovery takes only whole replies).
std::function<void(Rig&, Amps&)> withLineFaults(emu::AmplifierFaults faults)
{
    return [faults](Rig&, Amps& amps)
    {
        auto* amp = amps[0].get();
        amp->getBootloader().setRestartHook([amp, faults](int) { amp->setFaults(faults); });
    };
}

emu::AmplifierFaults noisySplitReplies()
{
    emu::AmplifierFaults faults;
    faults.noise = true;
    faults.replyPieces = 3;
    return faults;
}

const auto chatter = [](Rig&, Amps& amps)
{ amps[0]->repeatToHost(testing_device::keywordMessage("RetFwStatus", {1}), 10); };

std::vector<Scenario> scenarios()
{
    return {
        {"NoDevice", 0, noSetup, FileKind::Good, {"No device found"}, 1, AmpAfter::Untouched},
        {"CannotConnect",
         1,
         [](Rig& rig, Amps&) { rig.layer->failInputOpensFrom = 2; },
         FileKind::Good,
         {"1 device(s) found", "Cannot connect to device!"},
         1,
         AmpAfter::Untouched},
        {"Success", 1, noSetup, FileKind::Good, upgraded, 0, AmpAfter::Flashed},
        {"BlockFailsTwice", 1, withFaults({{&Faults::refuseBlock, 1}, {&Faults::refuseCount, 2}}),
         FileKind::Good, failedInBootloader(16, join(found, {"Updating: 21%"})), 1, AmpAfter::Touched},
        {"BlockRefusedOnceIsResent", 1, withFaults({{&Faults::refuseBlock, 2}, {&Faults::refuseCount, 1}}),
         FileKind::Good, upgraded, 0, AmpAfter::Flashed},
        {"BadBlockSumIsResent", 1, withFaults({{&Faults::corruptBlock, 3}, {&Faults::corruptCount, 1}}),
         FileKind::Good, upgraded, 0, AmpAfter::Flashed},
        {"LateBlockReplyInsideTheDeadline", 1,
         withFaults({{&Faults::lateBlock, 2}, {&Faults::lateMs, replyTimeoutMs / 5}}), FileKind::Good,
         upgraded, 0, AmpAfter::Flashed},
        {"LateBlockReplyPastTheDeadline", 1,
         withFaults({{&Faults::lateBlock, 2}, {&Faults::lateMs, 3 * replyTimeoutMs}}), FileKind::Good,
         failedInBootloader(16, join(found, {"Updating: 21%", "Updating: 42%"})), 1, AmpAfter::Touched},
        {"OverlongReplyIsSkipped", 1, withFaults({{&Faults::overlongBlock, 1}}), FileKind::Good, upgraded, 0,
         AmpAfter::Flashed},
        {"NoiseAndSplitRepliesOverTheWholeFlash", 1, withLineFaults(noisySplitReplies()), FileKind::Good,
         upgraded, 0, AmpAfter::Flashed},
        {"EndlessUnrelatedMessages", 1, chatter, FileKind::Good, upgraded, 0, AmpAfter::Flashed},
        {"EndlessUnrelatedMessagesAndASilentBlock", 1,
         [](Rig& rig, Amps& amps)
         {
             chatter(rig, amps);
             withFaults({{&Faults::silentBlock, 2}})(rig, amps);
         },
         FileKind::Good, failedInBootloader(16, join(found, {"Updating: 21%", "Updating: 42%"})), 1,
         AmpAfter::Touched},
        {"FloodOnTheOwnSessionId", 1, withFaults({{&Faults::floodBlock, 1}, {&Faults::floodCount, 3000}}),
         FileKind::Good, upgraded, 0, AmpAfter::Flashed},
        {"GoneAfterTheLastBlock", 1, withFaults({{&Faults::vanishAfterBlock, lastBlock}}), FileKind::Good,
         failedInBootloader(12, join(found, allProgress)), 1, AmpAfter::Touched},
        {"NotBackAfterTheUpdate", 1, withFaults({{&Faults::stayAwayAfterStatus, 1}}), FileKind::Good,
         failed(13, join(found, join(allProgress, {"The amplifier did not come back after the update"}))), 1,
         AmpAfter::Flashed},
        {"PortsMovedDuringTheRestart", 1,
         [](Rig& rig, Amps& amps)
         {
             // Another MIDI device comes while the amplifier restarts and
             // takes the amplifier's old port index.
             emu::Amplifier::Config keyboard;
             keyboard.inputName = keyboard.outputName = "USB Keyboard";
             auto other = emu::Amplifier::create(keyboard);
             auto layer = rig.emulated;
             amps[0]->getBootloader().setRestartHook(
                 [layer, other](int status)
                 {
                     if (status == 0)
                         layer->insertAmplifier(0, other);
                 });
         },
         FileKind::Good, upgraded, 0, AmpAfter::Flashed},
        {"TwinPluggedInDuringTheRestart", 1,
         [](Rig& rig, Amps& amps)
         {
             // A second amplifier of the same name comes while the first
             // restarts and takes its old port index: the two cannot be told
             // apart, so neither is opened.
             emu::Amplifier::Config config;
             config.inputName = amps[0]->getInputName();
             config.outputName = amps[0]->getOutputName();
             auto twin = emu::Amplifier::create<emu::K7Amplifier>(config);
             twin->setSerialNumber("SN-twin");
             twin->getBootloader().setInfoBlock(amps[0]->getBootloader().getInfoBlock());
             amps.push_back(twin);
             auto layer = rig.emulated;
             amps[0]->getBootloader().setRestartHook(
                 [layer, twin](int status)
                 {
                     if (status == 0)
                         layer->insertAmplifier(0, twin);
                 });
         },
         FileKind::Good,
         failedInBootloader(
             13,
             join(found,
                  {"Two amplifiers of the same name are connected after the restart: neither was opened"})),
         1, AmpAfter::InBootloader},
        {"MissingFile", 1, noSetup, FileKind::Missing,
         fileRefused("cannot be opened: No such file or directory"), 1, AmpAfter::Untouched},
        {"EmptyPath", 1, noSetup, FileKind::EmptyPath,
         fileRefused("cannot be opened: No such file or directory"), 1, AmpAfter::Untouched},
        {"UnreadableFile", 1, noSetup, FileKind::ThroughAFile,
         fileRefused("cannot be opened: Not a directory"), 1, AmpAfter::Untouched},
        {"Fifo", 1, noSetup, FileKind::Fifo, fileRefused("is a FIFO"), 1, AmpAfter::Untouched},
        {"DevZero", 1, noSetup, FileKind::DevZero, fileRefused("is a device file"), 1, AmpAfter::Untouched},
        {"Directory", 1, noSetup, FileKind::Directory, fileRefused("is a directory"), 1, AmpAfter::Untouched},
        {"PathWithSpacesAndNonAsciiLetters", 1, noSetup, FileKind::SpacesAndNonAscii, upgraded, 0,
         AmpAfter::Flashed},
        {"SymlinkToTheImage", 1, noSetup, FileKind::Symlink, upgraded, 0, AmpAfter::Flashed},
        // The file the system finds through the link is the image; removing
        // "link/.." as text would name a truncated one.
        {"ParentOfASymbolicLink", 1, noSetup, FileKind::ThroughALinksParent, upgraded, 0, AmpAfter::Flashed},
        {"ParentOfAFolder", 1, noSetup, FileKind::ThroughAFoldersParent, upgraded, 0, AmpAfter::Flashed},
        {"TruncatedImage", 1, noSetup, FileKind::Truncated,
         imageRefused("its info block gives a firmware length of 300 words (1200 bytes), the image has 1150 "
                      "bytes"),
         1, AmpAfter::Untouched},
        {"TextFile", 1, noSetup, FileKind::Text,
         imageRefused(
             "its info block gives a firmware length of 980709231 words (3922836924 bytes), the image "
             "has 3000 bytes"),
         1, AmpAfter::Untouched},
        {"TwoFlippedBytes", 1, noSetup, FileKind::FlippedBytes,
         imageRefused("its info block gives a checksum of 0x68D9258A, the image's words sum to 0x6881258A"),
         1, AmpAfter::Untouched},
        {"ZerosAroundARealInfoBlock", 1, noSetup, FileKind::ZerosAroundItsInfo,
         imageRefused("its info block gives a checksum of 0x68D9258A, the image's words sum to 0x00000000"),
         1, AmpAfter::Untouched},
        {"FirmwareLengthOfOneWord", 1, noSetup, FileKind::LengthOfOneWord,
         imageRefused("its info block gives a firmware length of 1 word (4 bytes), the image has 1200 bytes"),
         1, AmpAfter::Untouched},
        {"Sparse255MBFileWithAValidInfoBlock", 1, noSetup, FileKind::Sparse255MB,
         imageRefused("its info block gives a firmware length of 300 words (1200 bytes), the image has " +
                      std::to_string(sparseSize) + " bytes"),
         1, AmpAfter::Untouched},
        {"WrongDeviceName", 1,
         [](Rig&, Amps& amps)
         {
             auto block = oldInfoBlock();
             block[2] = 'X';
             block[3] = 'X';
             amps[0]->getBootloader().setInfoBlock(block);
         },
         FileKind::Good,
         failed(15, join(found,
                         {"Firmware image refused: it is built for device 'K7AP', the amplifier is 'K7XX'"})),
         1, AmpAfter::LeftAsFound},
        {"SerialTimeout", 1,
         [](Rig&, Amps& amps)
         {
             emu::CommandFaults faults;
             faults.silent = true;
             amps[0]->setCommandFaults(faults);
         },
         FileKind::Good,
         join({"1 device(s) found", "Cannot read device SN: Device reading timeout", "Get device SN:''"},
              join(allProgress, {"Firmware upgraded!"})),
         0, AmpAfter::Flashed},
        {"SerialSanitised", 1, [](Rig&, Amps& amps) { amps[0]->setSerialNumber("A\x1b[2J\xc3"); },
         FileKind::Good,
         join({"1 device(s) found", "Get device SN:'A\xEF\xBF\xBD[2J\xEF\xBF\xBD'"},
              join(allProgress, {"Firmware upgraded!"})),
         0, AmpAfter::Flashed},
        {"ReopenFailsBeforeTheFlash", 1,
         [](Rig& rig, Amps&) { rig.layer->failInputOpensFrom = 3; }, // discovery 2, connect 1
         FileKind::Good,
         failedInBootloader(13, join(found, {"The amplifier did not come back after the restart"})), 1,
         AmpAfter::InBootloader},
        {"NoInformationAfterTheRestart", 1, withFaults({{&Faults::infoDelayMs, 2 * replyTimeoutMs}}),
         FileKind::Good, failedInBootloader(14), 1, AmpAfter::InBootloader},
        // The amplifier is confirmed after each restart.
        {"AnotherAmplifierAnswersTheRestart", 1,
         [](Rig& rig, Amps& amps)
         {
             // The first stays away in its bootloader; a second of the same
             // name, still running its firmware, comes in its place.
             Faults faults;
             faults.stayAwayAfterStatus = 0;
             amps[0]->getBootloader().setFaults(faults);
             emu::Amplifier::Config config;
             config.inputName = amps[0]->getInputName();
             config.outputName = amps[0]->getOutputName();
             auto other = emu::Amplifier::create<emu::K7Amplifier>(config);
             other->getBootloader().setInfoBlock(amps[0]->getBootloader().getInfoBlock());
             amps.push_back(other);
             auto layer = rig.emulated;
             amps[0]->getBootloader().setRestartHook(
                 [layer, other](int status)
                 {
                     if (status == 0)
                         layer->addAmplifier(other);
                 });
         },
         FileKind::Good,
         failedInBootloader(13, join(found, {"The amplifier that answered after the restart is not in its "
                                             "bootloader (status 1): no block was sent"})),
         1, AmpAfter::InBootloader},
        {"StatusOneDoesNotTake", 1, withFaults({{&Faults::statusWriteIgnored, 1}}), FileKind::Good,
         failedInBootloader(13,
                            join(found, join(allProgress, {"The amplifier came back from the update still in "
                                                           "its bootloader"}))),
         1, AmpAfter::Flashed},
        {"BackOnItsOldFirmware", 1,
         [](Rig&, Amps& amps)
         {
             Faults faults;
             faults.infoStaysOld = true;
             amps[0]->getBootloader().setFaults(faults);
         },
         FileKind::Good,
         failed(13, join(found, join(allProgress, {"The amplifier came back from the update running firmware "
                                                   "1.0.0.1 instead of the image's 1.2.3.37"}))),
         1, AmpAfter::Flashed},
        {"SuccessFromItsBootloader", 1, [](Rig&, Amps& amps) { amps[0]->getBootloader().setStatus(0); },
         FileKind::Good, upgraded, 0, AmpAfter::FlashedFromItsBootloader},
        {"BootloaderUnderAPortNameOfItsOwn", 1,
         [](Rig&, Amps& amps)
         {
             auto* amp = amps[0].get();
             amp->getBootloader().setRestartHook(
                 [amp](int status)
                 {
                     const juce::String name = status == 0 ? "Tolvo K7 DFU" : "Tolvo K7";
                     amp->renamePorts(name, name);
                 });
         },
         FileKind::Good, upgraded, 0, AmpAfter::Flashed},
        {"BootloaderUnderAPortNameOfAnotherDevice", 1,
         [](Rig&, Amps& amps)
         {
             auto* amp = amps[0].get();
             amp->getBootloader().setRestartHook([amp](int) { amp->renamePorts("USB DFU", "USB DFU"); });
         },
         FileKind::Good,
         failedInBootloader(13, join(found, {"The amplifier did not come back after the restart"})), 1,
         AmpAfter::InBootloader},
        // Replies that must not count for a block.
        {"StaleCopyOfBlock0sReplyWhileBlock1IsUnanswered", 1,
         withFaults({{&Faults::silentBlock, 1}, {&Faults::staleReplyBlock, 0}, {&Faults::staleMs, 50}}),
         FileKind::Good, failedInBootloader(16, join(found, {"Updating: 21%", "Updating: 42%"})), 1,
         AmpAfter::Touched},
        // On an amplifier that does not echo offsets nothing else tells the
        // stitched reply from block 2's: F0 "RetWriteFlash" 00 00 B0 07 01 00
        // 00 00 F7 reads 1.
        {"RefusalCutByAController", 1,
         [](Rig& rig, Amps& amps)
         {
             withFaults({{&Faults::cutReplyBlock, 2}})(rig, amps);
             amps[0]->getBootloader().setReplyOffset(emu::ReplyOffset::Fixed);
         },
         FileKind::Good, failedInBootloader(16, join(found, {"Updating: 21%", "Updating: 42%"})), 1,
         AmpAfter::Touched},
        // Two amplifiers of one name cannot be told apart after a restart.
        {"TwoAmplifiersFlashNeither",
         2,
         noSetup,
         FileKind::Good,
         {"2 device(s) found", moreThanOneAmplifierLine},
         1,
         AmpAfter::Untouched},
    };
}

// The file of a scenario, made in dir.
juce::File firmwareFile(FileKind kind, const juce::File& dir, const std::vector<uint8_t>& image)
{
    const auto write = [&](const juce::String& name, const void* data, size_t size)
    {
        const juce::File file = dir.getChildFile(name);
        EXPECT_TRUE(file.replaceWithData(data, size));
        return file;
    };
    switch (kind)
    {

        case FileKind::Good:
            return write("firmware.bin", image.data(), image.size());
        case FileKind::Missing:
            return dir.getChildFile("no-such-firmware.bin");
        case FileKind::EmptyPath:
            return {};
        case FileKind::SpacesAndNonAscii:
            return write(juce::String::fromUTF8("tolvo firmware \xC3\xBC \xE2\x82\xAC.bin"), image.data(),
                         image.size());
        case FileKind::ThroughAFile:
            return write("plain.bin", image.data(), image.size()).getChildFile("firmware.bin");
        case FileKind::Fifo:
        {
            const juce::File fifo = dir.getChildFile("firmware.fifo");
            EXPECT_EQ(::mkfifo(fifo.getFullPathName().toRawUTF8(), 0600), 0);
            return fifo;
        }
        case FileKind::DevZero:
            return juce::File("/dev/zero");
        case FileKind::Directory:
            return dir;
        case FileKind::Truncated:
            return write("truncated.bin", image.data(), 1150);
        case FileKind::Symlink:
        {
            const juce::File target = write("firmware.bin", image.data(), image.size());
            const juce::File link = dir.getChildFile("firmware-link.bin");
            EXPECT_TRUE(target.createSymbolicLink(link, false));
            return link;
        }
        case FileKind::FlippedBytes:
        {
            auto flipped = image;
            flipped[10] ^= 0xFF;
            flipped[1150] ^= 0xFF;
            return write("flipped.bin", flipped.data(), flipped.size());
        }
        case FileKind::ZerosAroundItsInfo:
        {
            std::vector<uint8_t> zeros(image.size(), 0);
            std::copy_n(image.begin() + FirmwareInfoBlock::imageOffset, FirmwareInfoBlock::size,
                        zeros.begin() + FirmwareInfoBlock::imageOffset);
            return write("zeros.bin", zeros.data(), zeros.size());
        }
        case FileKind::LengthOfOneWord:
        {
            auto one = image;
            testing_device::putLe32(one, FirmwareInfoBlock::imageOffset + 12, 1);
            return write("one-word.bin", one.data(), one.size());
        }
        case FileKind::Sparse255MB:
        {
            const juce::File file = write("sparse.bin", image.data(), image.size());
            EXPECT_EQ(::truncate(file.getFullPathName().toRawUTF8(), off_t(sparseSize)), 0);
            return file;
        }
        case FileKind::ThroughALinksParent:
        case FileKind::ThroughAFoldersParent:
            break; // paths through folders: firmwarePath
        case FileKind::Text:
        {
            std::string text;
            while (text.size() < 3000)
                text += "root:x:0:0:root:/root:/bin/bash\n";
            text.resize(3000);
            return write("passwd", text.data(), text.size());
        }
    }
    return {};
}

// The path of a scenario's file, made in dir, as the updater is given it.
std::string firmwarePath(FileKind kind, const juce::File& dir, const std::vector<uint8_t>& image)
{
    const auto write = [&](const juce::String& name, const void* data, size_t size)
    {
        const juce::File file = dir.getChildFile(name);
        EXPECT_TRUE(file.getParentDirectory().createDirectory());
        EXPECT_TRUE(file.replaceWithData(data, size));
    };
    const std::string dirPath = dir.getFullPathName().toStdString();
    switch (kind)
    {
        case FileKind::ThroughALinksParent:
            write("elsewhere/firmware.bin", image.data(), image.size());
            EXPECT_TRUE(dir.getChildFile("elsewhere/inner").createDirectory());
            write("work/firmware.bin", image.data(), 1150);
            EXPECT_EQ(::symlink("../elsewhere/inner", (dirPath + "/work/link").c_str()), 0);
            return dirPath + "/work/link/../firmware.bin";
        case FileKind::ThroughAFoldersParent:
            write("firmware.bin", image.data(), image.size());
            EXPECT_TRUE(dir.getChildFile("sub").createDirectory());
            return dirPath + "/sub/../firmware.bin";
        default:
            return firmwareFile(kind, dir, image).getFullPathName().toStdString();
    }
}

void PrintTo(const Scenario& scenario, std::ostream* os)
{
    *os << scenario.name;
}

class CommandLineUpdaterTest : public testing::TestWithParam<Scenario>
{
};

TEST_P(CommandLineUpdaterTest, PrintsItsLinesAndReportsTheOutcome)
{
    const Scenario& scenario = GetParam();
    Rig rig;
    Amps amps;
    for (int i = 0; i < scenario.amplifiers; ++i)
    {
        amps.push_back(rig.addAmplifier());
        amps.back()->setSerialNumber("SN-" + std::to_string(i));
    }
    scenario.setup(rig, amps);

    const auto image = testImage();
    const juce::TemporaryFile temporaryDir;
    const juce::File dir = temporaryDir.getFile();
    ASSERT_TRUE(dir.createDirectory());
    const std::string path = firmwarePath(scenario.file, dir, image);

    StdoutCapture capture;
    const bool result = runCommandLineUpdate(path, reopenWaitMs, replyTimeoutMs);
    const auto output = capture.finish();
    dir.deleteRecursively();

    std::vector<std::string> lines;
    for (const auto& line : output)
        if (isUpdaterLine(line))
            lines.push_back(line);
    std::vector<std::string> expectedLines = scenario.expectedLines;
    const auto replace = [](std::string& line, const std::string& name, const std::string& value)
    {
        if (const auto at = line.find(name); at != std::string::npos)
            line.replace(at, name.size(), value);
    };
    for (auto& line : expectedLines)
        replace(line, "<file>", path);
    EXPECT_EQ(lines, expectedLines);
    EXPECT_EQ(result ? 0 : 1, scenario.exitCode);
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);

    for (const auto& amp : amps)
        amp->stopRepeating();
    if (amps.empty())
        return;
    auto& bootloader = amps[0]->getBootloader();
    const auto statusWrites = bootloader.getStatusWrites();
    switch (scenario.ampAfter)
    {
        case AmpAfter::Untouched:
            EXPECT_EQ(bootloader.getBlockRequests(), 0);
            EXPECT_TRUE(statusWrites.empty());
            break;
        case AmpAfter::LeftAsFound:
            EXPECT_EQ(bootloader.getBlockRequests(), 0);
            EXPECT_EQ(statusWrites, (std::vector<int>{0, 1}));
            break;
        case AmpAfter::InBootloader:
            EXPECT_EQ(bootloader.getBlockRequests(), 0);
            EXPECT_EQ(statusWrites, (std::vector<int>{0}));
            break;
        case AmpAfter::Touched:
            EXPECT_GT(bootloader.getBlockRequests(), 0);
            break;
        case AmpAfter::Flashed:
        case AmpAfter::FlashedFromItsBootloader:
        {
            const auto flash = bootloader.getFlash();
            ASSERT_GE(flash.size(), image.size());
            EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
            const std::vector<int> expectedWrites =
                scenario.ampAfter == AmpAfter::Flashed ? std::vector<int>{0, 1} : std::vector<int>{1};
            EXPECT_EQ(statusWrites, expectedWrites);
            break;
        }
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

// Where a case raises its signal.
enum class RaiseAt
{
    Probe,         // as the discovery probe arrives
    SerialRequest, // as the serial-number request arrives
    StatusRequest, // as "GetFwStatus" arrives
    ReopenBefore,  // once the host has closed its ports after "SetFwStatus" 0
    InfoRequest,   // as "GetFwInfo" arrives
    Block,         // as the "WriteFlash" of InterruptionCase::block arrives
    ReopenAfter,   // once the host has closed its ports after "SetFwStatus" 1
};

struct InterruptionCase
{
    const char* name;
    int signal;
    RaiseAt at;
    int block; // RaiseAt::Block: the index of the block whose request raises it
    uint8_t startStatus;
    std::string lastLine;
    int statusReads;               // "GetFwStatus" requests the amplifier received (one confirms the restart)
    std::vector<int> statusWrites; // its "SetFwStatus" values
    int blocks;                    // its "WriteFlash" requests, every one answered 1
};

void PrintTo(const InterruptionCase& c, std::ostream* os)
{
    *os << c.name;
}

const std::string inBootloader =
    ": the amplifier is in its bootloader; running the updater again finishes the update";
const std::string comingBack = "Update interrupted after the last block while waiting for the amplifier to "
                               "come back: every block was written and the amplifier was told to start the "
                               "new firmware";
const std::string beforeTraffic =
    "Update interrupted before anything was sent to the bootloader: the amplifier is unchanged";

std::vector<InterruptionCase> interruptionCases()
{
    return {
        {"DuringTheDiscovery", SIGINT, RaiseAt::Probe, 0, 1, beforeTraffic, 0, {}, 0},
        {"DuringTheSerialRead", SIGTERM, RaiseAt::SerialRequest, 0, 1, beforeTraffic, 0, {}, 0},
        {"DuringTheStatusRead",
         SIGINT,
         RaiseAt::StatusRequest,
         0,
         1,
         "Update interrupted while switching to the bootloader: the amplifier is unchanged",
         1,
         {},
         0},
        {"DuringTheStatusReadOfAnAmplifierInItsBootloader",
         SIGINT,
         RaiseAt::StatusRequest,
         0,
         0,
         "Update interrupted while switching to the bootloader" + inBootloader,
         1,
         {},
         0},
        {"DuringTheReopenWaitBeforeTheFlash",
         SIGINT,
         RaiseAt::ReopenBefore,
         0,
         1,
         "Update interrupted while waiting for the amplifier to restart" + inBootloader,
         1,
         {0},
         0},
        {"DuringTheInfoRead",
         SIGINT,
         RaiseAt::InfoRequest,
         0,
         1,
         "Update interrupted before writing block 1 of 5" + inBootloader,
         2,
         {0},
         0},
        {"DuringTheFirstBlock",
         SIGTERM,
         RaiseAt::Block,
         0,
         1,
         "Update interrupted after writing block 1 of 5" + inBootloader,
         2,
         {0},
         1},
        {"DuringBlock3",
         SIGINT,
         RaiseAt::Block,
         2,
         1,
         "Update interrupted after writing block 3 of 5" + inBootloader,
         2,
         {0},
         3},
        {"DuringBlock2OfAnAmplifierInItsBootloader",
         SIGINT,
         RaiseAt::Block,
         1,
         0,
         "Update interrupted after writing block 2 of 5" + inBootloader,
         1,
         {},
         2},
        {"DuringTheLastBlock", SIGINT, RaiseAt::Block, lastBlock, 1, comingBack, 2, {0, 1}, 5},
        {"DuringTheReopenWaitAfterTheFlash", SIGTERM, RaiseAt::ReopenAfter, 0, 1, comingBack, 2, {0, 1}, 5},
    };
}

// The request that raises the signal of a case, or null when a watcher does.
std::function<bool(const std::vector<uint8_t>&)> raisingRequest(const InterruptionCase& c)
{
    const std::vector<uint8_t> probe{0xF0, 0x01, 0x00, 0x00, 0x02, 0x12, 0xF7};
    switch (c.at)
    {
        case RaiseAt::Probe:
            return [probe](const std::vector<uint8_t>& m) { return m == probe; };
        case RaiseAt::SerialRequest: // a Get (2) of command 35
            return [](const std::vector<uint8_t>& m) { return m.size() > 6 && m[4] == 2 && m[5] == 35; };
        case RaiseAt::StatusRequest:
            return [](const std::vector<uint8_t>& m) { return hasKeyword(m, "GetFwStatus"); };
        case RaiseAt::InfoRequest:
            return [](const std::vector<uint8_t>& m) { return hasKeyword(m, "GetFwInfo"); };
        case RaiseAt::Block:
        {
            auto seen = std::make_shared<int>(0); // the amplifier's thread only
            const int block = c.block;
            return [seen, block](const std::vector<uint8_t>& m)
            { return hasKeyword(m, "WriteFlash") && (*seen)++ == block; };
        }
        case RaiseAt::ReopenBefore:
        case RaiseAt::ReopenAfter:
            break;
    }
    return nullptr;
}

class CommandLineInterruptionTest : public testing::TestWithParam<InterruptionCase>
{
};

// The reopen wait of the runs interrupted in one: long enough that a wait
// which is not cut short shows.
constexpr int longReopenWaitMs = 4000;

TEST_P(CommandLineInterruptionTest, StopsAtTheNextSafePointWithOneLine)
{
    const InterruptionCase& c = GetParam();
    Rig rig;
    auto amp = rig.addAmplifier<RaisingAmplifier>(false);
    amp->setSerialNumber("SN-0");
    amp->getBootloader().setStatus(c.startStatus);
    amp->signal = c.signal;
    amp->raiseOn = raisingRequest(c);
    amp->plug();

    const auto image = testImage();
    const juce::TemporaryFile temporaryFile(".bin");
    const juce::File file = temporaryFile.getFile();
    ASSERT_TRUE(file.replaceWithData(image.data(), image.size()));

    // A watcher raises the signal once the host has closed its ports for a
    // reopen wait.
    using Clock = std::chrono::steady_clock;
    const bool inAReopenWait = c.at == RaiseAt::ReopenBefore || c.at == RaiseAt::ReopenAfter;
    std::atomic<bool> raised{false};
    Clock::time_point raisedAt{};
    std::thread watcher;
    if (inAReopenWait)
    {
        const size_t writes = c.at == RaiseAt::ReopenBefore ? 1 : 2;
        watcher = std::thread(
            [&, writes]
            {
                if (!testsupport::waitUntil(
                        [&] {
                            return amp->getBootloader().getStatusWrites().size() == writes &&
                                   amp->getOpenInputCount() == 0;
                        },
                        30000))
                    return;
                raisedAt = Clock::now();
                raised = true;
                std::raise(c.signal);
            });
    }

    CountedSignals counted;
    StdoutCapture capture;
    const bool result =
        runCommandLineUpdate(file, inAReopenWait ? longReopenWaitMs : reopenWaitMs, replyTimeoutMs);
    const auto endedAt = Clock::now();
    const auto output = capture.finish();
    if (watcher.joinable())
        watcher.join();

    EXPECT_FALSE(result);
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(output.back(), c.lastLine);
    int updaterEnds = 0;
    for (const auto& line : output)
        updaterEnds += line.rfind("Firmware upgrade", 0) == 0 || line.rfind("Update interrupted", 0) == 0 ||
                               line.rfind("The amplifier did not come back", 0) == 0
                           ? 1
                           : 0;
    EXPECT_EQ(updaterEnds, 1) << "one line ends the run";
    EXPECT_EQ(uncaughtSignals.exchange(0), 0) << "the updater handles the signal while it runs";
    EXPECT_TRUE(CountedSignals::inPlace()) << "the handlers from before the run are back";
    if (inAReopenWait)
    {
        ASSERT_TRUE(raised.load());
        EXPECT_LT(endedAt - raisedAt, std::chrono::milliseconds(longReopenWaitMs / 2))
            << "the reopen wait ends early";
    }

    amp->settle();
    auto& bootloader = amp->getBootloader();
    EXPECT_EQ(keywordRequests(*amp, "GetFwStatus"), c.statusReads);
    EXPECT_EQ(bootloader.getStatusWrites(), c.statusWrites);
    EXPECT_EQ(bootloader.getBlockRequests(), c.blocks) << "the block in flight finished, no block after it";
    EXPECT_EQ(bootloader.getRefusedBlocks(), 0);
    const size_t written = std::min(image.size(), size_t(c.blocks) * 256);
    const auto flash = bootloader.getFlash();
    ASSERT_GE(flash.size(), written);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + long(written), flash.begin()));
    EXPECT_EQ(mv::DeviceManager::getInstance()->getCurrentDevice(), nullptr);
    EXPECT_EQ(amp->getOpenInputCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Phases, CommandLineInterruptionTest, testing::ValuesIn(interruptionCases()),
                         [](const testing::TestParamInfo<InterruptionCase>& info)
                         { return std::string(info.param.name); });

TEST(ReopenDeviceTest, NullDeviceIsRefused)
{
    EXPECT_FALSE(reopenDevice(nullptr, nullptr, nullptr));
}

} // namespace
