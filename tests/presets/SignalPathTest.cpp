#include "presets/SignalPath.h"

#include "TestBytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace mvhw;
using testbytes::hex;
using testbytes::parse;
using testbytes::toHex;

namespace
{

Json::Value presetWithItems(const Json::Value& items)
{
    Json::Value preset;
    preset["sigPath"]["blocks"]["items"] = items;
    return preset;
}

Json::Value item(const char* id, const Json::Value& params, bool active = true)
{
    Json::Value v;
    v["id"] = id;
    v["isActive"] = active;
    v["params"] = params;
    return v;
}

Json::Value param(int id, const Json::Value& value)
{
    Json::Value v;
    v["id"] = id;
    v["value"] = value;
    return v;
}

Json::Value reals(std::initializer_list<double> values, unsigned padTo = 0)
{
    Json::Value a(Json::arrayValue);
    for (double v : values)
        a.append(Json::Value(v));
    while (a.size() < padTo)
        a.append(Json::Value(0.0));
    return a;
}

// A read item as the reader builds it.
Json::Value readItem(const char* id, bool active, const Json::Value& params)
{
    Json::Value v;
    v["name"] = "Untitled";
    v["id"] = id;
    v["selected"] = "false";
    v["isActive"] = active;
    v["params"] = params;
    return v;
}

bool read(const std::vector<uint8_t>& bytes, Json::Value& preset, uint32_t* endOffset = nullptr)
{
    PresetReadCursor cursor{0, &bytes};
    const bool ok = readSignalPath(cursor, preset);
    if (endOffset != nullptr)
        *endOffset = cursor.offset;
    return ok;
}

const char* toneMatchingBytes = "01 00 00 00  27 01 02 00  01 00 00 00 00 00 00 3f"
                                "02 01 0c 00  00 00 80 3f 00 00 00 40 00 00 40 40";

Json::Value toneMatchingPreset()
{
    Json::Value params(Json::arrayValue);
    params.append(param(1, 0.5));
    params.append(param(2, parse("[1, 2, 3]")));
    Json::Value items(Json::arrayValue);
    items.append(item("mavo.toneMatching", params));
    return presetWithItems(items);
}

} // namespace

TEST(SignalPath, EmptyPathIsOneZeroWord)
{
    for (const char* text : {"{}", "null", R"({"sigPath": {}})", R"({"sigPath": {"blocks": {"items": []}}})",
                             R"({"sigPath": {"blocks": {"items": 7}}})"})
        EXPECT_EQ(toHex(writeSignalPath(parse(text))), "00 00 00 00") << text;

    Json::Value preset;
    EXPECT_TRUE(read(hex("00000000"), preset));
    EXPECT_EQ(preset, parse(R"({"sigPath": {"blocks": {"items": []}}})"));
}

TEST(SignalPath, ToneMatchingGoldenBytes)
{
    EXPECT_EQ(toHex(writeSignalPath(toneMatchingPreset())), toHex(hex(toneMatchingBytes)));

    Json::Value preset;
    uint32_t end = 0;
    ASSERT_TRUE(read(hex(toneMatchingBytes), preset, &end));
    EXPECT_EQ(end, 32u);
    Json::Value params(Json::arrayValue);
    params.append(param(1, Json::Value(0.5)));
    params.append(param(2, reals({1, 2, 3}, 2048)));
    Json::Value items(Json::arrayValue);
    items.append(readItem("mavo.toneMatching", true, params));
    EXPECT_EQ(preset, presetWithItems(items));
}

