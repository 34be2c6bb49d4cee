#include "presets/CompactItem.h"

#include "TestBytes.h"

#include "presets/PresetReadCursor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

using namespace mvhw;
using testbytes::floatWord;
using testbytes::parse;
using testbytes::toHex;

namespace
{

// Byte 0 module number, 1 active flag, 2 parameter count, 3 array flag.
uint32_t header(uint32_t module, uint32_t active, uint32_t count, uint32_t arrayFlag)
{
    return module | active << 8 | count << 16 | arrayFlag << 24;
}

std::vector<uint8_t> words(std::initializer_list<uint32_t> list)
{
    std::vector<uint8_t> out;
    for (uint32_t w : list)
        testbytes::appendWord(out, w);
    return out;
}

std::vector<uint8_t> prefix(const std::vector<uint8_t>& bytes, size_t length)
{
    return {bytes.begin(), bytes.begin() + long(length)};
}

// The noise gate of the format's example: 0.25, then the array [1, 2].
const std::vector<uint8_t> noiseGateBytes =
    words({header(25, 1, 2, 1), floatWord(0.25f), 8, floatWord(1.0f), floatWord(2.0f)});
const char* noiseGateJson =
    R"({"id": "mavo.noisegate", "isActive": true, "params": [{"id": 5, "value": 0.25}, {"id": 6, "value": [1, 2]}]})";
const char* noiseGateRead =
    R"({"name": "Untitled", "id": "mavo.noisegate", "selected": "false", "isActive": true,
    "params": [{"id": 0, "value": 0.25}, {"id": 1, "value": [1.0, 2.0]}]})";

// Tone matching, array first: ids 0 (array), 1 and 100 are written as the
// array, then 100, then 1.
const std::vector<uint8_t> toneMatchingBytes =
    words({header(39, 1, 3, 1), 12, floatWord(0.5f), floatWord(-1.0f), floatWord(3.0f), floatWord(0.75f),
           floatWord(-0.125f)});
const char* toneMatchingJson = R"({"id": "mavo.toneMatching", "isActive": true, "params": [
    {"id": 0, "value": [0.5, -1, 3]}, {"id": 1, "value": -0.125}, {"id": 100, "value": 0.75}]})";
const char* toneMatchingParamsRead =
    R"([{"id": 0, "value": [0.5, -1.0, 3.0]}, {"id": 100, "value": 0.75}, {"id": 1, "value": -0.125}])";

struct WriteResult
{
    bool ok;
    uint32_t offset;
    std::vector<uint8_t> buffer;
};

// Writes into a buffer of size bytes filled with 0xEE, at the given offset.
WriteResult write(const Json::Value& item, size_t size, uint32_t offset = 0)
{
    WriteResult r{false, offset, std::vector<uint8_t>(size, 0xEE)};
    r.ok = writeCompactItem(r.buffer.data(), r.buffer.size(), item, r.offset);
    return r;
}

std::vector<uint8_t> writeExact(const Json::Value& item)
{
    WriteResult r = write(item, 16384);
    EXPECT_TRUE(r.ok);
    r.buffer.resize(r.offset);
    return r.buffer;
}

Json::Value read(const std::vector<uint8_t>& bytes, uint32_t& offset)
{
    return readCompactItem(bytes.data(), bytes.size(), offset);
}

Json::Value paramList(std::initializer_list<const char*> ids)
{
    Json::Value out(Json::arrayValue);
    for (const char* id : ids)
        out.append(parse(id));
    return out;
}

} // namespace

TEST(CompactItem, GoldenVectors)
{
    EXPECT_EQ(toHex(writeExact(parse(noiseGateJson))), toHex(noiseGateBytes));
    uint32_t offset = 0;
    EXPECT_EQ(read(noiseGateBytes, offset), parse(noiseGateRead));
    EXPECT_EQ(offset, 20u);

    EXPECT_EQ(toHex(writeExact(parse(toneMatchingJson))), toHex(toneMatchingBytes));
    offset = 4;
    EXPECT_EQ(readToneMatchingParams(toneMatchingBytes.data(), toneMatchingBytes.size(), offset, 3),
              parse(toneMatchingParamsRead));
    EXPECT_EQ(offset, toneMatchingBytes.size());

    // The item reader takes the array-first order of tone matching too.
    offset = 0;
    Json::Value expected = parse(R"({"name": "Untitled", "id": "mavo.toneMatching", "selected": "false",
                                     "isActive": true})");
    expected["params"] = parse(toneMatchingParamsRead);
    EXPECT_EQ(read(toneMatchingBytes, offset), expected);
    EXPECT_EQ(offset, toneMatchingBytes.size());
}

