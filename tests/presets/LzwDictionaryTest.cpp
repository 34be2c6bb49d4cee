// The dictionary model: single symbols after construction and reset, and
// strings rebuilt from their prefix links.
#include "presets/LzwDictionary.h"

#include <gtest/gtest.h>

using namespace mvhw;

TEST(LzwDictionary, StringsFollowPrefixLinksAndResetKeepsSingles)
{
    LzwDictionary dictionary(8, 3);
    EXPECT_EQ(dictionary.firstFreeCode, 4u);
    EXPECT_EQ(dictionary.nextCode, 4u);
    // 4 = symbols 0 1, 5 = 0 1 2, 6 = 2 0.
    dictionary.entries[4] = LzwEntry{0, -1, -1, -1, 1};
    dictionary.entries[5] = LzwEntry{4, -1, -1, -1, 2};
    dictionary.entries[6] = LzwEntry{2, -1, -1, -1, 0};
    dictionary.entries[0].firstChild = 4;
    dictionary.nextCode = 7;
    const struct
    {
        int32_t code;
        std::vector<uint8_t> lastFirst;
    } cases[] = {{-1, {}}, {2, {2}}, {3, {3}}, {4, {1, 0}}, {5, {2, 1, 0}}, {6, {0, 2}}};
    for (const auto& c : cases)
    {
        dictionary.getString(c.code);
        EXPECT_EQ(dictionary.scratch, c.lastFirst) << c.code;
    }

    dictionary.reset();
    EXPECT_EQ(dictionary.nextCode, 4u);
    for (int32_t code = 0; code < 4; ++code)
    {
        const LzwEntry& entry = dictionary.entries[size_t(code)];
        EXPECT_EQ(entry.prefix, -1);
        EXPECT_EQ(entry.firstChild, -1);
        EXPECT_EQ(entry.symbol, code);
    }

    // Fewer entries than single symbols, and the end code of a full
    // alphabet past the byte range.
    EXPECT_EQ(LzwDictionary(2, 5).entries.size(), 2u);
    const LzwDictionary full(300, 256);
    EXPECT_EQ(full.entries[255].symbol, 255);
    EXPECT_EQ(full.entries[256].symbol, 0);
}
