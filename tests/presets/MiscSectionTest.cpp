#include "presets/MiscSection.h"

#include "TestBytes.h"

#include <gtest/gtest.h>

#include <json/writer.h>

using namespace mvhw;
using testbytes::hex;
using testbytes::parse;
using testbytes::toHex;

namespace
{

const char* abcSection = "01000000 8bf30000 07000000 03000000 616263 00";

std::string styled(const Json::Value& value)
{
    Json::StyledWriter writer;
    return writer.write(value);
}

std::string toJson(const std::vector<uint8_t>& bytes)
{
    return miscSectionToJson(bytes.data(), 0, uint32_t(bytes.size()));
}

} // namespace

TEST(MiscSection, Names)
{
    EXPECT_STREQ(miscSectionName(), "misc");
    EXPECT_STREQ(irloaderSectionName(), "irloader");
}

TEST(MiscSection, GoldenBytesBothWays)
{
    const std::string text = R"({"name": "p", "sigPath": {"misc": {"irloader": {"value": "abc", "x": 1}}}})";
    EXPECT_EQ(toHex(jsonToMiscSection(text)), toHex(hex(abcSection)));

    const std::string json = toJson(hex(abcSection));
    EXPECT_EQ(json, "{\n   \"sigPath\" : {\n      \"misc\" : {\n         \"irloader\" : {\n"
                    "            \"value\" : \"abc\"\n         }\n      }\n   }\n}\n");
    EXPECT_EQ(parse(json), parse(R"({"sigPath": {"misc": {"irloader": {"value": "abc"}}}})"));

    // Offset and length select the section inside a larger buffer.
    std::vector<uint8_t> framed = hex("ee ee ee");
    const std::vector<uint8_t> section = hex(abcSection);
    framed.insert(framed.end(), section.begin(), section.end());
    framed.push_back(0xEE);
    EXPECT_EQ(miscSectionToJson(framed.data(), 3, uint32_t(section.size())), json);
}

TEST(MiscSection, EmptyValueWritesARecordAndReadsAsNothing)
{
    const std::vector<uint8_t> bytes =
        jsonToMiscSection(R"({"sigPath": {"misc": {"irloader": {"value": ""}}}})");
    EXPECT_EQ(toHex(bytes), toHex(hex("01000000 8bf30000 04000000 00000000")));
    EXPECT_EQ(toJson(bytes), "null\n");
}

TEST(MiscSection, PresetsWithoutIrLoaderTextGiveNoBytes)
{
    const char* cases[] = {
        "{}",
        "null",
        "[1, 2]", // no object: find refuses it, the entry point returns empty
        R"({"sigPath": 5})",
        R"({"sigPath": {}})",
        R"({"sigPath": {"misc": [1]}})",
        R"({"sigPath": {"misc": {}}})",
        R"({"sigPath": {"misc": {"irloader": "abc"}}})",
        R"({"sigPath": {"misc": {"irloader": {}}}})",
        R"({"sigPath": {"misc": {"irloader": {"value": 3}}}})",
        R"({"sigPath": {"misc": {"irloader": {"value": null}}}})",
        "not json",
        "{\"sigPath\": ",
        "",
    };
    for (const char* text : cases)
        EXPECT_TRUE(jsonToMiscSection(text).empty()) << text;
}