TEST(CompactItem, WriterValues)
{
    Json::Value longArray(Json::arrayValue);
    for (int i = 0; i < 600; ++i)
        longArray.append(i);
    Json::Value params =
        paramList({R"({"id": 0, "value": 16777217})", R"({"id": 1, "value": -2.5})",
                   R"({"id": 2, "value": true})", R"({"id": 3, "value": null})", R"({"id": 4, "value": "x"})",
                   R"({"id": 5, "value": {"a": 1}})", R"({"id": 6})", R"({"value": 9})"});
    Json::Value last(Json::objectValue);
    last["id"] = 7;
    last["value"] = longArray;
    params.append(last);
    Json::Value item = parse(R"({"id": "mavo.reverb", "isActive": false})");
    item["params"] = params;

    std::vector<uint8_t> expected =
        words({header(44, 0, 7, 1), floatWord(16777216.0f), floatWord(-2.5f), 0, 0, 0, 0, 2048});
    for (int i = 0; i < 512; ++i)
        testbytes::appendWord(expected, floatWord(float(i)));
    EXPECT_EQ(toHex(writeExact(item)), toHex(expected));

    // Array elements that are no numbers write 0.0 in their places; an
    // empty array writes its zero length.
    EXPECT_EQ(toHex(writeExact(parse(R"({"id": "mavo.cab", "isActive": 1, "params": [
                  {"id": 0, "value": ["x", null, 1.5, [2]]}]})"))),
              toHex(words({header(14, 1, 1, 1), 16, 0, 0, floatWord(1.5f), 0})));
    EXPECT_EQ(toHex(writeExact(
                  parse(R"({"id": "mavo.cab", "isActive": true, "params": [{"id": 0, "value": []}]})"))),
              toHex(words({header(14, 1, 1, 1), 0})));
    EXPECT_EQ(toHex(writeExact(parse(R"({"id": "mavo.eq1", "isActive": true, "params": []})"))),
              toHex(words({header(4, 1, 0, 0)})));
}

TEST(CompactItem, WriterRefusals)
{
    Json::Value params256(Json::arrayValue);
    for (int i = 0; i < 256; ++i)
        params256.append(parse(R"({"id": 1, "value": 1})"));
    Json::Value tooMany = parse(R"({"id": "mavo.cab", "isActive": true})");
    tooMany["params"] = params256;
    Json::Value exactly255 = tooMany;
    exactly255["params"].resize(255);

    const struct
    {
        Json::Value item;
        bool ok;
        uint32_t offsetAfter;
    } cases[] = {
        {parse(R"({"isActive": true, "params": []})"), false, 8},
        {parse(R"({"id": "mavo.cab", "params": []})"), false, 8},
        {parse(R"({"id": "mavo.cab", "isActive": true})"), false, 8},
        {parse("null"), false, 8},
        // An unknown identifier steps over the header word it would have used.
        {parse(R"({"id": "mavo.unknown", "isActive": true, "params": []})"), false, 12},
        {tooMany, false, 8},
        {exactly255, true, 8 + 4 + 255 * 4},
        {parse(
             R"({"id": "mavo.cab", "isActive": true, "params": [{"id": 0, "value": [1]}, {"id": 1, "value": [2]}]})"),
         false, 8},
        {parse(
             R"({"id": "mavo.cab", "isActive": true, "params": [{"id": 0, "value": [1]}, {"id": 1, "value": 2}]})"),
         false, 8},
        // Parameters that are not written do not count for the array's place.
        {parse(
             R"({"id": "mavo.cab", "isActive": true, "params": [{"id": 1, "value": 2}, {"id": 0, "value": [1]},
                  {"id": 2}]})"),
         true, 8 + 16},
        // Tone matching wants its array first once id 100 is in place.
        {parse(R"({"id": "mavo.toneMatching", "isActive": true, "params": [{"id": 1, "value": 2},
                  {"id": 0, "value": [1]}]})"),
         false, 8},
        {parse(R"({"id": "mavo.toneMatching", "isActive": true, "params": [{"id": 100, "value": 2},
                  {"id": 0, "value": [1]}]})"),
         true, 8 + 16},
        {parse(R"({"id": "mavo.toneMatching", "isActive": true, "params": [{"id": 0, "value": [1]},
                  {"id": 2, "value": [1]}]})"),
         false, 8},
    };
    for (const auto& c : cases)
    {
        const WriteResult r = write(c.item, 8 + 4 + 255 * 4, 8);
        EXPECT_EQ(r.ok, c.ok) << c.item.toStyledString();
        EXPECT_EQ(r.offset, c.offsetAfter) << c.item.toStyledString();
        if (!r.ok)
        {
            EXPECT_EQ(r.buffer, std::vector<uint8_t>(r.buffer.size(), 0xEE)) << c.item.toStyledString();
        }
    }

    // The unknown identifier's header word must fit to be stepped over, and
    // a null buffer writes nothing.
    const Json::Value unknown = parse(R"({"id": "mavo.unknown", "isActive": true, "params": []})");
    EXPECT_EQ(write(unknown, 11, 8).offset, 8u);
    EXPECT_EQ(write(unknown, 12, 8).offset, 12u);
    uint32_t offset = 0;
    EXPECT_FALSE(writeCompactItem(nullptr, 100, parse(noiseGateJson), offset));
    EXPECT_EQ(offset, 0u);
}

