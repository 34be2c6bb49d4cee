#include "presets/PresetAdjustments.h"

#include "presets/MiscSection.h"

#include "TestBytes.h"

#include <gtest/gtest.h>

#include <json/writer.h>

#include <functional>

using namespace mvhw;
using testbytes::parse;

namespace
{

// A preset around the given items text.
std::string withItems(const std::string& items)
{
    return R"({"name": "p", "sigPath": {"blocks": {"items": )" + items + "}}}";
}

struct Case
{
    const char* in;
    const char* out;
};

void expectCases(const std::function<Json::Value(const Json::Value&)>& adjust,
                 std::initializer_list<Case> cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(adjust(parse(c.in)), parse(c.out)) << c.in << "\n" << adjust(parse(c.in)).toStyledString();
}

Json::Value applied(const Json::Value& preset, const char* fields)
{
    Json::Value out = preset;
    applyIrLoaderFields(out, parse(fields));
    return out;
}

Json::Value stored(const Json::Value& preset)
{
    Json::Value out = preset;
    storeIrLoaderFieldsInMisc(out);
    return out;
}

} // namespace

TEST(PresetAdjustments, SortParamsById)
{
    expectCases(
        sortParamsById,
        {
            {withItems(
                 R"([{"id": "mavo.cab", "params": [{"id": 3, "value": 0.5, "x": 1}, {"id": 1, "value": 2},
                                   {"id": 2, "value": [1, 2]}]}])")
                 .c_str(),
             withItems(R"([{"id": "mavo.cab", "params": [{"id": 1, "value": 2}, {"id": 2, "value": [1, 2]},
                                   {"id": 3, "value": 0.5}]}])")
                 .c_str()},
            // No "params", or none that are elements, give an empty one; a
            // null item becomes an object.
            {withItems(R"([{"id": "mavo.cab"}, {"params": 5}, null])").c_str(),
             withItems(R"([{"id": "mavo.cab", "params": []}, {"params": []}, {"params": []}])").c_str()},
            // asInt of the id, null for a missing value or id, negative first,
            // equal ids in their order.
            {withItems(R"([{"params": [{"id": 2.7, "value": 1}, {"value": "a"}, {"id": 0},
                                   {"id": -4, "value": true}, {"id": 2, "value": "b"}]}])")
                 .c_str(),
             withItems(R"([{"params": [{"id": -4, "value": true}, {"id": 0, "value": "a"},
                                   {"id": 0, "value": null}, {"id": 2, "value": 1}, {"id": 2, "value": "b"}]}])")
                 .c_str()},
            // An object of parameters is taken in key order.
            {withItems(R"([{"params": {"b": {"id": 1, "value": 1}, "a": {"id": 1, "value": 2}}}])").c_str(),
             withItems(R"([{"params": [{"id": 1, "value": 2}, {"id": 1, "value": 1}]}])").c_str()},
            // Presets without an items array come back unchanged.
            {R"({"x": 1})", R"({"x": 1})"},
            {"null", "null"},
            {R"({"sigPath": {"blocks": {"items": {"a": 1}}}})",
             R"({"sigPath": {"blocks": {"items": {"a": 1}}}})"},
        });

    // Equal ids keep their order in a list long enough for an unstable sort
    // to swap them: ids 0, 1, 0, 1, ... with the values 0 to 19 give the even
    // values, then the odd ones, each in ascending order.
    Json::Value params(Json::arrayValue);
    Json::Value expected(Json::arrayValue);
    for (int i = 0; i < 20; ++i)
        params.append(parse("{\"id\": " + std::to_string(i % 2) + ", \"value\": " + std::to_string(i) + "}"));
    for (int i = 0; i < 20; ++i)
        expected.append(params[Json::ArrayIndex(i < 10 ? 2 * i : 2 * (i - 10) + 1)]);
    Json::Value preset;
    preset["sigPath"]["blocks"]["items"][0]["params"] = params;
    EXPECT_EQ(sortParamsById(preset)["sigPath"]["blocks"]["items"][0]["params"], expected);

    for (const char* text : {"[1]", R"({"sigPath": {"blocks": {"items": [3]}}})",
                             R"({"sigPath": {"blocks": {"items": [{"params": [{"id": "1"}]}]}}})",
                             R"({"sigPath": {"blocks": {"items": [{"params": [7]}]}}})"})
        EXPECT_THROW(sortParamsById(parse(text)), Json::LogicError) << text;
}

