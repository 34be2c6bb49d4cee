// Our MessagePack writer, reader and message bodies beside msgpack-c doing the
// same work on the same preallocated buffers. Both sides' output is checked
// equal before anything is timed. Every benchmark reports the heap
// allocations per message it made inside the timed loop ("allocs").
#include "commands/MessagePack.h"
#include "commands/MessagePackMessages.h"

#include "AllocationCounting.h"

#include <benchmark/benchmark.h>
#include <msgpack.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

// msgpack-c writing into a fixed buffer, as our writer does.
struct FixedBuffer
{
    uint8_t* data;
    size_t size;
    size_t used;
};

int writeFixed(void* target, const char* bytes, size_t length)
{
    auto* b = static_cast<FixedBuffer*>(target);
    if (length > b->size - b->used)
        return -1;
    std::memcpy(b->data + b->used, bytes, length);
    b->used += length;
    return 0;
}

constexpr unsigned kCapacity = 8192;

// The output buffer of every timed pack, ours and msgpack-c's alike, and the
// text both copy from: the same addresses on both sides.
alignas(64) uint8_t gOutput[kCapacity];
alignas(64) uint8_t gText[4096];

// ---- the CSetDspParam-shaped message ----

mvmsgpack::CSetDspParam dspMessage()
{
    mvmsgpack::CSetDspParam m;
    const char id[] = "ampDistortion01";
    setFixedString(m.value.id, id, sizeof id - 1);
    m.value.index = 7;
    m.value.value = 0.75f;
    return m;
}

void msgpackcPackDsp(msgpack_packer* pk, const mvmsgpack::SetDspParam& v)
{
    msgpack_pack_uint32(pk, v.id.length);
    msgpack_pack_str(pk, v.id.length);
    msgpack_pack_str_body(pk, v.id.chars, v.id.length);
    msgpack_pack_uint32(pk, v.index);
    msgpack_pack_float(pk, v.value);
}

Bytes oursPackDsp()
{
    auto m = dspMessage();
    Bytes buffer(kCapacity);
    uint8_t* out = nullptr;
    unsigned length = 0;
    m.pack(buffer.data(), kCapacity, &out, &length);
    buffer.resize(length);
    return buffer;
}

Bytes msgpackcPack(const std::function<void(msgpack_packer*)>& steps)
{
    Bytes buffer(kCapacity);
    FixedBuffer fb{buffer.data(), buffer.size(), 0};
    msgpack_packer pk;
    msgpack_packer_init(&pk, &fb, writeFixed);
    steps(&pk);
    buffer.resize(fb.used);
    return buffer;
}

// msgpack-c's reading of the same message into the same struct.
bool msgpackcUnpackDsp(msgpack_zone* zone, const Bytes& wire, mvmsgpack::SetDspParam& v)
{
    msgpack_zone_clear(zone);
    size_t offset = 0;
    msgpack_object o;
    const char* data = reinterpret_cast<const char*>(wire.data());
    if (msgpack_unpack(data, wire.size(), &offset, zone, &o) < 0)
        return false;
    v.id.length = static_cast<uint32_t>(o.via.u64);
    if (msgpack_unpack(data, wire.size(), &offset, zone, &o) < 0 || o.via.str.size > sizeof v.id.chars)
        return false;
    std::memcpy(v.id.chars, o.via.str.ptr, o.via.str.size);
    if (msgpack_unpack(data, wire.size(), &offset, zone, &o) < 0)
        return false;
    v.index = static_cast<uint32_t>(o.via.u64);
    if (msgpack_unpack(data, wire.size(), &offset, zone, &o) < 0)
        return false;
    v.value = static_cast<float>(o.via.f64);
    return true;
}

bool sameDsp(const mvmsgpack::SetDspParam& a, const mvmsgpack::SetDspParam& b)
{
    return a.id.length == b.id.length && std::memcmp(a.id.chars, b.id.chars, a.id.length) == 0 &&
           a.index == b.index && a.value == b.value;
}

void BM_Ours_PackSetDspParam(benchmark::State& state)
{
    auto m = dspMessage();
    if (oursPackDsp() != msgpackcPack([&](msgpack_packer* pk) { msgpackcPackDsp(pk, m.value); }))
        return state.SkipWithError("outputs differ");
    uint8_t* const output = gOutput;
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        uint8_t* out = nullptr;
        unsigned length = 0;
        m.pack(output, kCapacity, &out, &length);
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
}

void BM_MsgpackC_PackSetDspParam(benchmark::State& state)
{
    auto m = dspMessage();
    uint8_t* const output = gOutput;
    FixedBuffer fb{output, kCapacity, 0};
    msgpack_packer pk;
    msgpack_packer_init(&pk, &fb, writeFixed);
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        fb.used = 0;
        msgpackcPackDsp(&pk, m.value);
        benchmark::DoNotOptimize(fb.used);
        benchmark::ClobberMemory();
    }
}