TEST(CompactItem, WriterBufferExactAndOneShort)
{
    for (const char* text : {noiseGateJson, toneMatchingJson})
    {
        const Json::Value item = parse(text);
        const size_t length = writeExact(item).size();
        for (uint32_t at : {0u, 3u, 100u})
        {
            const WriteResult fits = write(item, at + length, at);
            EXPECT_TRUE(fits.ok) << at;
            EXPECT_EQ(fits.offset, at + length);
            const WriteResult shortBy1 = write(item, at + length - 1, at);
            EXPECT_FALSE(shortBy1.ok) << at;
            EXPECT_EQ(shortBy1.offset, at);
            EXPECT_EQ(shortBy1.buffer, std::vector<uint8_t>(at + length - 1, 0xEE));
        }
        // An offset past the end.
        EXPECT_FALSE(write(item, 10, 40).ok);
        EXPECT_EQ(write(item, 10, 40).offset, 40u);
    }
}

TEST(CompactItem, WriterLetsJsoncppErrorsPassAndLeavesBufferAlone)
{
    const char* cases[] = {
        R"([1])",
        R"({"id": ["x"], "isActive": true, "params": []})",
        R"({"id": "mavo.cab", "isActive": "yes", "params": []})",
        R"({"id": "mavo.cab", "isActive": true, "params": {"a": 1}})",
        R"({"id": "mavo.cab", "isActive": true, "params": [{"id": 0, "value": 1}, 5]})",
        R"({"id": "mavo.toneMatching", "isActive": true, "params": [{"id": 0, "value": [1]}, "x"]})",
        R"({"id": "mavo.toneMatching", "isActive": true, "params": [{"id": [100], "value": 1}]})",
    };
    for (const char* text : cases)
    {
        std::vector<uint8_t> buffer(64, 0xEE);
        uint32_t offset = 4;
        EXPECT_THROW(writeCompactItem(buffer.data(), buffer.size(), parse(text), offset), Json::LogicError)
            << text;
        EXPECT_EQ(offset, 4u) << text;
        EXPECT_EQ(buffer, std::vector<uint8_t>(64, 0xEE)) << text;
    }
}

