// LZW compress and expand speed (bytes per second of uncompressed data) and
// ratio (compressed / original) at cap 16. With file arguments after the
// benchmark flags it measures those files; without, generated data:
// word-like text, random bytes and constant bytes of 16 MB each.
#include "presets/LzwCodec.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> generated(const std::string& kind, size_t size)
{
    std::mt19937 rng(1);
    std::vector<uint8_t> out;
    out.reserve(size);
    if (kind == "constant")
        out.assign(size, 0x20);
    else if (kind == "random")
        while (out.size() < size)
            out.push_back(uint8_t(rng()));
    else
    {
        const char* words[] = {"static ", "const ", "int ", "return ", "value",      "(",
                               ");\n",    "{\n",    "}\n",  "if ",     "for ",       "uint32_t ",
                               "    ",    "size",   " = ",  "buffer",  "#include <", ">\n"};
        while (out.size() < size)
        {
            const std::string w = words[rng() % 18];
            out.insert(out.end(), w.begin(), w.end());
        }
        out.resize(size);
    }
    return out;
}

void registerData(const std::string& name, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> stream;
    mvhw::lzwEncode(data, stream, 16);
    const double ratio = data.empty() ? 0.0 : double(stream.size()) / double(data.size());

    // Each benchmark reuses one output buffer across all its runs: the
    // figures are the codec's steady speed, without the first touch of
    // fresh pages (costly in a VM, and paid once per buffer).
    auto compressed = std::make_shared<std::vector<uint8_t>>();
    benchmark::RegisterBenchmark(("LzwCompress/" + name).c_str(),
                                 [data, ratio, compressed](benchmark::State& state)
                                 {
                                     std::vector<uint8_t>& out = *compressed;
                                     for (auto _ : state)
                                     {
                                         mvhw::lzwEncode(data, out, 16);
                                         benchmark::DoNotOptimize(out.data());
                                     }
                                     state.SetBytesProcessed(int64_t(state.iterations()) *
                                                             int64_t(data.size()));
                                     state.counters["ratio"] = ratio;
                                 })
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);

    // Expanding is limited to the data's own size, so files past the
    // decoder's default limit expand too.
    auto expanded = std::make_shared<std::vector<uint8_t>>();
    benchmark::RegisterBenchmark(("LzwExpand/" + name).c_str(),
                                 [stream, size = data.size(), expanded](benchmark::State& state)
                                 {
                                     std::vector<uint8_t>& out = *expanded;
                                     for (auto _ : state)
                                     {
                                         mvhw::lzwDecode(stream, out, size);
                                         benchmark::DoNotOptimize(out.data());
                                     }
                                     state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
                                 })
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc > 1)
    {
        for (int i = 1; i < argc; ++i)
        {
            std::string name = argv[i];
            name = name.substr(name.find_last_of('/') + 1);
            registerData(name, readFile(argv[i]));
        }
    }
    else
    {
        for (const char* kind : {"text", "random", "constant"})
            registerData(kind, generated(kind, 16u << 20));
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
