// Presets per second through the packed signal path and the misc section,
// both ways, on a realistic preset: eleven modules with their parameters, a
// tone-matching curve of 512 values and IR loader text.
#include "presets/MiscSection.h"
#include "presets/SignalPath.h"

#include <benchmark/benchmark.h>

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
        for (int p = 0; p < m.params; ++p)
        {
            Json::Value param;
            param["id"] = p;
            param["value"] = 0.1 * p + 0.05;
            params.append(param);
        }
        if (std::string(m.id) == "mavo.toneMatching")
        {
            Json::Value curve(Json::arrayValue);
            for (int i = 0; i < 512; ++i)
                curve.append(double(i % 37) / 37.0 - 0.5);
            Json::Value param;
            param["id"] = m.params;
            param["value"] = curve;
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

} // namespace

BENCHMARK_MAIN();