TEST(PresetAdjustments, ApplyIrLoaderFields)
{
    const Json::Value preset = parse(withItems(R"([{"id": "mavo.cab"}, {"params": []},
        {"id": "mavo.IRLoader", "isActive": true, "wavFileName": "old.wav"}, {"id": "mavo.IRLoader"}])"));
    const auto firstIrChanged = [&](const char* members)
    {
        return parse(withItems(std::string(R"([{"id": "mavo.cab"}, {"params": []},
            {"id": "mavo.IRLoader", "isActive": true, )") +
                               members + R"(}, {"id": "mavo.IRLoader"}])"));
    };

    EXPECT_EQ(
        applied(preset, R"({"wavBitDepth": 24, "wavFileName": "Room.wav", "wavSampleRate": 44100.7})"),
        firstIrChanged(R"("wavBitDepth": 24, "wavFileName": "Room.wav", "wavSampleRate": 44100.69921875)"));
    // Missing fields give 0, "" and 0.0; other kinds convert as jsoncpp does.
    EXPECT_EQ(applied(preset, R"({"wavFileName": "only.wav"})"),
              firstIrChanged(R"("wavBitDepth": 0, "wavFileName": "only.wav", "wavSampleRate": 0.0)"));
    EXPECT_EQ(applied(preset, R"({"wavBitDepth": 16.9, "wavFileName": 7, "wavSampleRate": true, "x": 1})"),
              firstIrChanged(R"("wavBitDepth": 16, "wavFileName": "7", "wavSampleRate": 1.0)"));
    // Nothing to take, or nowhere to put it: no change.
    for (const char* fields : {"{}", R"({"x": 1})", "null", "[1]", R"("wavFileName")"})
        EXPECT_EQ(applied(preset, fields), preset) << fields;
    const Json::Value noIrLoader = parse(withItems(R"([{"id": "mavo.cab"}, {"name": "x"}])"));
    EXPECT_EQ(applied(noIrLoader, R"({"wavBitDepth": 24})"), noIrLoader);
    const Json::Value itemsObject =
        parse(R"({"sigPath": {"blocks": {"items": {"a": {"id": "mavo.IRLoader"}}}}})");
    EXPECT_EQ(applied(itemsObject, R"({"wavBitDepth": 24})"), itemsObject);
    // A missing chain is created, with a null "items".
    EXPECT_EQ(applied(parse(R"({"name": "p"})"), R"({"wavBitDepth": 24})"),
              parse(R"({"name": "p", "sigPath": {"blocks": {"items": null}}})"));
    EXPECT_EQ(applied(parse("null"), "5"), parse(R"({"sigPath": {"blocks": {"items": null}}})"));

    // A field of the wrong kind changes nothing, not even the fields before it.
    for (const char* fields :
         {R"({"wavBitDepth": 24, "wavFileName": "a.wav", "wavSampleRate": "fast"})",
          R"({"wavBitDepth": 24, "wavFileName": ["a.wav"]})", R"({"wavBitDepth": "24"})"})
    {
        Json::Value changed = preset;
        EXPECT_THROW(applyIrLoaderFields(changed, parse(fields)), Json::LogicError) << fields;
        EXPECT_EQ(changed, preset) << fields;
    }
    for (const char* text : {"[1]", R"({"sigPath": {"blocks": {"items": [3]}}})",
                             R"({"sigPath": {"blocks": {"items": [{"id": ["mavo.IRLoader"]}]}}})"})
    {
        Json::Value changed = parse(text);
        EXPECT_THROW(applyIrLoaderFields(changed, parse(R"({"wavBitDepth": 24})")), Json::LogicError) << text;
        EXPECT_EQ(changed, parse(text)) << text;
    }
}

TEST(PresetAdjustments, StoreIrLoaderFieldsInMiscGivesTheExactText)
{
    const std::string items = R"([{"id": "mavo.cab"}, {"id": "mavo.IRLoader", "wavBitDepth": 24,
        "wavFileName": "Room \"A\".wav", "wavSampleRate": 44100.7, "params": []}, {"id": "mavo.IRLoader",
        "wavBitDepth": 1, "wavFileName": "b", "wavSampleRate": 1}])";
    Json::Value preset = parse(withItems(items));
    preset["sigPath"]["misc"]["irloader"] = parse(R"({"value": "old", "x": 1})");
    preset["sigPath"]["misc"]["other"] = 1;
    storeIrLoaderFieldsInMisc(preset);

    const std::string text =
        R"({   "wavBitDepth" : 24,   "wavFileName" : "Room \"A\".wav",   "wavSampleRate" : 44100.69921875})";
    Json::Value expected = parse(withItems(items));
    expected["sigPath"]["misc"] = parse(R"({"other": 1})");
    expected["sigPath"]["misc"]["irloader"]["value"] = text;
    EXPECT_EQ(preset, expected);

    // Through the misc section and back, and the text parses to the fields
    // at float32 precision.
    const std::vector<uint8_t> section = jsonToMiscSection(Json::StyledWriter().write(preset));
    ASSERT_FALSE(section.empty());
    const Json::Value back = parse(miscSectionToJson(section.data(), 0, uint32_t(section.size())));
    EXPECT_EQ(back["sigPath"]["misc"]["irloader"]["value"], Json::Value(text));
    EXPECT_EQ(parse(text), parse(R"({"wavBitDepth": 24, "wavFileName": "Room \"A\".wav",
                                     "wavSampleRate": 44100.69921875})"));
    EXPECT_EQ(parse(text)["wavSampleRate"].asDouble(), double(44100.7f));
}

