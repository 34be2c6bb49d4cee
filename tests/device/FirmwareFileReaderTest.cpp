// The firmware file reader: the bytes of a file read whole, or the one line
// that says why it is refused; the image pointer it hands them out through.
#include "device/FirmwareFileReader.h"
#include "tests/device/FirmwareFiles.h"
#include "tests/device/TestFirmwareImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace testing_device;
using Bytes = std::vector<uint8_t>;

namespace
{
const uint8_t inMemory[] = {1, 2, 3};
}

TEST(FirmwareFileReader, ReadsTheWholeFileAndHandsItOutUntilReleased)
{
    // Any byte string names a file: blanks and letters beyond ASCII too.
    const std::string path = tempPath("read firmware \xC3\xBC\xE2\x82\xAC.bin");
    const Bytes bytes = makeTestImage(3000, 5);
    writeFile(path, bytes);
    // A file shorter than an info block is read too: the image check decides.
    const std::string shortFile = tempPath("short.bin");
    writeFile(shortFile, Bytes(1000, 0x5A));

    const uint8_t* image = inMemory;
    {
        FirmwareFileReader reader(image);
        ASSERT_EQ(reader.read(path), "");
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(Bytes(image, image + reader.size()), bytes);

        ASSERT_EQ(reader.read(shortFile), "");
        EXPECT_EQ(Bytes(image, image + reader.size()), Bytes(1000, 0x5A));
        reader.release();
        EXPECT_EQ(image, nullptr);
        EXPECT_EQ(reader.size(), 0);

        ASSERT_EQ(reader.read(path), "");
        EXPECT_EQ(reader.size(), 3000);
    }
    EXPECT_EQ(image, nullptr) << "the reader's end releases the bytes";

    image = inMemory;
    {
        FirmwareFileReader unused(image);
        unused.release();
    }
    EXPECT_EQ(image, inMemory) << "a reader that read nothing leaves the image alone";
    std::remove(path.c_str());
    std::remove(shortFile.c_str());
}

TEST(FirmwareFileReader, RefusalsSayWhy)
{
    const RefusedFiles files;
    for (const RefusedFiles::Case& c : files.cases)
    {
        SCOPED_TRACE(c.path);
        const uint8_t* image = inMemory;
        FirmwareFileReader reader(image);
        EXPECT_EQ(reader.read(c.path), "Firmware file refused: '" + c.path + "' " + c.why);
        EXPECT_EQ(reader.size(), 0);
        reader.release();
        EXPECT_EQ(image, nullptr);
    }
}

// A file whose info block gives another length is refused before it is read:
// a long file is never loaded for nothing.
TEST(FirmwareFileReader, LengthAgainstTheInfoBlockIsCheckedFirst)
{
    struct Case
    {
        const char* name;
        Bytes file;
        std::string refused;
    };
    Bytes longer = makeTestImage(3000, 9);
    longer.resize(8000, 0);
    Bytes shorter = makeTestImage(3000, 9);
    shorter.resize(2000);
    const Case cases[] = {
        {"longer", longer,
         "Firmware image refused: its info block gives a firmware length of 750 words (3000 bytes), the "
         "image "
         "has 8000 bytes"},
        {"shorter", shorter,
         "Firmware image refused: its info block gives a firmware length of 750 words (3000 bytes), the "
         "image "
         "has 2000 bytes"},
        {"three bytes over, the same words", makeTestImage(3003, 9), ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = tempPath("length.bin");
        writeFile(path, c.file);
        const uint8_t* image = nullptr;
        FirmwareFileReader reader(image);
        EXPECT_EQ(reader.read(path), c.refused);
        EXPECT_EQ(reader.size(), c.refused.empty() ? int(c.file.size()) : 0);
        std::remove(path.c_str());
    }
}