TEST(SignalPath, WriterSkipRules)
{
    Json::Value params255(Json::arrayValue);
    Json::Value params256(Json::arrayValue);
    for (int i = 0; i < 256; ++i)
    {
        if (i < 255)
            params255.append(param(i, 1));
        params256.append(param(i, 1));
    }
    Json::Value noValue(Json::arrayValue);
    noValue.append(parse(R"({"id": 1})"));
    noValue.append(parse(R"({"value": 1})"));
    noValue.append(param(300, 2));

    Json::Value items(Json::arrayValue);
    items.append(item("mavo.unknown", parse("[]")));                    // not written
    items.append(parse(R"({"isActive": true, "params": []})"));         // no id
    items.append(parse(R"({"id": "mavo.reverb", "params": []})"));      // no isActive
    items.append(parse(R"({"id": "mavo.reverb", "isActive": false})")); // no params
    items.append(item("mavo.cab", params256));                          // too many params
    items.append(item("mavo.reverb", noValue, false));                  // 1 of 3 params written
    items.append(item("mavo.eq2", parse("[]")));                        // counts with none
    const std::vector<uint8_t> bytes = writeSignalPath(presetWithItems(items));
    EXPECT_EQ(toHex(bytes), toHex(hex("02000000  2c 00 01 00  2c 00 00 00 00 00 00 40  05 01 00 00")));

    Json::Value only255(Json::arrayValue);
    only255.append(item("mavo.cab", params255));
    const std::vector<uint8_t> full = writeSignalPath(presetWithItems(only255));
    ASSERT_EQ(full.size(), 4u + 4u + 255u * 8u);
    EXPECT_EQ(toHex({full.begin(), full.begin() + 8}), "01 00 00 00 0e 01 ff 00");
}

TEST(SignalPath, WriterValues)
{
    Json::Value longArray(Json::arrayValue);
    for (int i = 0; i < 600; ++i)
        longArray.append(i);
    Json::Value params(Json::arrayValue);
    params.append(param(1, true));
    params.append(param(2, "text"));
    params.append(param(3, Json::Value()));
    params.append(param(4, parse(R"({"a": 1, "b": 2})"))); // object: flag 0, length 8, one 0.0
    params.append(param(5, parse(R"([true, "x", null, -1.5, [2]])")));
    params.append(param(6, parse("[]")));
    params.append(param(7, 16777217)); // integer rounded to float32
    params.append(param(8, Json::Value(uint64_t(1) << 40)));
    params.append(param(9, longArray));
    Json::Value items(Json::arrayValue);
    items.append(item("mavo.chorusMod", params));
    const std::vector<uint8_t> bytes = writeSignalPath(presetWithItems(items));

    std::vector<uint8_t> expected = hex("01000000 22 01 09 00"
                                        "01 00 00 00 00000000"
                                        "02 00 00 00 00000000"
                                        "03 00 00 00 00000000"
                                        "04 00 08 00 00000000"
                                        "05 01 14 00 00000000 00000000 00000000 0000c0bf 00000000"
                                        "06 01 00 00"
                                        "07 00 00 00 0000804b"
                                        "08 00 00 00 00008053"
                                        "09 01 00 08");
    for (int i = 0; i < 512; ++i)
    {
        const float f = float(i);
        uint32_t w = 0;
        std::memcpy(&w, &f, 4);
        testbytes::appendWord(expected, w);
    }
    EXPECT_EQ(toHex(bytes), toHex(expected));
}

TEST(SignalPath, WriterLetsJsoncppErrorsPass)
{
    const char* cases[] = {
        R"([1])",
        R"({"sigPath": 3})",
        R"({"sigPath": {"blocks": []}})",
        R"({"sigPath": {"blocks": {"items": {"a": 1}}}})",
        R"({"sigPath": {"blocks": {"items": [3]}}})",
        R"({"sigPath": {"blocks": {"items": [{"id": ["x"], "isActive": true, "params": []}]}}})",
        R"({"sigPath": {"blocks": {"items": [{"id": "mavo.cab", "isActive": "yes", "params": []}]}}})",
        R"({"sigPath": {"blocks": {"items": [{"id": "mavo.cab", "isActive": true, "params": {"a": 1}}]}}})",
        R"({"sigPath": {"blocks": {"items": [{"id": "mavo.cab", "isActive": true, "params": [{"id": -1, "value": 1}]}]}}})",
        R"({"sigPath": {"blocks": {"items": [{"id": "mavo.cab", "isActive": true, "params": [{"id": "1", "value": 1}]}]}}})",
    };
    for (const char* text : cases)
        EXPECT_THROW(writeSignalPath(parse(text)), Json::LogicError) << text;
}