void BM_Ours_UnpackSetDspParam(benchmark::State& state)
{
    const Bytes wire = oursPackDsp();
    mvmsgpack::CSetDspParam m;
    mvmsgpack::SetDspParam reference{};
    msgpack_zone zone;
    msgpack_zone_init(&zone, MSGPACK_ZONE_CHUNK_SIZE);
    const bool same = m.unpack(wire.data(), static_cast<unsigned>(wire.size())) &&
                      msgpackcUnpackDsp(&zone, wire, reference) && sameDsp(m.value, reference) &&
                      sameDsp(m.value, dspMessage().value);
    msgpack_zone_destroy(&zone);
    if (!same)
        return state.SkipWithError("results differ");
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(m.unpack(wire.data(), static_cast<unsigned>(wire.size())));
        benchmark::ClobberMemory();
    }
}

void BM_MsgpackC_UnpackSetDspParam(benchmark::State& state)
{
    const Bytes wire = oursPackDsp();
    mvmsgpack::SetDspParam v{};
    msgpack_zone zone;
    msgpack_zone_init(&zone, MSGPACK_ZONE_CHUNK_SIZE);
    {
        AllocationMeter meter(state);
        for (auto _ : state)
        {
            benchmark::DoNotOptimize(msgpackcUnpackDsp(&zone, wire, v));
            benchmark::ClobberMemory();
        }
    }
    msgpack_zone_destroy(&zone);
}

// ---- a 150-value CInt32Array ----

std::vector<uint32_t> arrayValues()
{
    // Every unsigned width: fixint, uint8, uint16 and uint32.
    std::vector<uint32_t> values;
    for (uint32_t i = 0; i < 150; ++i)
    {
        switch (i % 4)
        {
            case 0:
                values.push_back(i % 128);
                break;
            case 1:
                values.push_back(128 + i);
                break;
            case 2:
                values.push_back(1000 + i * 300);
                break;
            default:
                values.push_back(70000 + i * 123457);
                break;
        }
    }
    return values;
}

void msgpackcPackArray(msgpack_packer* pk, const std::vector<uint32_t>& values)
{
    msgpack_pack_array(pk, values.size());
    for (uint32_t v : values)
        msgpack_pack_uint32(pk, v);
}

Bytes oursPackArray()
{
    mvmsgpack::CInt32Array m(arrayValues());
    Bytes buffer(kCapacity);
    uint8_t* out = nullptr;
    unsigned length = 0;
    m.pack(buffer.data(), kCapacity, &out, &length);
    buffer.resize(length);
    return buffer;
}

bool msgpackcUnpackArray(msgpack_zone* zone, const Bytes& wire, std::vector<uint32_t>& values)
{
    msgpack_zone_clear(zone);
    size_t offset = 0;
    msgpack_object o;
    if (msgpack_unpack(reinterpret_cast<const char*>(wire.data()), wire.size(), &offset, zone, &o) < 0)
        return false;
    values.clear();
    for (uint32_t i = 0; i < o.via.array.size; ++i)
        values.push_back(static_cast<uint32_t>(o.via.array.ptr[i].via.u64));
    return true;
}

void BM_Ours_PackInt32Array(benchmark::State& state)
{
    mvmsgpack::CInt32Array m(arrayValues());
    if (oursPackArray() != msgpackcPack([&](msgpack_packer* pk) { msgpackcPackArray(pk, m.value); }))
        return state.SkipWithError("outputs differ");
    uint8_t* const output = gOutput;
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        uint8_t* out = nullptr;
        unsigned length = 0;
        m.pack(output, kCapacity, &out, &length);
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
}

void BM_MsgpackC_PackInt32Array(benchmark::State& state)
{
    const std::vector<uint32_t> values = arrayValues();
    uint8_t* const output = gOutput;
    FixedBuffer fb{output, kCapacity, 0};
    msgpack_packer pk;
    msgpack_packer_init(&pk, &fb, writeFixed);
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        fb.used = 0;
        msgpackcPackArray(&pk, values);
        benchmark::DoNotOptimize(fb.used);
        benchmark::ClobberMemory();
    }
}

void BM_Ours_UnpackInt32Array(benchmark::State& state)
{
    const Bytes wire = oursPackArray();
    mvmsgpack::CInt32Array m;
    std::vector<uint32_t> reference;
    msgpack_zone zone;
    msgpack_zone_init(&zone, MSGPACK_ZONE_CHUNK_SIZE);
    const bool same = m.unpack(wire.data(), static_cast<unsigned>(wire.size())) &&
                      msgpackcUnpackArray(&zone, wire, reference) && m.value == reference &&
                      m.value == arrayValues();
    msgpack_zone_destroy(&zone);
    if (!same)
        return state.SkipWithError("results differ");
    // The message is reused, as a caller's reply body would be: its vector
    // keeps its storage from the first unpack.
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(m.unpack(wire.data(), static_cast<unsigned>(wire.size())));
        benchmark::ClobberMemory();
    }
}

void BM_MsgpackC_UnpackInt32Array(benchmark::State& state)
{
    const Bytes wire = oursPackArray();
    std::vector<uint32_t> values;
    values.reserve(150);
    msgpack_zone zone;
    msgpack_zone_init(&zone, MSGPACK_ZONE_CHUNK_SIZE);
    {
        AllocationMeter meter(state);
        for (auto _ : state)
        {
            benchmark::DoNotOptimize(msgpackcUnpackArray(&zone, wire, values));
            benchmark::ClobberMemory();
        }
    }
    msgpack_zone_destroy(&zone);
}

