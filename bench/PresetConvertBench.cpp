// Presets per second through the packed signal path, the compact item form
// and the misc section, both ways, the walkers and the JSON adjustments, on a
// realistic preset: eleven modules with their parameters, a tone-matching
// curve of 512 values and IR loader text.
#include "presets/CompactItem.h"
#include "presets/MiscSection.h"
#include "presets/PresetAdjustments.h"
#include "presets/SignalPath.h"

#include <benchmark/benchmark.h>

#include <json/reader.h>
#include <json/writer.h>

namespace
{

Json::Value realisticPreset()
{
    const struct
    {
        const char* id;
        int params;
    } modules[] = {{"mavo.noisegate", 4},      {"mavo.crunchpreamp", 8},  {"mavo.tonestack", 6},
                   {"mavo.crunchpoweramp", 7}, {"mavo.cab", 5},           {"mavo.IRLoader", 4},
                   {"mavo.chorusMod", 5},      {"mavo.standardDelay", 6}, {"mavo.reverb", 7},
                   {"mavo.eq1", 10},           {"mavo.toneMatching", 3}};
    Json::Value preset;
    preset["name"] = "Crunch Rhythm";
    Json::Value& items = preset["sigPath"]["blocks"]["items"] = Json::Value(Json::arrayValue);
    for (const auto& m : modules)
    {
        Json::Value item;
        item["id"] = m.id;
        item["name"] = m.id + 5;
        item["selected"] = "false";
        item["isActive"] = true;
        Json::Value& params = item["params"] = Json::Value(Json::arrayValue);
        // Tone matching in its own order: the curve as id 0, then ids 100,
        // 1, 2, as the amplifier keeps them.
        const bool toneMatching = std::string(m.id) == "mavo.toneMatching";
        if (toneMatching)
        {
            Json::Value curve(Json::arrayValue);
            for (int i = 0; i < 512; ++i)
                curve.append(double(i % 37) / 37.0 - 0.5);
            Json::Value param;
            param["id"] = 0;
            param["value"] = curve;
            params.append(param);
        }
        for (int p = 0; p < m.params; ++p)
        {
            Json::Value param;
            param["id"] = toneMatching ? (p == 0 ? 100 : p) : p;
            param["value"] = 0.1 * p + 0.05;
            params.append(param);
        }
        items.append(item);
    }
    preset["sigPath"]["misc"]["irloader"]["value"] =
        R"({"wavBitDepth":24,"wavFileName":"Studio Room 4x12 SM57.wav","wavSampleRate":48000.0})";
    return preset;
}

void JsonToPackedSignalPath(benchmark::State& state)
{
    const Json::Value preset = realisticPreset();
    for (auto _ : state)
        benchmark::DoNotOptimize(mvhw::writeSignalPath(preset));
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("items = presets");
}
BENCHMARK(JsonToPackedSignalPath);

void PackedToJsonSignalPath(benchmark::State& state)
{
    const std::vector<uint8_t> bytes = mvhw::writeSignalPath(realisticPreset());
    for (auto _ : state)
    {
        Json::Value preset;
        mvhw::PresetReadCursor cursor{0, &bytes};
        benchmark::DoNotOptimize(mvhw::readSignalPath(cursor, preset));
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("items = presets");
}
BENCHMARK(PackedToJsonSignalPath);

void JsonTextToMiscSection(benchmark::State& state)
{
    const std::string text = Json::StyledWriter().write(realisticPreset());
    for (auto _ : state)
        benchmark::DoNotOptimize(mvhw::jsonToMiscSection(text));
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("whole preset text parsed");
}
BENCHMARK(JsonTextToMiscSection);

void MiscSectionToJsonText(benchmark::State& state)
{
    const std::vector<uint8_t> bytes = mvhw::jsonToMiscSection(Json::StyledWriter().write(realisticPreset()));
    for (auto _ : state)
        benchmark::DoNotOptimize(mvhw::miscSectionToJson(bytes.data(), 0, uint32_t(bytes.size())));
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(MiscSectionToJsonText);

// The preset's items, one after the other in the compact item form.
std::vector<uint8_t> compactItems(const Json::Value& preset)
{
    std::vector<uint8_t> bytes(16384);
    uint32_t offset = 0;
    for (const Json::Value& item : preset["sigPath"]["blocks"]["items"])
        mvhw::writeCompactItem(bytes.data(), bytes.size(), item, offset);
    bytes.resize(offset);
    return bytes;
}

void JsonToCompactItems(benchmark::State& state)
{
    const Json::Value preset = realisticPreset();
    const Json::Value& items = preset["sigPath"]["blocks"]["items"];
    std::vector<uint8_t> bytes(16384);
    for (auto _ : state)
    {
        uint32_t offset = 0;
        for (const Json::Value& item : items)
            benchmark::DoNotOptimize(mvhw::writeCompactItem(bytes.data(), bytes.size(), item, offset));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("items = presets");
}
BENCHMARK(JsonToCompactItems);

void CompactItemsToJson(benchmark::State& state)
{
    const std::vector<uint8_t> bytes = compactItems(realisticPreset());
    for (auto _ : state)
    {
        uint32_t offset = 0;
        while (offset < bytes.size())
            benchmark::DoNotOptimize(mvhw::readCompactItem(bytes.data(), bytes.size(), offset));
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("items = presets");
}
BENCHMARK(CompactItemsToJson);

// A packed preset as the walkers read it: the misc section and an empty
// block ahead of the compact items.
std::vector<uint8_t> packedPreset()
{
    const Json::Value preset = realisticPreset();
    const std::vector<uint8_t> misc = mvhw::jsonToMiscSection(preset.toStyledString());
    const auto word = [](uint32_t w) {
        return std::vector<uint8_t>{uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)};
    };
    std::vector<uint8_t> out = mvhw::concatBytes(word(uint32_t(misc.size())), misc);
    out = mvhw::concatBytes(out, word(0));
    out = mvhw::concatBytes(out, word(0));
    out = mvhw::concatBytes(out, word(preset["sigPath"]["blocks"]["items"].size()));
    return mvhw::concatBytes(out, compactItems(preset));
}

void FindAmpModule(benchmark::State& state, int (*find)(const std::vector<uint8_t>&), const char* label)
{
    const std::vector<uint8_t> bytes = packedPreset();
    for (auto _ : state)
        benchmark::DoNotOptimize(find(bytes));
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel(label);
}
BENCHMARK_CAPTURE(FindAmpModule, Preamp, mvhw::findPreampModule, "items = presets, found at item 2");
BENCHMARK_CAPTURE(FindAmpModule, PowerAmp, mvhw::findPowerAmpModule, "items = presets, found at item 4");

void SortParamsById(benchmark::State& state)
{
    const Json::Value preset = realisticPreset();
    for (auto _ : state)
        benchmark::DoNotOptimize(mvhw::sortParamsById(preset));
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("items = presets, sorted copy");
}
BENCHMARK(SortParamsById);

const char* irLoaderFields = R"({"wavBitDepth": 24, "wavFileName": "Studio Room 4x12 SM57.wav",
                                 "wavSampleRate": 48000.0})";

Json::Value parsed(const char* text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

void ApplyIrLoaderFields(benchmark::State& state)
{
    Json::Value preset = realisticPreset();
    const Json::Value fields = parsed(irLoaderFields);
    for (auto _ : state)
    {
        mvhw::applyIrLoaderFields(preset, fields);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("items = presets, in place");
}
BENCHMARK(ApplyIrLoaderFields);

void StoreIrLoaderFieldsInMisc(benchmark::State& state)
{
    Json::Value preset = realisticPreset();
    mvhw::applyIrLoaderFields(preset, parsed(irLoaderFields));
    for (auto _ : state)
    {
        mvhw::storeIrLoaderFieldsInMisc(preset);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("items = presets, in place");
}
BENCHMARK(StoreIrLoaderFieldsInMisc);

void StripToneMatchingParams(benchmark::State& state)
{
    // With the four extras that the strip removes.
    Json::Value preset = realisticPreset();
    for (Json::Value& item : preset["sigPath"]["blocks"]["items"])
    {
        if (item["id"] != "mavo.toneMatching")
            continue;
        for (int id = 101; id <= 104; ++id)
        {
            Json::Value param;
            param["id"] = id;
            param["value"] = 0.5;
            item["params"].append(param);
        }
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(mvhw::stripToneMatchingParams(preset));
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("items = presets, copy taken by value");
}
BENCHMARK(StripToneMatchingParams);

} // namespace

BENCHMARK_MAIN();
