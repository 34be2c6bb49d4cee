// The embedded firmware image and the generator that writes it, checked
// against the image format on their own terms: the info block is read and
// the sector walk redone here, without the device library.
#include "resources/BinaryData.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

constexpr uint32_t infoOffset = 0x400;
constexpr uint32_t infoEnd = 0x454;

uint32_t u32(const Bytes& b, size_t offset)
{
    return uint32_t(b[offset]) | uint32_t(b[offset + 1]) << 8 | uint32_t(b[offset + 2]) << 16 |
           uint32_t(b[offset + 3]) << 24;
}

struct Verdict
{
    bool totalMatches = false;
    uint32_t sectorWords = 0;
    int sectorMismatches = 0;
    int sectorsBeyondImage = 0;
};

// The bootloader's check: sectors tile the image from offset 0 by their word
// lengths; each whole word outside the info block adds to its sector's sum and
// to the total; a sector closes at its last word or at the image's last whole
// word.
Verdict verify(const Bytes& image)
{
    Verdict v;
    const size_t words = image.size() / 4;
    size_t word = 0;
    uint32_t total = 0;
    for (int k = 0; k < 8; ++k)
    {
        const uint32_t length = u32(image, infoOffset + 20 + 8 * k);
        const uint32_t expected = u32(image, infoOffset + 24 + 8 * k);
        v.sectorWords += length;
        if (word >= words)
        {
            ++v.sectorsBeyondImage;
            continue;
        }
        uint32_t sum = 0;
        for (size_t end = word + length; word < end && word < words; ++word)
        {
            const size_t offset = word * 4;
            if (offset >= infoOffset && offset < infoEnd)
                continue;
            sum += u32(image, offset);
        }
        total += sum;
        if (sum != expected)
            ++v.sectorMismatches;
    }
    for (; word < words; ++word)
        if (word * 4 < infoOffset || word * 4 >= infoEnd)
            total += u32(image, word * 4);
    v.totalMatches = total == u32(image, infoOffset + 16);
    return v;
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return in.good();
}

// Runs the generator; returns its exit status.
int generate(const std::string& output, const std::string& options)
{
    std::remove(output.c_str());
    const std::string command =
        std::string("'") + TOLVO_FIRMWARE_IMAGE_GENERATOR + "' '" + output + "' " + options + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string outputPath(const std::string& name)
{
    return std::string(TOLVO_TEST_OUTPUT_DIR) + "/" + name;
}

Bytes embeddedImage()
{
    const auto* data = reinterpret_cast<const uint8_t*>(BinaryData::K7APWithChecksum_bin);
    return Bytes(data, data + BinaryData::K7APWithChecksum_binSize);
}

} // namespace

TEST(EmbeddedFirmwareImage, HasItsSizeAndIsTheFileOnDisk)
{
    ASSERT_EQ(BinaryData::K7APWithChecksum_binSize, 708859);
    EXPECT_EQ(embeddedImage(), readFile(TOLVO_FIRMWARE_IMAGE_PATH));
}

TEST(EmbeddedFirmwareImage, InfoBlockDescribesTheImage)
{
    const Bytes image = embeddedImage();
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(image[infoOffset + i] >= 0x20 && image[infoOffset + i] < 0x7f) << "name byte " << i;
    EXPECT_EQ(u32(image, infoOffset + 12), 708859u / 4) << "length covers every whole word";

    const Verdict v = verify(image);
    EXPECT_TRUE(v.totalMatches);
    EXPECT_EQ(v.sectorMismatches, 0);
    EXPECT_EQ(v.sectorsBeyondImage, 0);
    EXPECT_EQ(v.sectorWords, 708859u / 4) << "the eight sectors tile the image";
}

TEST(EmbeddedFirmwareImage, VersionAtOffset0x408)
{
    const Bytes image = embeddedImage();
    const Bytes version(image.begin() + 0x408, image.begin() + 0x40c);
    EXPECT_EQ(version, (Bytes{1, 4, 2, 0}));
    EXPECT_EQ(Bytes(image.begin() + 0x404, image.begin() + 0x408), (Bytes{1, 0, 0, 3}))
        << "bootloader version";
}

