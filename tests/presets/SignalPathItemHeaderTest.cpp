#include "presets/SignalPathItemHeader.h"

#include <gtest/gtest.h>

using namespace mvhw;

TEST(SignalPathItemHeader, WordBytes)
{
    // Byte 3 is not read, and written back as 0.
    const struct
    {
        uint32_t word;
        uint8_t moduleNumber;
        uint8_t active;
        uint8_t paramCount;
        uint32_t written;
    } cases[] = {
        {0x00020127, 0x27, 1, 2, 0x00020127},
        {0xFFFF022C, 0x2C, 2, 0xFF, 0x00FF022C},
        {0x01000000, 0, 0, 0, 0},
    };
    for (const auto& c : cases)
    {
        const SignalPathItemHeader header = SignalPathItemHeader::fromWord(c.word);
        EXPECT_EQ(header.moduleNumber, c.moduleNumber) << c.word;
        EXPECT_EQ(header.active, c.active) << c.word;
        EXPECT_EQ(header.paramCount, c.paramCount) << c.word;
        EXPECT_EQ(header.toWord(), c.written) << c.word;
    }
}
