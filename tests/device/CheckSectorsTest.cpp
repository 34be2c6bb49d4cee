#include "device/FirmwareUpdateSession.h"
#include "tests/device/TestFirmwareImage.h"

#include <gtest/gtest.h>

#include <memory>

using namespace testing_device;

namespace
{

FirmwareInfoBlock infoOf(const std::vector<uint8_t>& image)
{
    FirmwareInfoBlock info;
    decodeFirmwareInfoBlock(image.data() + 0x400, 84, &info);
    return info;
}

// An exact-size heap copy, so a read past the end is caught by the sanitizers.
std::unique_ptr<uint8_t[]> exactCopy(const std::vector<uint8_t>& image)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[image.size()]);
    std::copy(image.begin(), image.end(), copy.get());
    return copy;
}

} // namespace

TEST(CheckSectors, TheImagesOwnBlockMatches)
{
    for (size_t size : {size_t(708859), size_t(4096), size_t(0x457)})
    {
        SCOPED_TRACE(size);
        const auto image = makeTestImage(size, unsigned(size));
        const auto exact = exactCopy(image);
        const FirmwareInfoBlock info = infoOf(image);
        FirmwareUpdateSession session;
        session.checkSectors(exact.get(), int64_t(size), &info);
        uint32_t first = 0;
        for (int k = 0; k < 8; ++k)
        {
            EXPECT_EQ(session.sectorTable[k].mismatch, 0u) << k;
            EXPECT_EQ(session.sectorTable[k].firstByte, first) << k;
            EXPECT_EQ(session.sectorTable[k].lastByte, first + 4 * info.sectors[k].length - 1) << k;
            first = session.sectorTable[k].lastByte + 1;
        }
    }
}

TEST(CheckSectors, MismatchesAreFlaggedAndEntryZeroHoldsTheTotal)
{
    const auto image = makeTestImage(8192, 11);
    FirmwareInfoBlock info = infoOf(image);
    FirmwareUpdateSession session;

    info.sectors[3].checksum += 1;
    session.checkSectors(image.data(), int64_t(image.size()), &info);
    EXPECT_EQ(session.sectorTable[3].mismatch, 1u);
    EXPECT_EQ(session.sectorTable[0].mismatch, 0u); // the total still matches

    info = infoOf(image);
    info.checksum += 1;
    session.checkSectors(image.data(), int64_t(image.size()), &info);
    EXPECT_EQ(session.sectorTable[0].mismatch, 1u);
    EXPECT_EQ(session.sectorTable[1].mismatch, 0u);
}

TEST(CheckSectors, DeviceLengthsNeverLeadOutsideTheImageOrTable)
{
    const auto image = makeTestImage(0x803, 12); // 3 trailing bytes
    const auto exact = exactCopy(image);
    struct Case
    {
        const char* name;
        uint32_t lengths[8];
    };
    const Case cases[] = {
        {"all huge",
         {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}},
        {"all zero", {0, 0, 0, 0, 0, 0, 0, 0}},
        {"tiny sectors, image goes on", {1, 1, 1, 1, 1, 1, 1, 1}},
        {"second sector beyond the image", {0x200, 0x40000000, 5, 5, 5, 5, 5, 5}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FirmwareInfoBlock info = infoOf(image);
        for (int k = 0; k < 8; ++k)
            info.sectors[k].length = c.lengths[k];
        FirmwareUpdateSession session;
        session.checkSectors(exact.get(), int64_t(image.size()), &info);
        EXPECT_EQ(session.sectorTable[0].mismatch, 0u); // the total ignores the sectors
    }

    // Sector 0 covers the whole image; later entries lie beyond it and keep 0.
    FirmwareInfoBlock info = infoOf(image);
    info.sectors[0].length = 0x200;
    info.sectors[0].checksum = info.checksum;
    for (int k = 1; k < 8; ++k)
        info.sectors[k] = FirmwareSectorInfo{4, 12345};
    FirmwareUpdateSession session;
    session.checkSectors(exact.get(), int64_t(image.size()), &info);
    for (int k = 1; k < 8; ++k)
        EXPECT_EQ(session.sectorTable[k].mismatch, 0u) << k;

    session.checkSectors(nullptr, 100, &info);
    session.checkSectors(exact.get(), int64_t(image.size()), nullptr);
    for (const auto& entry : session.sectorTable)
        EXPECT_EQ(entry.mismatch, 0u);
}
