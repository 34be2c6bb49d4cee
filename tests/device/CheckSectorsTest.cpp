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

// Every entry of the table for lengths a device might report. Offsets are
// u32 and wrap; sums close at a sector's last word or at the image's last
// whole word; entries wholly beyond the image keep 0; entry 0 holds the
// total's verdict, which the lengths never change. The three bytes after the
// last whole word and the fields after the table are never touched.
TEST(CheckSectors, DeviceLengthsNeverLeadOutsideTheImageOrTable)
{
    const auto image = makeTestImage(0x803, 12); // 0x200 words of 8 sectors of 0x40, 3 trailing bytes
    const auto exact = exactCopy(image);
    using Checksums = void (*)(FirmwareInfoBlock&, const std::vector<uint8_t>&);
    const Checksums imagesOwn = [](FirmwareInfoBlock&, const std::vector<uint8_t>&) {};
    struct Case
    {
        const char* name;
        uint32_t lengths[8];
        Checksums checksums;
        SectorCheckEntry expected[8];
    };
    const Case cases[] = {
        {"all huge: sector 0 takes the whole image",
         {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
         imagesOwn,
         {{0x00000000, 0xFFFFFFFB, 0},
          {0xFFFFFFFC, 0xFFFFFFF7, 0},
          {0xFFFFFFF8, 0xFFFFFFF3, 0},
          {0xFFFFFFF4, 0xFFFFFFEF, 0},
          {0xFFFFFFF0, 0xFFFFFFEB, 0},
          {0xFFFFFFEC, 0xFFFFFFE7, 0},
          {0xFFFFFFE8, 0xFFFFFFE3, 0},
          {0xFFFFFFE4, 0xFFFFFFDF, 0}}},
        {"all zero: empty sums against the image's sums",
         {0, 0, 0, 0, 0, 0, 0, 0},
         imagesOwn,
         {{0, 0xFFFFFFFF, 0},
          {0, 0xFFFFFFFF, 1},
          {0, 0xFFFFFFFF, 1},
          {0, 0xFFFFFFFF, 1},
          {0, 0xFFFFFFFF, 1},
          {0, 0xFFFFFFFF, 1},
          {0, 0xFFFFFFFF, 1},
          {0, 0xFFFFFFFF, 1}}},
        {"one word each, image goes on; odd sectors expect one more",
         {1, 1, 1, 1, 1, 1, 1, 1},
         [](FirmwareInfoBlock& info, const std::vector<uint8_t>& bytes)
         {
             for (size_t k = 0; k < 8; ++k)
                 info.sectors[k].checksum = getLe32(bytes, 4 * k) + uint32_t(k % 2);
         },
         {{0, 3, 0}, {4, 7, 1}, {8, 11, 0}, {12, 15, 1}, {16, 19, 0}, {20, 23, 1}, {24, 27, 0}, {28, 31, 1}}},
        {"second sector beyond the image and wrapping",
         {0x200, 0x40000000, 5, 5, 5, 5, 5, 5},
         imagesOwn,
         {{0x000, 0x7FF, 0},
          {0x800, 0x7FF, 0},
          {0x800, 0x813, 0},
          {0x814, 0x827, 0},
          {0x828, 0x83B, 0},
          {0x83C, 0x84F, 0},
          {0x850, 0x863, 0},
          {0x864, 0x877, 0}}},
        {"sector 0 the whole image, the others beyond with sums that would not match",
         {0x200, 4, 4, 4, 4, 4, 4, 4},
         [](FirmwareInfoBlock& info, const std::vector<uint8_t>&)
         {
             info.sectors[0].checksum = info.checksum;
             for (int k = 1; k < 8; ++k)
                 info.sectors[k].checksum = 12345;
         },
         {{0x000, 0x7FF, 0},
          {0x800, 0x80F, 0},
          {0x810, 0x81F, 0},
          {0x820, 0x82F, 0},
          {0x830, 0x83F, 0},
          {0x840, 0x84F, 0},
          {0x850, 0x85F, 0},
          {0x860, 0x86F, 0}}},
        {"last sector runs past the end and closes at the last whole word",
         {0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0xFFFFFFFF},
         [](FirmwareInfoBlock& info, const std::vector<uint8_t>&) { info.sectors[7].checksum += 1; },
         {{0x000, 0x0FF, 0},
          {0x100, 0x1FF, 0},
          {0x200, 0x2FF, 0},
          {0x300, 0x3FF, 0},
          {0x400, 0x4FF, 0},
          {0x500, 0x5FF, 0},
          {0x600, 0x6FF, 0},
          {0x700, 0x6FB, 1}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FirmwareInfoBlock info = infoOf(image);
        for (int k = 0; k < 8; ++k)
            info.sectors[k].length = c.lengths[k];
        c.checksums(info, image);
        FirmwareUpdateSession session;
        session.checkSectors(exact.get(), int64_t(image.size()), &info);
        for (int k = 0; k < 8; ++k)
        {
            EXPECT_EQ(session.sectorTable[k].firstByte, c.expected[k].firstByte) << k;
            EXPECT_EQ(session.sectorTable[k].lastByte, c.expected[k].lastByte) << k;
            EXPECT_EQ(session.sectorTable[k].mismatch, c.expected[k].mismatch) << k;
        }
        EXPECT_EQ(session.progressCallback, nullptr);
        EXPECT_EQ(session.progressUser, nullptr);
    }

    // Without a block nothing is filled in, also after an earlier check.
    FirmwareInfoBlock info = infoOf(image);
    FirmwareUpdateSession session;
    session.checkSectors(nullptr, 100, &info);
    session.checkSectors(exact.get(), int64_t(image.size()), nullptr);
    for (const auto& entry : session.sectorTable)
    {
        EXPECT_EQ(entry.firstByte, 0u);
        EXPECT_EQ(entry.lastByte, 0u);
        EXPECT_EQ(entry.mismatch, 0u);
    }
}