TEST(MiscSection, RecordContainerReading)
{
    const struct
    {
        const char* bytes;
        const char* json; // nullptr: refused
    } cases[] = {
        {"", "null\n"}, // an empty section: what a misc section without text writes
        {"00000000", "null\n"},
        // A foreign record first, then the IR loader record.
        {"02000000 01000000 03000000 aabbcc 8bf30000 06000000 02000000 6869 00",
         R"({"sigPath": {"misc": {"irloader": {"value": "hi"}}}})"},
        // The IR loader record first; the foreign one after it is skipped.
        {"02000000 8bf30000 06000000 02000000 6869 8af30300 01000000 ff 00",
         R"({"sigPath": {"misc": {"irloader": {"value": "hi"}}}})"},
        // A record longer than the text it holds: the reader goes on at its end.
        {"01000000 8bf30000 08000000 02000000 6869 eeee",
         R"({"sigPath": {"misc": {"irloader": {"value": "hi"}}}})"},
        // Padding is never read, so missing padding is fine.
        {"01000000 8bf30000 07000000 03000000 616263",
         R"({"sigPath": {"misc": {"irloader": {"value": "abc"}}}})"},
        // Text bytes are taken as they are, NUL included.
        {"01000000 8bf30000 06000000 02000000 6100",
         R"({"sigPath": {"misc": {"irloader": {"value": "a\u0000"}}}})"},
        // Refused: counts and lengths past the data, IR text past its record.
        {"010000", nullptr},
        {"01000000", nullptr},
        {"02000000 8bf30000 06000000 02000000 6869", nullptr},
        {"ffffff7f 8bf30000 06000000 02000000 6869", nullptr},
        {"ffffffff", nullptr},
        {"01000000 8bf30000 ffffffff 02000000 6869", nullptr},
        {"01000000 8bf30000 f8ffffff 02000000 6869", nullptr},
        {"01000000 8bf30000 ffffff7f 02000000 6869", nullptr},
        {"01000000 01000000 f8ffffff 02000000 6869", nullptr}, // foreign record cannot wrap back
        {"01000000 8bf30000 04000000 ffffff7f 6869", nullptr},
        {"01000000 8bf30000 06000000 ffffffff 6869", nullptr},
        {"01000000 8bf30000 06000000 f8ffffff 6869", nullptr},
        {"01000000 8bf30000 05000000 02000000 6869", nullptr}, // text one byte past its record
        {"01000000 8bf30000 03000000 02000000 6869", nullptr}, // record too short for the count
    };
    for (const auto& c : cases)
    {
        const std::string json = toJson(hex(c.bytes));
        if (c.json == nullptr)
            EXPECT_EQ(json, "") << c.bytes;
        else if (std::string(c.json) == "null\n")
            EXPECT_EQ(json, "null\n") << c.bytes;
        else
            EXPECT_EQ(json, styled(parse(c.json))) << c.bytes;
    }
}

TEST(MiscSection, NullData)
{
    EXPECT_EQ(miscSectionToJson(nullptr, 0, 4), "");
    EXPECT_EQ(miscSectionToJson(nullptr, 8, 1), "");
    EXPECT_EQ(miscSectionToJson(nullptr, 0, 0), "null\n");
}

TEST(MiscSection, TruncationTable)
{
    const std::vector<uint8_t> valid =
        hex("02000000 01000000 03000000 aabbcc 8bf30000 07000000 03000000 616263 00 00");
    const size_t recordsEnd = valid.size() - 2;
    const std::string whole = toJson(valid);
    ASSERT_EQ(whole, styled(parse(R"({"sigPath": {"misc": {"irloader": {"value": "abc"}}}})")));
    for (size_t length = 0; length <= valid.size(); ++length)
    {
        const std::string json = miscSectionToJson(valid.data(), 0, uint32_t(length));
        if (length == 0)
            EXPECT_EQ(json, "null\n");
        else if (length < recordsEnd)
            EXPECT_EQ(json, "") << length;
        else
            EXPECT_EQ(json, whole) << length;
    }
}

TEST(MiscSection, RoundTrips)
{
    for (const char* value :
         {"abc", "", "{\"wavFileName\":\"room.wav\",\"wavBitDepth\":24}", "\xC3\xA9t\xC3\xA9"})
    {
        Json::Value preset;
        preset["sigPath"]["misc"]["irloader"]["value"] = value;
        const std::vector<uint8_t> bytes = jsonToMiscSection(styled(preset));
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(bytes.size() % 4, 0u);
        const std::string json = toJson(bytes);
        if (*value == '\0')
        {
            EXPECT_EQ(json, "null\n");
            continue;
        }
        EXPECT_EQ(json, styled(preset)) << value;
        EXPECT_EQ(jsonToMiscSection(json), bytes);
    }
}