TEST(CompactItem, ReorderToneMatchingParams)
{
    const struct
    {
        const char* in;
        const char* out;
    } cases[] = {
        {R"([{"id": 0}, {"id": 1}, {"id": 2}, {"id": 100}])",
         R"([{"id": 0}, {"id": 100}, {"id": 1}, {"id": 2}])"},
        {R"([{"id": 100}, {"id": 0}, {"id": 1}])", R"([{"id": 0}, {"id": 100}, {"id": 1}])"},
        {R"([{"id": 0}, {"id": 100}, {"id": 1}])", R"([{"id": 0}, {"id": 100}, {"id": 1}])"},
        {R"([{"id": 100}])", R"([{"id": 100}])"},
        {R"([{"id": 3}, {"id": 4}])", R"([{"id": 3}, {"id": 4}])"},
        {R"([])", R"([])"},
        {"null", "null"},
        // A missing id counts as 0; only the first id 100 moves.
        {R"([{"value": 1}, {"id": 2}, {"id": 100, "value": 1}, {"id": 100, "value": 2}])",
         R"([{"value": 1}, {"id": 100, "value": 1}, {"id": 2}, {"id": 100, "value": 2}])"},
        {R"([null, {"id": 100.9}])", R"([null, {"id": 100.9}])"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(reorderToneMatchingParams(parse(c.in)), parse(c.out)) << c.in;
    EXPECT_THROW(reorderToneMatchingParams(parse(R"([5, {"id": 100}])")), Json::LogicError);
    EXPECT_THROW(reorderToneMatchingParams(parse(R"([{"id": "100"}])")), Json::LogicError);
}

TEST(CompactItem, ReaderShapes)
{
    // Array flag with a count of 0: no scalars, then the array; a length of
    // 6 reads one value and leaves the offset after it.
    const std::vector<uint8_t> zeroCount = words({header(14, 0, 0, 1), 6, floatWord(4.0f), 0xEEEE});
    uint32_t offset = 0;
    EXPECT_EQ(read(zeroCount, offset)["params"], parse(R"([{"id": 0, "value": [4.0]}])"));
    EXPECT_EQ(offset, 12u);

    // Tone matching without an array reads as a general module; an active
    // flag of 2 is true; module 17 reads back as its identifier.
    const std::vector<uint8_t> plain = words({header(39, 2, 2, 0), floatWord(1.0f), floatWord(2.0f)});
    offset = 0;
    EXPECT_EQ(read(plain, offset),
              parse(R"({"name": "Untitled", "id": "mavo.toneMatching", "selected": "false",
        "isActive": true, "params": [{"id": 0, "value": 1.0}, {"id": 1, "value": 2.0}]})"));
    const std::vector<uint8_t> eq = words({header(17, 0, 0, 0)});
    offset = 0;
    EXPECT_EQ(read(eq, offset)["id"], Json::Value("mavo.eq1"));

    // Tone matching with the array flag and a count of 0 reads the array.
    const std::vector<uint8_t> toneZero = words({header(39, 1, 0, 1), 4, floatWord(8.0f)});
    offset = 0;
    EXPECT_EQ(read(toneZero, offset)["params"], parse(R"([{"id": 0, "value": [8.0]}])"));
    EXPECT_EQ(offset, 12u);

    // An unknown module number gives null with the offset after the header.
    const std::vector<uint8_t> unknown = words({header(31, 1, 1, 0), floatWord(1.0f)});
    offset = 0;
    EXPECT_TRUE(read(unknown, offset).isNull());
    EXPECT_EQ(offset, 4u);

    offset = 0;
    EXPECT_TRUE(readCompactItem(nullptr, 100, offset).isNull());
    EXPECT_TRUE(readToneMatchingParams(nullptr, 100, offset, 1).isNull());
    for (int count : {0, -1, INT_MIN})
        EXPECT_TRUE(readToneMatchingParams(toneMatchingBytes.data(), toneMatchingBytes.size(), offset, count)
                        .isNull());
    EXPECT_EQ(offset, 0u);
}

TEST(CompactItem, ReaderTruncationAndLengthTable)
{
    // Every prefix of a valid item reads as null, the offset unchanged.
    for (const std::vector<uint8_t>* bytes : {&noiseGateBytes, &toneMatchingBytes})
    {
        for (size_t length = 0; length < bytes->size(); ++length)
        {
            const std::vector<uint8_t> cut = prefix(*bytes, length);
            uint32_t offset = 0;
            EXPECT_TRUE(read(cut, offset).isNull()) << length;
            EXPECT_EQ(offset, 0u) << length;
        }
    }
    const std::vector<uint8_t> toneParams(toneMatchingBytes.begin() + 4, toneMatchingBytes.end());
    for (size_t length = 0; length < toneParams.size(); ++length)
    {
        const std::vector<uint8_t> cut = prefix(toneParams, length);
        uint32_t offset = 0;
        EXPECT_TRUE(readToneMatchingParams(cut.data(), cut.size(), offset, 3).isNull()) << length;
        EXPECT_EQ(offset, 0u) << length;
    }

    // Lengths beyond the bytes after them, those with the top bit set
    // included, and counts beyond the data.
    for (uint32_t length : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF8u, 0xFFFFFFFFu, 12u})
    {
        const std::vector<uint8_t> general = words({header(25, 1, 1, 1), length, 0, 0});
        const std::vector<uint8_t> tone = words({length, 0, 0});
        uint32_t offset = 0;
        EXPECT_TRUE(read(general, offset).isNull()) << length;
        EXPECT_TRUE(readToneMatchingParams(tone.data(), tone.size(), offset, 1).isNull()) << length;
        EXPECT_EQ(offset, 0u);
    }
    const std::vector<uint8_t> tone = words({4, 0, 0, 0});
    uint32_t offset = 0;
    EXPECT_TRUE(readToneMatchingParams(tone.data(), tone.size(), offset, INT_MAX).isNull());
    EXPECT_FALSE(readToneMatchingParams(tone.data(), tone.size(), offset, 3).isNull());
    EXPECT_EQ(offset, 16u);
    // A length that is no multiple of 4 needs only the values it holds: 6
    // bytes are one value, 10 bytes two.
    offset = 0;
    const std::vector<uint8_t> six = words({header(14, 0, 1, 1), 6, floatWord(1.0f)});
    EXPECT_EQ(read(six, offset)["params"], parse(R"([{"id": 0, "value": [1.0]}])"));
    EXPECT_EQ(offset, 12u);
    offset = 0;
    const std::vector<uint8_t> tenShort = words({header(14, 0, 1, 1), 10, floatWord(1.0f)});
    EXPECT_TRUE(read(tenShort, offset).isNull());
    EXPECT_EQ(offset, 0u);
}

namespace
{

// An item of module with the given scalars 0.0, 1.0, ..., behind an array
// [0.5] when withArray; tone matching keeps that array first.
std::vector<uint8_t> scalarItem(uint32_t module, bool withArray, uint32_t scalars, uint32_t active = 1)
{
    std::vector<uint8_t> out =
        words({header(module, active, scalars + (withArray ? 1 : 0), withArray ? 1 : 0)});
    std::vector<uint8_t> array = words({4, floatWord(0.5f)});
    if (withArray && module == 39)
        out.insert(out.end(), array.begin(), array.end());
    for (uint32_t i = 0; i < scalars; ++i)
        testbytes::appendWord(out, floatWord(float(i)));
    if (withArray && module != 39)
        out.insert(out.end(), array.begin(), array.end());
    return out;
}

} // namespace

TEST(CompactItem, ToneMatchingHoldsAtMost100Scalars)
{
    // One more tone-matching scalar would read as a second id 100, or as an
    // id 100 that writing moves onto id 1. The first row is 27 00 65 00 and
    // the 101 values 0.0 ... 100.0.
    const struct
    {
        std::vector<uint8_t> bytes;
        bool reads;
    } cases[] = {
        {scalarItem(39, false, 101, 0), false},
        {scalarItem(39, false, 255), false},
        {scalarItem(39, false, maxToneMatchingScalars), true},
        {scalarItem(39, true, 101), false},
        {scalarItem(39, true, 254), false},
        {scalarItem(39, true, maxToneMatchingScalars), true},
        // Other modules have no id 100 of their own.
        {scalarItem(44, false, 255), true},
        {scalarItem(44, true, 254), true},
    };
    for (const auto& c : cases)
    {
        const std::string what = toHex(prefix(c.bytes, 4));
        uint32_t offset = 0;
        const Json::Value item = read(c.bytes, offset);
        ASSERT_EQ(!item.isNull(), c.reads) << what;
        if (!c.reads)
        {
            EXPECT_EQ(offset, 0u) << what;
            // Nor is its JSON form written.
            Json::Value params(Json::arrayValue);
            for (unsigned i = 0; i < c.bytes[2]; ++i)
                params.append(parse(i == 0 && c.bytes[3] == 1 ? R"({"id": 0, "value": [1]})"
                                                              : R"({"id": 7, "value": 1})"));
            Json::Value json = parse(R"({"id": "mavo.toneMatching", "isActive": true})");
            json["params"] = params;
            const WriteResult r = write(json, 2048);
            EXPECT_FALSE(r.ok) << what;
            EXPECT_EQ(r.offset, 0u) << what;
            EXPECT_EQ(r.buffer, std::vector<uint8_t>(2048, 0xEE)) << what;
            continue;
        }
        // Read, written and read again, the item and its bytes stay the same.
        EXPECT_EQ(offset, c.bytes.size()) << what;
        const std::vector<uint8_t> written = writeExact(item);
        EXPECT_EQ(toHex(written), toHex(c.bytes)) << what;
        offset = 0;
        EXPECT_EQ(read(written, offset), item) << what;
    }

    // The parameter reader on its own: the array and at most 100 scalars.
    for (const uint32_t scalars : {100u, 101u, 254u})
    {
        const std::vector<uint8_t> bytes = scalarItem(39, true, scalars);
        uint32_t offset = 4;
        const Json::Value params =
            readToneMatchingParams(bytes.data(), bytes.size(), offset, int(scalars + 1));
        EXPECT_EQ(params.isNull(), scalars > maxToneMatchingScalars) << scalars;
        EXPECT_EQ(offset, params.isNull() ? 4u : bytes.size()) << scalars;
    }
}

TEST(CompactItem, JsonRoundTripOnCanonicalItems)
{
    // Canonical: what the readers produce. Reals at float32 precision,
    // scalar ids 0..n-1 and the array last; tone matching with its array
    // first and ids 0, 100, 1, 2.
    const char* items[] = {
        noiseGateRead,
        R"({"name": "Untitled", "id": "mavo.crunchpreamp", "selected": "false", "isActive": false,
            "params": [{"id": 0, "value": 0.375}, {"id": 1, "value": -7.0}, {"id": 2, "value": 1e-3}]})",
        R"({"name": "Untitled", "id": "mavo.toneMatching", "selected": "false", "isActive": true,
            "params": [{"id": 0, "value": [0.5, 0.25]}, {"id": 100, "value": 1.0}, {"id": 1, "value": 2.0},
                       {"id": 2, "value": 3.0}]})",
        R"({"name": "Untitled", "id": "mavo.reverb", "selected": "false", "isActive": true, "params": []})",
        R"({"name": "Untitled", "id": "mavo.cab", "selected": "false", "isActive": true,
            "params": [{"id": 0, "value": []}]})",
    };
    std::vector<uint8_t> buffer(512);
    uint32_t writeOffset = 0;
    std::vector<Json::Value> canonical;
    for (const char* text : items)
    {
        Json::Value item = parse(text);
        // 1e-3 held at float32 precision.
        if (item["id"] == "mavo.crunchpreamp")
            item["params"][2]["value"] = double(1e-3f);
        canonical.push_back(item);
        ASSERT_TRUE(writeCompactItem(buffer.data(), buffer.size(), item, writeOffset)) << text;
    }
    uint32_t readOffset = 0;
    for (const Json::Value& item : canonical)
        EXPECT_EQ(read(buffer, readOffset), item) << item.toStyledString();
    EXPECT_EQ(readOffset, writeOffset);
}