TEST(EmbeddedFirmwareImage, CheckCatchesACorruptedWord)
{
    Bytes image = embeddedImage();
    image[0x20000] ^= 0x01; // inside sector 5
    const Verdict v = verify(image);
    EXPECT_FALSE(v.totalMatches);
    EXPECT_EQ(v.sectorMismatches, 1);

    // The info block's own words and the three trailing bytes are not summed.
    image = embeddedImage();
    image[708858] ^= 0xff;
    EXPECT_TRUE(verify(image).totalMatches);
}

TEST(FirmwareImageGenerator, DefaultsReproduceTheEmbeddedImage)
{
    const std::string path = outputPath("generated_default.bin");
    ASSERT_EQ(generate(path, ""), 0);
    EXPECT_EQ(readFile(path), embeddedImage());
}

TEST(FirmwareImageGenerator, OptionsGiveValidImages)
{
    struct Case
    {
        const char* options;
        uint32_t size;
        Bytes version;
        const char* name;
    };
    const Case cases[] = {
        {"--version 1.2.0.0", 708859, {1, 2, 0, 0}, "K7AP"},
        {"--size 65536 --version 0.9.255.7 --seed 7", 65536, {0, 9, 255, 7}, "K7AP"},
        {"--size 8961 --name T1XX", 8961, {1, 4, 2, 0}, "T1XX"},
        {"--size 393221 --seed 99 --bootloader 2.0.0.1", 393221, {1, 4, 2, 0}, "K7AP"},
        {"--size 1048576", 1048576, {1, 4, 2, 0}, "K7AP"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.options);
        const std::string path = outputPath("generated_case.bin");
        ASSERT_EQ(generate(path, c.options), 0);
        const Bytes image = readFile(path);
        ASSERT_EQ(image.size(), c.size);
        EXPECT_EQ(Bytes(image.begin() + 0x408, image.begin() + 0x40c), c.version);
        EXPECT_EQ(std::string(image.begin() + 0x400, image.begin() + 0x404), c.name);
        EXPECT_EQ(u32(image, infoOffset + 12), c.size / 4);
        const Verdict v = verify(image);
        EXPECT_TRUE(v.totalMatches);
        EXPECT_EQ(v.sectorMismatches, 0);
        EXPECT_EQ(v.sectorsBeyondImage, 0);
        EXPECT_EQ(v.sectorWords, c.size / 4);
    }
}

TEST(FirmwareImageGenerator, SeedChangesTheContentOnly)
{
    const std::string a = outputPath("generated_seed_a.bin");
    const std::string b = outputPath("generated_seed_b.bin");
    ASSERT_EQ(generate(a, "--size 20000 --seed 1"), 0);
    ASSERT_EQ(generate(b, "--size 20000 --seed 2"), 0);
    const Bytes imageA = readFile(a);
    const Bytes imageB = readFile(b);
    EXPECT_NE(imageA, imageB);
    EXPECT_EQ(Bytes(imageA.begin() + 0x400, imageA.begin() + 0x410),
              Bytes(imageB.begin() + 0x400, imageB.begin() + 0x410));
    ASSERT_EQ(generate(b, "--size 20000 --seed 1"), 0);
    EXPECT_EQ(readFile(b), imageA) << "same options, same bytes";
}

TEST(FirmwareImageGenerator, RefusesBadOptionsAndWritesNothing)
{
    const char* bad[] = {
        "--size 8959",         "--size 0",         "--size -5",
        "--size 268435456",    "--size",           "--version 1.2.3",
        "--version 1.2.3.256", "--version 1..2.3", "--version a.b.c.d",
        "--name ABC",          "--name ABCDE",     "--seed x",
        "--frobnicate",
    };
    const std::string path = outputPath("generated_bad.bin");
    for (const char* options : bad)
    {
        SCOPED_TRACE(options);
        EXPECT_NE(generate(path, options), 0);
        EXPECT_FALSE(fileExists(path));
    }
    EXPECT_NE(generate("/nonexistent-dir/image.bin", ""), 0);
}
