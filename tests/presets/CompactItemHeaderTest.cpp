#include "presets/CompactItemHeader.h"

#include <gtest/gtest.h>

using namespace mvhw;

TEST(CompactItemHeader, WordBytes)
{
    const CompactItemHeader header = CompactItemHeader::fromWord(0x01020327);
    EXPECT_EQ(header.moduleNumber, 0x27);
    EXPECT_EQ(header.active, 3);
    EXPECT_EQ(header.paramCount, 2);
    EXPECT_EQ(header.arrayFlag, 1);
    EXPECT_EQ(header.toWord(), 0x01020327u);
}

TEST(CompactItemHeader, LayoutRules)
{
    // Offsets and sizes in bytes from the item's start; sizes for an array of
    // 8 bytes.
    const struct
    {
        CompactItemHeader header;
        unsigned scalars;
        bool arrayFirst;
        unsigned arrayIndex;
        uint64_t lengthOffset;
        uint64_t bytes;
        bool withinLimit;
    } cases[] = {
        // General: scalars, then the array.
        {{25, 1, 2, 1}, 1, false, 1, 8, 20, true},
        {{44, 1, 3, 0}, 3, false, 3, 16, 16, true},
        // The array flag with a count of 0 still holds the array.
        {{14, 1, 0, 1}, 0, false, 0, 4, 16, true},
        {{39, 1, 0, 1}, 0, true, 0, 4, 16, true},
        // Tone matching keeps its array first, but only with the flag set.
        {{39, 1, 3, 1}, 2, true, 0, 4, 24, true},
        {{39, 1, 2, 0}, 2, false, 2, 12, 12, true},
        // Any non-zero flag is an array.
        {{25, 1, 2, 2}, 1, false, 1, 8, 20, true},
        // At most 100 tone-matching scalars; other modules have no limit.
        {{39, 1, 100, 0}, 100, false, 100, 404, 404, true},
        {{39, 1, 101, 0}, 101, false, 101, 408, 408, false},
        {{39, 1, 101, 1}, 100, true, 0, 4, 416, true},
        {{39, 1, 102, 1}, 101, true, 0, 4, 420, false},
        {{44, 1, 255, 0}, 255, false, 255, 1024, 1024, true},
    };
    for (const auto& c : cases)
    {
        const CompactItemHeader& h = c.header;
        const std::string what = std::to_string(h.toWord());
        EXPECT_EQ(h.scalarCount(), c.scalars) << what;
        EXPECT_EQ(h.arrayFirst(), c.arrayFirst) << what;
        EXPECT_EQ(h.arrayIndex(), c.arrayIndex) << what;
        EXPECT_EQ(h.arrayLengthOffset(), c.lengthOffset) << what;
        EXPECT_EQ(h.itemBytes(8), c.bytes) << what;
        EXPECT_EQ(h.scalarsWithinLimit(), c.withinLimit) << what;
    }
    // An array holds length / 4 values, and the item ends after them; the
    // largest length word does not wrap the size.
    const struct
    {
        uint32_t length;
        uint32_t values;
    } lengths[] = {{0, 0}, {3, 0}, {4, 1}, {6, 1}, {7, 1}, {8, 2}, {2048, 512}, {UINT32_MAX, 0x3FFFFFFF}};
    for (const auto& l : lengths)
    {
        EXPECT_EQ(CompactItemHeader::arrayValueCount(l.length), l.values) << l.length;
        EXPECT_EQ((CompactItemHeader{25, 1, 2, 1}.itemBytes(l.length)), 12 + 4 * uint64_t(l.values))
            << l.length;
        EXPECT_EQ((CompactItemHeader{25, 1, 2, 0}.itemBytes(l.length)), 12u) << l.length;
    }
}