TEST(SignalPath, ReaderCountsAndFlags)
{
    for (const char* count : {"00000000", "ffffffff", "f8ffffff", "00000080"})
    {
        Json::Value preset;
        EXPECT_TRUE(read(hex(count), preset)) << count;
        EXPECT_EQ(preset["sigPath"]["blocks"]["items"], Json::Value(Json::arrayValue));
    }

    // Flag 2 reads a scalar (its length is ignored); module 31 is unknown and
    // dropped, the next item still reads; byte 3 is not looked at.
    Json::Value preset = parse(R"({"sigPath": {"other": 1, "blocks": {"x": 2, "items": [1, 2, 3]}}})");
    ASSERT_TRUE(read(hex("02000000"
                         "1f 01 01 00  07 01 04 00 0000803f"
                         "2c 00 01 ff  09 02 30 00 0000803f"),
                     preset));
    Json::Value params(Json::arrayValue);
    params.append(param(9, Json::Value(1.0)));
    Json::Value items(Json::arrayValue);
    items.append(readItem("mavo.reverb", false, params));
    Json::Value expected = parse(R"({"sigPath": {"other": 1, "blocks": {"x": 2}}})");
    expected["sigPath"]["blocks"]["items"] = items;
    EXPECT_EQ(preset, expected);

    // Module 17 reads back as its identifier, an empty array stays empty.
    Json::Value eq;
    ASSERT_TRUE(read(hex("01000000 11 01 01 00 00 01 00 00"), eq));
    Json::Value eqParams(Json::arrayValue);
    eqParams.append(param(0, Json::Value(Json::arrayValue)));
    Json::Value eqItems(Json::arrayValue);
    eqItems.append(readItem("mavo.eq1", true, eqParams));
    EXPECT_EQ(eq, presetWithItems(eqItems));
}

TEST(SignalPath, ReaderRefusesBadArrayLengthAndKeepsItems)
{
    for (const char* bytes : {"01000000 2c 01 01 00 00 01 06 00 00000000 0000", // length 6
                              "01000000 2c 01 01 00 00 01 fc ff 00000000"})     // 16383 values, 1 there
    {
        Json::Value preset = parse(R"({"sigPath": {"blocks": {"items": ["keep"]}}})");
        EXPECT_FALSE(read(hex(bytes), preset)) << bytes;
        EXPECT_EQ(preset, parse(R"({"sigPath": {"blocks": {"items": ["keep"]}}})"));
    }
    Json::Value preset = parse("[1]");
    EXPECT_THROW(read(hex("00000000"), preset), Json::LogicError);
    preset = parse(R"({"sigPath": {"blocks": 5}})");
    EXPECT_THROW(read(hex("00000000"), preset), Json::LogicError);
}

TEST(SignalPath, RefusedReadLeavesTheDocumentAsItWas)
{
    // 17 tone-matching items of one empty array each: one past the limit.
    std::vector<uint8_t> tooManyToneArrays = hex("11000000");
    for (unsigned i = 0; i <= maxToneMatchingArrays; ++i)
    {
        const std::vector<uint8_t> item = hex("27 01 01 00  00 01 00 00");
        tooManyToneArrays.insert(tooManyToneArrays.end(), item.begin(), item.end());
    }
    const std::vector<uint8_t> refused[] = {
        {},
        hex("000000"),
        hex("01000000"),                                       // no item header
        hex("01000000 2c 01 02 00 03 00 00 00 0000c03f"),      // the second parameter missing
        hex("01000000 2c 01 01 00 00 01 06 00 00000000 0000"), // array length 6
        hex("01000000 2c 01 01 00 00 01 fc ff 00000000"),      // 16383 values, 1 there
        hex("ffffff7f 2c 01 00 00"),                           // count past the data
        tooManyToneArrays,
    };
    const char* documents[] = {
        "null",
        "{}",
        R"({"other": 1})",
        R"({"sigPath": null})",
        R"({"sigPath": {}})",
        R"({"sigPath": {"x": 1, "blocks": null}})",
        R"({"sigPath": {"x": 1, "blocks": {}}})",
        R"({"sigPath": {"blocks": {"items": ["keep"], "y": 2}}})",
    };
    for (const char* text : documents)
    {
        const Json::Value before = parse(text);
        for (const std::vector<uint8_t>& bytes : refused)
        {
            Json::Value preset = before;
            EXPECT_FALSE(read(bytes, preset)) << toHex(bytes);
            EXPECT_EQ(preset, before) << text << " after " << toHex(bytes);
        }
        std::vector<uint8_t> valid = hex("00000000");
        Json::Value preset = before;
        PresetReadCursor past{8, &valid};
        EXPECT_FALSE(readSignalPath(past, preset));
        PresetReadCursor none{0, nullptr};
        EXPECT_FALSE(readSignalPath(none, preset));
        EXPECT_EQ(preset, before) << text;
    }

    // Members of the wrong kind throw before anything is read.
    for (const char* text : {"[1]", "7", R"({"sigPath": 3})", R"({"sigPath": []})",
                             R"({"sigPath": {"blocks": 5}})", R"({"sigPath": {"blocks": ["a"]}})"})
    {
        const std::vector<uint8_t> bytes = hex("00000000");
        PresetReadCursor cursor{0, &bytes};
        Json::Value preset = parse(text);
        EXPECT_THROW(readSignalPath(cursor, preset), Json::LogicError) << text;
        EXPECT_EQ(preset, parse(text)) << text;
        EXPECT_EQ(cursor.offset, 0u) << text;
    }
}