TEST(PresetAdjustments, StoreIrLoaderFieldsInMiscCases)
{
    expectCases(stored,
                {
                    // Kinds convert as jsoncpp does; integral reals keep their ".0".
                    {withItems(R"([{"id": "mavo.IRLoader", "wavBitDepth": 16.5, "wavFileName": 3,
                                   "wavSampleRate": 48000}])")
                         .c_str(),
                     R"({"name": "p", "sigPath": {"misc": {"irloader": {"value":
                        "{   \"wavBitDepth\" : 16,   \"wavFileName\" : \"3\",   \"wavSampleRate\" : 48000.0}"}},
                        "blocks": {"items": [{"id": "mavo.IRLoader", "wavBitDepth": 16.5, "wavFileName": 3,
                        "wavSampleRate": 48000}]}}})"},
                    // An object of items is taken in key order.
                    {R"({"sigPath": {"blocks": {"items": {"b": {"id": "mavo.IRLoader", "wavBitDepth": 2,
                        "wavFileName": "b", "wavSampleRate": 2}, "a": {"id": "mavo.IRLoader", "wavBitDepth": 1,
                        "wavFileName": "a", "wavSampleRate": 1}}}}})",
                     R"({"sigPath": {"misc": {"irloader": {"value":
                        "{   \"wavBitDepth\" : 1,   \"wavFileName\" : \"a\",   \"wavSampleRate\" : 1.0}"}},
                        "blocks": {"items": {"b": {"id": "mavo.IRLoader", "wavBitDepth": 2,
                        "wavFileName": "b", "wavSampleRate": 2}, "a": {"id": "mavo.IRLoader", "wavBitDepth": 1,
                        "wavFileName": "a", "wavSampleRate": 1}}}}})"},
                    // Only the first IR loader item counts: one without all three
                    // fields stores nothing.
                    {withItems(R"([{"id": "mavo.IRLoader", "wavBitDepth": 24, "wavFileName": "a"},
                                   {"id": "mavo.IRLoader", "wavBitDepth": 1, "wavFileName": "b", "wavSampleRate": 1}])")
                         .c_str(),
                     withItems(R"([{"id": "mavo.IRLoader", "wavBitDepth": 24, "wavFileName": "a"},
                                   {"id": "mavo.IRLoader", "wavBitDepth": 1, "wavFileName": "b", "wavSampleRate": 1}])")
                         .c_str()},
                    {withItems(R"([{"id": "mavo.cab"}, {"x": 1}])").c_str(),
                     withItems(R"([{"id": "mavo.cab"}, {"x": 1}])").c_str()},
                    // An earlier irloader stays as it was, line feeds and all.
                    {R"({"sigPath": {"misc": {"irloader": {"value": "a\nb"}}}})",
                     R"({"sigPath": {"misc": {"irloader": {"value": "a\nb"}}, "blocks": {"items": null}}})"},
                    {R"({"name": "p"})", R"({"name": "p", "sigPath": {"blocks": {"items": null}}})"},
                });

    // A wrong kind on the way changes nothing beyond the chain.
    for (
        const char* text :
        {R"({"sigPath": {"blocks": {"items": [{"id": "mavo.IRLoader", "wavBitDepth": "24", "wavFileName": "a",
              "wavSampleRate": 1}]}}})",
         R"({"sigPath": {"misc": [1], "blocks": {"items": [{"id": "mavo.IRLoader", "wavBitDepth": 24,
              "wavFileName": "a", "wavSampleRate": 1}]}}})",
         R"({"sigPath": {"blocks": {"items": [7]}}})", "[1]"})
    {
        Json::Value preset = parse(text);
        EXPECT_THROW(storeIrLoaderFieldsInMisc(preset), Json::LogicError) << text;
        EXPECT_EQ(preset, parse(text)) << text;
    }
}

