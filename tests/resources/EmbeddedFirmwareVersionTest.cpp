// The embedded image's version word, checked against the image file on disk
// that the build embeds.
#include "resources/EmbeddedFirmwareVersion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace
{

std::vector<uint8_t> readImageFile()
{
    std::ifstream in(TOLVO_FIRMWARE_IMAGE_PATH, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(EmbeddedFirmwareVersion, IsTheFourBytesAtOffset0x408)
{
    const std::vector<uint8_t> image = readImageFile();
    ASSERT_GE(image.size(), 0x40cu);
    const std::vector<uint8_t> expected(image.begin() + 0x408, image.begin() + 0x40c);

    uint32_t version = 0xA5A5A5A5u;
    ASSERT_TRUE(getEmbeddedFirmwareVersion(&version));
    std::vector<uint8_t> copied(4);
    std::memcpy(copied.data(), &version, 4);
    EXPECT_EQ(copied, expected);
}

TEST(EmbeddedFirmwareVersion, NullOutIsRefused)
{
    EXPECT_FALSE(getEmbeddedFirmwareVersion(nullptr));
}