TEST(SignalPath, ReaderTruncationTable)
{
    std::vector<uint8_t> valid = hex(toneMatchingBytes);
    const std::vector<uint8_t> more = hex("2c 01 02 00  03 00 00 00 0000c03f  04 01 04 00 0000803f");
    valid.insert(valid.end(), more.begin(), more.end());
    valid[0] = 2;
    Json::Value whole;
    ASSERT_TRUE(read(valid, whole));
    ASSERT_EQ(whole["sigPath"]["blocks"]["items"].size(), 2u);

    for (size_t length = 0; length < valid.size(); ++length)
    {
        const std::vector<uint8_t> prefix(valid.begin(), valid.begin() + long(length));
        Json::Value preset = parse(R"({"sigPath": {"blocks": {"items": ["keep"]}}})");
        EXPECT_FALSE(read(prefix, preset)) << length;
        EXPECT_EQ(preset["sigPath"]["blocks"]["items"], parse(R"(["keep"])")) << length;
    }

    // Counts and lengths far past the data.
    const char* huge[] = {
        "ffffff7f 2c 01 00 00",                      // item count 0x7FFFFFFF
        "01000000 2c 01 ff 00 01 00 00 00 00000000", // 255 params, one there
        "01000000 2c 01 01 00 01 01 fc ff",          // array of 16383 values, none there
        "01000000 27 01 01 00 01 01 f8 ff 00000000", // tone matching, 0xFFF8 bytes
    };
    for (const char* bytes : huge)
    {
        Json::Value preset;
        EXPECT_FALSE(read(hex(bytes), preset)) << bytes;
    }

    // A cursor that already stands at or past the end, or has no buffer.
    Json::Value preset;
    PresetReadCursor past{100, &valid};
    EXPECT_FALSE(readSignalPath(past, preset));
    PresetReadCursor none{0, nullptr};
    EXPECT_FALSE(readSignalPath(none, preset));
}

TEST(SignalPath, ReadFloatArray)
{
    const std::vector<uint8_t> bytes = hex("0000803f 00000040");
    PresetReadCursor cursor{0, &bytes};
    EXPECT_EQ(readFloatArray(cursor, 14, 2), reals({1, 2}));
    EXPECT_EQ(cursor.offset, 8u);
    cursor.offset = 4;
    EXPECT_TRUE(readFloatArray(cursor, 39, 2).isNull());
    EXPECT_EQ(cursor.offset, 4u);
    EXPECT_EQ(readFloatArray(cursor, 39, 1), reals({2}, 2048));
    EXPECT_EQ(readFloatArray(cursor, 39, 0), reals({}, 2048));
    EXPECT_EQ(readFloatArray(cursor, 14, 0), reals({}));
}