TEST(CompactItem, PackedRoundTripOnCanonicalBytes)
{
    // Canonical: known modules as moduleIdToNumber numbers them, flags 0 and
    // 1, lengths that are multiples of 4.
    std::vector<uint8_t> bytes = noiseGateBytes;
    for (const std::vector<uint8_t>& more :
         {toneMatchingBytes, words({header(0, 0, 3, 0), floatWord(1.0f), floatWord(-1.0f), floatWord(0.5f)}),
          words({header(39, 1, 1, 1), 0}), words({header(48, 1, 0, 0)})})
        bytes.insert(bytes.end(), more.begin(), more.end());

    std::vector<uint8_t> again(bytes.size());
    uint32_t readOffset = 0;
    uint32_t writeOffset = 0;
    while (readOffset < bytes.size())
    {
        const Json::Value item = read(bytes, readOffset);
        ASSERT_FALSE(item.isNull()) << readOffset;
        ASSERT_TRUE(writeCompactItem(again.data(), again.size(), item, writeOffset)) << item.toStyledString();
        EXPECT_EQ(writeOffset, readOffset);
    }
    EXPECT_EQ(toHex(again), toHex(bytes));
}

namespace
{

// A packed preset: A bytes, B bytes, the skipped word, the count, the items.
std::vector<uint8_t> packedPreset(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int32_t count,
                                  const std::vector<uint8_t>& items)
{
    std::vector<uint8_t> out = words({uint32_t(a.size())});
    out.insert(out.end(), a.begin(), a.end());
    testbytes::appendWord(out, uint32_t(b.size()));
    out.insert(out.end(), b.begin(), b.end());
    testbytes::appendWord(out, 0xDDDDDDDD);
    testbytes::appendWord(out, uint32_t(count));
    out.insert(out.end(), items.begin(), items.end());
    return out;
}

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Each item hides a preamp (2) and a power-amp (10) header inside its values,
// so a walk that steps wrongly finds them.
const std::vector<uint8_t> cabWithArray =
    words({header(14, 1, 2, 1), header(2, 1, 0, 0), 8, header(10, 1, 0, 0), header(2, 1, 0, 0)});
const std::vector<uint8_t> toneWithArray =
    words({header(39, 1, 2, 1), 8, header(2, 1, 0, 0), header(10, 1, 0, 0), header(2, 1, 0, 0)});
const std::vector<uint8_t> reverbScalars =
    words({header(44, 1, 2, 0), header(2, 1, 0, 0), header(10, 1, 0, 0)});

// What the walkers look for, by readCompactItem: the first of the wanted
// modules among the items read one after another, or the fallback when an
// item does not read or none matches.
int findByReader(const std::vector<uint8_t>& preset, std::initializer_list<int> wanted, int fallback)
{
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t count = 0;
    if (!wordAt(preset.data(), preset.size(), 0, a) ||
        !wordAt(preset.data(), preset.size(), 4 + uint64_t(a), b) ||
        !wordAt(preset.data(), preset.size(), 12 + uint64_t(a) + b, count) ||
        16 + uint64_t(a) + b > UINT32_MAX)
        return fallback;
    uint32_t offset = uint32_t(16 + a + b);
    for (int32_t i = 0; i < int32_t(count); ++i)
    {
        const uint32_t at = offset;
        if (read(preset, offset).isNull())
            return fallback;
        const int module = preset[at];
        if (std::find(wanted.begin(), wanted.end(), module) != wanted.end())
            return module;
    }
    return fallback;
}

} // namespace