TEST(PresetAdjustments, StripToneMatchingParams)
{
    expectCases(
        stripToneMatchingParams,
        {
            {withItems(R"([{"id": "mavo.toneMatching", "params": [{"id": 0, "value": [1]}, {"id": 100},
                                   {"id": 101}, {"id": 104, "value": 1}, {"id": 105}]}])")
                 .c_str(),
             withItems(R"([{"id": "mavo.toneMatching", "params": [{"id": 0, "value": [1]}, {"id": 100},
                                   {"id": 105}]}])")
                 .c_str()},
            // An integral real is an integer to isInt; a string or a fraction
            // is not; parameters without an id and null ones stay.
            {withItems(R"([{"id": "mavo.toneMatching", "params": [{"id": 101.0}, {"id": "102"},
                                   {"id": 103.5}, {"value": 1}, null, {"id": 99}]}])")
                 .c_str(),
             withItems(R"([{"id": "mavo.toneMatching", "params": [{"id": "102"}, {"id": 103.5},
                                   {"value": 1}, null, {"id": 99}]}])")
                 .c_str()},
            // Nothing kept leaves a null "params".
            {withItems(R"([{"id": "mavo.toneMatching", "params": []},
                                   {"id": "mavo.toneMatching", "params": [{"id": 102}, {"id": 103}]},
                                   {"id": "mavo.toneMatching", "params": 5}])")
                 .c_str(),
             withItems(R"([{"id": "mavo.toneMatching", "params": null},
                                   {"id": "mavo.toneMatching", "params": null},
                                   {"id": "mavo.toneMatching", "params": null}])")
                 .c_str()},
            // Other items, and tone matching without params, are not touched.
            {withItems(R"([{"id": "mavo.cab", "params": [{"id": 101}]}, {"id": "mavo.toneMatching"},
                                   {"params": [{"id": 101}]}])")
                 .c_str(),
             withItems(R"([{"id": "mavo.cab", "params": [{"id": 101}]}, {"id": "mavo.toneMatching"},
                                   {"params": [{"id": 101}]}])")
                 .c_str()},
            {R"({"sigPath": {"blocks": {}}})", R"({"sigPath": {"blocks": {}}})"},
            {"null", "null"},
        });

    for (const char* text :
         {"[1]", R"({"sigPath": [1]})", R"({"sigPath": {"blocks": {"items": [3]}}})",
          R"({"sigPath": {"blocks": {"items": [{"id": "mavo.toneMatching", "params": [4]}]}}})"})
        EXPECT_THROW(stripToneMatchingParams(parse(text)), Json::LogicError) << text;
}