TEST(SignalPath, JsonRoundTripOnCanonicalPreset)
{
    // Canonical: what the reader produces, with arrays the writer keeps whole.
    Json::Value items(Json::arrayValue);
    Json::Value p1(Json::arrayValue);
    p1.append(param(0, Json::Value(0.25)));
    p1.append(param(1, Json::Value(-3.0)));
    p1.append(param(255, Json::Value(1e-3f)));
    items.append(readItem("mavo.preamp", true, p1));
    Json::Value p2(Json::arrayValue);
    std::initializer_list<double> tone = {0.5, 1.5, -2.0};
    p2.append(param(4, reals(tone, 2048)));
    Json::Value big(Json::arrayValue);
    for (int i = 0; i < 2048; ++i)
        big.append(Json::Value(i < 512 ? double(float(i) / 7.0f) : 0.0));
    p2.append(param(5, big));
    items.append(readItem("mavo.toneMatching", false, p2));
    items.append(readItem("mavo.reverb", true, Json::Value(Json::arrayValue)));
    Json::Value p3(Json::arrayValue);
    Json::Value small(Json::arrayValue);
    small.append(Json::Value(7.0));
    p3.append(param(12, small));
    items.append(readItem("mavo.cab2celestion", true, p3));
    const Json::Value preset = presetWithItems(items);

    // Tone-matching arrays are cut to 512 values on writing and padded to
    // 2048 on reading, so canonical ones carry zeros past the first 512.
    const std::vector<uint8_t> bytes = writeSignalPath(preset);
    Json::Value back;
    ASSERT_TRUE(read(bytes, back));
    EXPECT_EQ(back, preset) << back.toStyledString();
    EXPECT_EQ(writeSignalPath(back), bytes);
}

TEST(SignalPath, PackedRoundTripOnCanonicalBytes)
{
    // Canonical: known modules numbered as moduleIdToNumber numbers them,
    // flags 0 and 1, scalar lengths 0, tone-matching arrays of 512 values.
    std::vector<uint8_t> bytes = hex("04000000"
                                     "00 01 02 00 00 00 00 00 0000803f 07 01 08 00 0000c03f 000020c1"
                                     "18 00 00 00"
                                     "0e 01 01 00 03 00 00 00 0000a0c0"
                                     "27 01 01 00 01 01 00 08");
    for (int i = 0; i < 512; ++i)
        testbytes::appendWord(bytes, i == 0 ? 0x3f000000u : 0u);
    Json::Value preset;
    uint32_t end = 0;
    ASSERT_TRUE(read(bytes, preset, &end));
    EXPECT_EQ(end, bytes.size());
    EXPECT_EQ(toHex(writeSignalPath(preset)), toHex(bytes));
}

TEST(SignalPath, ReaderRefusesPathsThatPadBeyondTheLimit)
{
    // A path of items items of the module, each holding arrays empty arrays.
    const auto path = [](uint32_t items, uint32_t arrays, uint32_t module = 39)
    {
        std::vector<uint8_t> bytes;
        testbytes::appendWord(bytes, items);
        for (uint32_t i = 0; i < items; ++i)
        {
            testbytes::appendWord(bytes, module | 1u << 8 | arrays << 16);
            for (uint32_t p = 0; p < arrays; ++p)
                testbytes::appendWord(bytes, p | 1u << 8);
        }
        return bytes;
    };
    const struct
    {
        std::vector<uint8_t> bytes;
        bool ok;
    } cases[] = {
        {path(1, maxToneMatchingArrays), true},
        {path(4, maxToneMatchingArrays / 4), true},
        {path(1, maxToneMatchingArrays + 1), false},
        {path(maxToneMatchingArrays + 1, 1), false},
        // About 1 KB that would pad to 522,240 values, and 16 KB to 8.4 million.
        {path(1, 255), false},
        {path(16, 255), false},
        // Arrays of other modules are not padded and not limited.
        {path(16, 255, 14), true},
    };
    for (const auto& c : cases)
    {
        Json::Value preset = parse(R"({"sigPath": {"blocks": {"items": ["keep"]}}})");
        EXPECT_EQ(read(c.bytes, preset), c.ok) << c.bytes.size();
        if (!c.ok)
        {
            EXPECT_EQ(preset["sigPath"]["blocks"]["items"], parse(R"(["keep"])")) << c.bytes.size();
        }
    }

    // What the limit lets through is padded as before.
    Json::Value preset;
    ASSERT_TRUE(read(path(2, maxToneMatchingArrays / 2), preset));
    for (const Json::Value& item : preset["sigPath"]["blocks"]["items"])
    {
        for (const Json::Value& p : item["params"])
            EXPECT_EQ(p["value"].size(), toneMatchingArrayValues);
    }
}