TEST(CompactItem, Walkers)
{
    const std::vector<uint8_t> crunchPreamp = words({header(1, 1, 1, 0), 0});
    const std::vector<uint8_t> bluesPower = words({header(47, 1, 0, 0)});
    const struct
    {
        std::vector<uint8_t> preset;
        int preamp;
        int powerAmp;
    } cases[] = {
        {{}, 0, 8},
        {packedPreset({}, {}, 2, join({reverbScalars, crunchPreamp})), 1, 8},
        {packedPreset(words({1, 2}), words({3}), 4,
                      join({cabWithArray, toneWithArray, bluesPower, crunchPreamp})),
         1, 47},
        {packedPreset({1, 2, 3}, {}, 3, join({toneWithArray, reverbScalars, cabWithArray})), 0, 8},
        // The count decides how many items are walked.
        {packedPreset({}, {}, 1, join({reverbScalars, crunchPreamp})), 0, 8},
        {packedPreset({}, {}, 0, crunchPreamp), 0, 8},
        {packedPreset({}, {}, -1, crunchPreamp), 0, 8},
        {packedPreset({}, {}, INT32_MAX, join({reverbScalars, bluesPower})), 0, 47},
        // Tone matching with its array flag and a count of 0 holds the array
        // all the same, as the reader takes it; each hides a header in it.
        {packedPreset({}, {}, 4,
                      join({words({header(39, 1, 0, 1), 4, header(10, 1, 0, 0)}),
                            words({header(39, 1, 0, 1), 4, header(2, 1, 0, 0)}), bluesPower, crunchPreamp})),
         1, 47},
        // So does a general item, whose length word then follows its header.
        {packedPreset({}, {}, 3,
                      join({words({header(14, 1, 0, 1), 4, header(10, 1, 0, 0)}), crunchPreamp, bluesPower})),
         1, 47},
        {packedPreset({}, {}, 1, words({header(3, 0, 0, 0)})), 3, 8},
        {packedPreset({}, {}, 1, words({header(11, 0, 0, 0)})), 0, 11},
        // An array length of 6 holds one value, and its item ends after it.
        // Stepping all 6 bytes would land on the next header's count, 10, a
        // power amp's number.
        {packedPreset({}, {}, 4,
                      join({words({header(14, 1, 1, 1), 6, floatWord(1.0f)}), scalarItem(44, false, 10),
                            crunchPreamp, bluesPower})),
         1, 47},
        // The same for tone matching, length first: 7 bytes, one value, then
        // a scalar.
        {packedPreset({}, {}, 4,
                      join({words({header(39, 1, 2, 1), 7, floatWord(1.0f), floatWord(2.0f)}),
                            scalarItem(44, false, 10), crunchPreamp, bluesPower})),
         1, 47},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
    {
        EXPECT_EQ(findPreampModule(cases[i].preset), cases[i].preamp) << i;
        EXPECT_EQ(findPowerAmpModule(cases[i].preset), cases[i].powerAmp) << i;
        // The walkers step over each item as the reader reads it.
        EXPECT_EQ(findByReader(cases[i].preset, {0, 1, 2, 3, 45, 46}, 0), cases[i].preamp) << i;
        EXPECT_EQ(findByReader(cases[i].preset, {8, 9, 10, 11, 47, 48}, 8), cases[i].powerAmp) << i;
    }
}

TEST(CompactItem, WalkersOnCutAndWrappingPresets)
{
    // Every prefix short of the match gives the default.
    const std::vector<uint8_t> preset =
        packedPreset(words({7}), words({8, 9}), 4,
                     join({cabWithArray, toneWithArray, reverbScalars, words({header(46, 1, 1, 0), 0})}));
    ASSERT_EQ(findPreampModule(preset), 46);
    for (size_t length = 0; length + 8 <= preset.size(); ++length)
        EXPECT_EQ(findPreampModule(prefix(preset, length)), 0) << length;

    // Lengths that wrap 32-bit positions back onto a fake preamp header.
    const std::vector<uint8_t> wraps[] = {
        // 4 + A and 12 + A + B wrap to 0 and 4; items at 8 in 32 bits.
        words({0xFFFFFFFC, 1, header(2, 1, 0, 0)}),
        // A general item whose length steps back 8 bytes onto the skipped word.
        join({words({0, 0, header(3, 1, 0, 0), 2}), words({header(14, 1, 1, 1), 0xFFFFFFF0})}),
        // A step of 0 in 32 bits, which would walk the same item for ever.
        join({words({0, 0, 0, 0x7FFFFFFF}), words({header(14, 1, 1, 1), 0xFFFFFFF8})}),
        // The same for a tone-matching item.
        join({words({0, 0, header(45, 1, 0, 0), 2}), words({header(39, 1, 1, 1), 0xFFFFFFF0})}),
        // A length word beyond the data.
        join({words({0, 0, 0, 2}), words({header(14, 1, 5, 1)})}),
    };
    for (const auto& bytes : wraps)
    {
        EXPECT_EQ(findPreampModule(bytes), 0) << toHex(bytes);
        EXPECT_EQ(findPowerAmpModule(bytes), 8) << toHex(bytes);
    }
}

TEST(CompactItem, ConcatBytes)
{
    EXPECT_EQ(concatBytes({}, {1, 2}), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(concatBytes({3}, {}), (std::vector<uint8_t>{3}));
    EXPECT_EQ(concatBytes({1, 2}, {3, 4}), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_TRUE(concatBytes({}, {}).empty());
}