// ---- strings of 31, 255 and 4096 bytes ----

// The first n bytes of gText as a vector, gText filled.
Bytes textOf(size_t n)
{
    for (size_t i = 0; i < sizeof gText; ++i)
        gText[i] = static_cast<uint8_t>('a' + i % 26);
    return Bytes(gText, gText + n);
}

Bytes oursPackString(const Bytes& text)
{
    Bytes buffer(kCapacity);
    PackContext c;
    initPackContext(c, buffer.data(), kCapacity);
    packString(c, text.data(), static_cast<uint32_t>(text.size()));
    buffer.resize(static_cast<size_t>(c.current - c.start));
    return buffer;
}

void BM_Ours_PackString(benchmark::State& state)
{
    const Bytes text = textOf(static_cast<size_t>(state.range(0)));
    if (oursPackString(text) !=
        msgpackcPack([&](msgpack_packer* pk) { msgpack_pack_str_with_body(pk, text.data(), text.size()); }))
        return state.SkipWithError("outputs differ");
    uint8_t* const output = gOutput;
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        PackContext c;
        initPackContext(c, output, kCapacity);
        packString(c, gText, static_cast<uint32_t>(text.size()));
        benchmark::DoNotOptimize(c.current);
        benchmark::ClobberMemory();
    }
}

void BM_MsgpackC_PackString(benchmark::State& state)
{
    const Bytes text = textOf(static_cast<size_t>(state.range(0)));
    uint8_t* const output = gOutput;
    FixedBuffer fb{output, kCapacity, 0};
    msgpack_packer pk;
    msgpack_packer_init(&pk, &fb, writeFixed);
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        fb.used = 0;
        msgpack_pack_str_with_body(&pk, gText, text.size());
        benchmark::DoNotOptimize(fb.used);
        benchmark::ClobberMemory();
    }
}

void BM_Ours_UnpackString(benchmark::State& state)
{
    const Bytes text = textOf(static_cast<size_t>(state.range(0)));
    const Bytes wire = oursPackString(text);
    UnpackContext c{};
    initUnpackContext(c, wire.data(), static_cast<uint32_t>(wire.size()));
    unpackNext(c);
    if (c.returnCode != MPK_RC_OK || c.item.type != PackedItemType::Str ||
        c.item.value.asBlob.length != text.size() ||
        std::memcmp(c.item.value.asBlob.start, text.data(), text.size()) != 0)
        return state.SkipWithError("results differ");
    AllocationMeter meter(state);
    for (auto _ : state)
    {
        initUnpackContext(c, wire.data(), static_cast<uint32_t>(wire.size()));
        unpackNext(c);
        benchmark::DoNotOptimize(c.item.value.asBlob);
        benchmark::ClobberMemory();
    }
}

void BM_MsgpackC_UnpackString(benchmark::State& state)
{
    const Bytes text = textOf(static_cast<size_t>(state.range(0)));
    const Bytes wire = oursPackString(text);
    const char* data = reinterpret_cast<const char*>(wire.data());
    msgpack_zone zone;
    msgpack_zone_init(&zone, MSGPACK_ZONE_CHUNK_SIZE);
    msgpack_object o;
    size_t offset = 0;
    if (msgpack_unpack(data, wire.size(), &offset, &zone, &o) < 0 || o.type != MSGPACK_OBJECT_STR ||
        o.via.str.size != text.size() || std::memcmp(o.via.str.ptr, text.data(), text.size()) != 0)
    {
        msgpack_zone_destroy(&zone);
        return state.SkipWithError("results differ");
    }
    {
        AllocationMeter meter(state);
        for (auto _ : state)
        {
            msgpack_zone_clear(&zone);
            offset = 0;
            msgpack_unpack(data, wire.size(), &offset, &zone, &o);
            benchmark::DoNotOptimize(o.via.str);
            benchmark::ClobberMemory();
        }
    }
    msgpack_zone_destroy(&zone);
}

} // namespace

BENCHMARK(BM_Ours_PackSetDspParam);
BENCHMARK(BM_MsgpackC_PackSetDspParam);
BENCHMARK(BM_Ours_UnpackSetDspParam);
BENCHMARK(BM_MsgpackC_UnpackSetDspParam);
BENCHMARK(BM_Ours_PackInt32Array);
BENCHMARK(BM_MsgpackC_PackInt32Array);
BENCHMARK(BM_Ours_UnpackInt32Array);
BENCHMARK(BM_MsgpackC_UnpackInt32Array);
BENCHMARK(BM_Ours_PackString)->Arg(31)->Arg(255)->Arg(4096);
BENCHMARK(BM_MsgpackC_PackString)->Arg(31)->Arg(255)->Arg(4096);
BENCHMARK(BM_Ours_UnpackString)->Arg(31)->Arg(255)->Arg(4096);
BENCHMARK(BM_MsgpackC_UnpackString)->Arg(31)->Arg(255)->Arg(4096);

BENCHMARK_MAIN();
