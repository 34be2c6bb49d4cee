// msgpack-c as an independent reference: our writer must produce its bytes,
// and our reader must decode its bytes to the values it was given.
#include "commands/MessagePack.h"

#include <gtest/gtest.h>
#include <msgpack.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

// Packs with msgpack-c into a byte vector.
Bytes reference(const std::function<void(msgpack_packer*)>& steps)
{
    msgpack_sbuffer sbuf;
    msgpack_sbuffer_init(&sbuf);
    msgpack_packer packer;
    msgpack_packer_init(&packer, &sbuf, msgpack_sbuffer_write);
    steps(&packer);
    Bytes bytes(reinterpret_cast<const uint8_t*>(sbuf.data),
                reinterpret_cast<const uint8_t*>(sbuf.data) + sbuf.size);
    msgpack_sbuffer_destroy(&sbuf);
    return bytes;
}

Bytes ours(size_t capacity, const std::function<void(PackContext&)>& steps, bool compatible = false)
{
    Bytes buffer(capacity);
    PackContext context;
    initPackContext(context, buffer.data(), static_cast<uint32_t>(capacity));
    context.compatible = compatible;
    steps(context);
    EXPECT_EQ(MPK_RC_OK, context.returnCode);
    buffer.resize(static_cast<size_t>(context.current - context.start));
    return buffer;
}

const uint64_t kUnsigned[] = {
    0, 1, 127, 128, 255, 256, 65535, 65536, 0xFFFFFFFFull, 0x100000000ull, UINT64_MAX - 1, UINT64_MAX};
const int64_t kNegative[] = {-1,
                             -31,
                             -32,
                             -33,
                             -127,
                             -128,
                             -129,
                             -32767,
                             -32768,
                             -32769,
                             -65535,
                             -65536,
                             -2147483647,
                             INT32_MIN,
                             int64_t(INT32_MIN) - 1,
                             -4294967296ll,
                             INT64_MIN + 1,
                             INT64_MIN};
const uint32_t kStringLengths[] = {0, 1, 31, 32, 33, 255, 256, 65535, 65536};
const uint32_t kCounts[] = {0, 1, 15, 16, 255, 65535, 65536, 0xFFFFFFFFu};
const float kFloats[] = {0.0f, -0.0f, 1.0f, -1.5f, 0.5f, 3.4028235e38f, 1.17549435e-38f, 1e-45f};
const double kDoubles[] = {0.0, -2.5, 1.0e300, 4.9e-324};

Bytes text(uint32_t n)
{
    Bytes data(n);
    for (uint32_t i = 0; i < n; ++i)
        data[i] = static_cast<uint8_t>(i * 7 + 1);
    return data;
}

TEST(MessagePackOracle, WriterMatchesMsgpackC)
{
    for (uint64_t v : kUnsigned)
        EXPECT_EQ(reference([&](msgpack_packer* p) { msgpack_pack_uint64(p, v); }),
                  ours(16, [&](PackContext& c) { packUnsigned(c, v); }))
            << v;
    for (uint32_t n : kStringLengths)
    {
        const Bytes data = text(n);
        // str8 allowed
        EXPECT_EQ(reference(
                      [&](msgpack_packer* p)
                      {
                          msgpack_pack_str(p, n);
                          msgpack_pack_str_body(p, data.data(), n);
                      }),
                  ours(n + 8, [&](PackContext& c) { packString(c, data.data(), n); }))
            << n;
        // compatible: the old raw forms only, as msgpack-c's v4raw writes them
        EXPECT_EQ(reference(
                      [&](msgpack_packer* p)
                      {
                          msgpack_pack_v4raw(p, n);
                          msgpack_pack_v4raw_body(p, data.data(), n);
                      }),
                  ours(
                      n + 8, [&](PackContext& c) { packString(c, data.data(), n); }, true))
            << n << " compatible";
    }
    for (uint32_t n : kCounts)
        EXPECT_EQ(reference([&](msgpack_packer* p) { msgpack_pack_array(p, n); }),
                  ours(8, [&](PackContext& c) { packArraySize(c, n); }))
            << n;
    for (float f : kFloats)
        EXPECT_EQ(reference([&](msgpack_packer* p) { msgpack_pack_float(p, f); }),
                  ours(8, [&](PackContext& c) { packFloat(c, f); }))
            << f;
    EXPECT_EQ(reference(
                  [](msgpack_packer* p)
                  {
                      msgpack_pack_true(p);
                      msgpack_pack_false(p);
                  }),
              ours(2,
                   [](PackContext& c)
                   {
                       packBoolean(c, true);
                       packBoolean(c, false);
                   }));
}

// One value as msgpack-c packs it and what our reader must make of it.
struct Expected
{
    std::string name;
    Bytes bytes;
    std::function<void(const PackedItem&, const Bytes&)> check;
};

void expectItem(const Expected& e)
{
    UnpackContext context{};
    initUnpackContext(context, e.bytes.data(), static_cast<uint32_t>(e.bytes.size()));
    unpackNext(context);
    ASSERT_EQ(MPK_RC_OK, context.returnCode) << e.name;
    e.check(context.item, e.bytes);
    // Every one of these is a single whole item (containers: the header).
    EXPECT_EQ(e.bytes.data() + e.bytes.size(), context.current) << e.name;
}

auto blobAtEnd(int32_t type, uint32_t n, const Bytes& data, const std::string& name)
{
    return [=](const PackedItem& item, const Bytes& bytes)
    {
        EXPECT_EQ(type, item.type) << name;
        EXPECT_EQ(n, item.value.asBlob.length) << name;
        EXPECT_EQ(bytes.data() + bytes.size() - n, item.value.asBlob.start) << name;
        EXPECT_EQ(data, Bytes(item.value.asBlob.start, item.value.asBlob.start + n)) << name;
    };
}

TEST(MessagePackOracle, ReaderDecodesMsgpackC)
{
    std::vector<Expected> cases;
    for (uint64_t v : kUnsigned)
        cases.push_back({"uint " + std::to_string(v),
                         reference([&](msgpack_packer* p) { msgpack_pack_uint64(p, v); }),
                         [v](const PackedItem& item, const Bytes&)
                         {
                             EXPECT_EQ(PackedItemType::PositiveInteger, item.type);
                             EXPECT_EQ(v, item.value.asUnsigned);
                         }});
    for (int64_t v : kNegative)
        cases.push_back({"int " + std::to_string(v),
                         reference([&](msgpack_packer* p) { msgpack_pack_int64(p, v); }),
                         [v](const PackedItem& item, const Bytes&)
                         {
                             EXPECT_EQ(PackedItemType::NegativeInteger, item.type) << v;
                             EXPECT_EQ(v, item.value.asSigned);
                         }});
    // Non-negative values in the signed encodings.
    const std::pair<std::string, std::function<void(msgpack_packer*)>> signedForms[] = {
        {"fix_int8 100", [](msgpack_packer* p) { msgpack_pack_fix_int8(p, 100); }},
        {"fix_int16 100", [](msgpack_packer* p) { msgpack_pack_fix_int16(p, 100); }},
        {"fix_int32 100", [](msgpack_packer* p) { msgpack_pack_fix_int32(p, 100); }},
        {"fix_int64 100", [](msgpack_packer* p) { msgpack_pack_fix_int64(p, 100); }},
    };
    for (const auto& form : signedForms)
        cases.push_back({form.first, reference(form.second),
                         [](const PackedItem& item, const Bytes&)
                         {
                             EXPECT_EQ(PackedItemType::PositiveInteger, item.type);
                             EXPECT_EQ(100u, item.value.asUnsigned);
                         }});
    for (float f : kFloats)
        cases.push_back({"float", reference([&](msgpack_packer* p) { msgpack_pack_float(p, f); }),
                         [f](const PackedItem& item, const Bytes&)
                         {
                             EXPECT_EQ(PackedItemType::Float, item.type);
                             EXPECT_EQ(0, std::memcmp(&f, &item.value.asFloat, sizeof f));
                         }});
    for (double d : kDoubles)
        cases.push_back({"double", reference([&](msgpack_packer* p) { msgpack_pack_double(p, d); }),
                         [d](const PackedItem& item, const Bytes&)
                         {
                             EXPECT_EQ(PackedItemType::Double, item.type);
                             EXPECT_EQ(d, item.value.asDouble);
                         }});
    for (uint32_t n : kStringLengths)
    {
        const Bytes data = text(n);
        cases.push_back({"str " + std::to_string(n),
                         reference([&](msgpack_packer* p) { msgpack_pack_str_with_body(p, data.data(), n); }),
                         blobAtEnd(PackedItemType::Str, n, data, "str")});
        cases.push_back({"v4raw " + std::to_string(n),
                         reference(
                             [&](msgpack_packer* p)
                             {
                                 msgpack_pack_v4raw(p, n);
                                 msgpack_pack_v4raw_body(p, data.data(), n);
                             }),
                         blobAtEnd(PackedItemType::Str, n, data, "v4raw")});
        cases.push_back({"bin " + std::to_string(n),
                         reference([&](msgpack_packer* p) { msgpack_pack_bin_with_body(p, data.data(), n); }),
                         blobAtEnd(PackedItemType::Bin, n, data, "bin")});
    }
    const uint32_t extLengths[] = {0, 1, 2, 3, 4, 8, 16, 17, 255, 256, 65535, 65536};
    const int8_t extTypes[] = {0, 5, 127, -1, -2, -128};
    for (uint32_t n : extLengths)
        for (int8_t t : extTypes)
        {
            const Bytes data = text(n);
            cases.push_back(
                {"ext " + std::to_string(n) + " type " + std::to_string(t),
                 reference([&](msgpack_packer* p) { msgpack_pack_ext_with_body(p, data.data(), n, t); }),
                 blobAtEnd(t, n, data, "ext")});
        }
    for (uint32_t n : kCounts)
    {
        cases.push_back({"array " + std::to_string(n),
                         reference([&](msgpack_packer* p) { msgpack_pack_array(p, n); }),
                         [n](const PackedItem& item, const Bytes&)
                         {
                             EXPECT_EQ(PackedItemType::Array, item.type);
                             EXPECT_EQ(n, item.value.asCount);
                         }});
        cases.push_back({"map " + std::to_string(n),
                         reference([&](msgpack_packer* p) { msgpack_pack_map(p, n); }),
                         [n](const PackedItem& item, const Bytes&)
                         {
                             EXPECT_EQ(PackedItemType::Map, item.type);
                             EXPECT_EQ(n, item.value.asCount);
                         }});
    }
    cases.push_back({"nil", reference([](msgpack_packer* p) { msgpack_pack_nil(p); }),
                     [](const PackedItem& item, const Bytes&)
                     { EXPECT_EQ(PackedItemType::Nil, item.type); }});
    cases.push_back({"true", reference([](msgpack_packer* p) { msgpack_pack_true(p); }),
                     [](const PackedItem& item, const Bytes&)
                     {
                         EXPECT_EQ(PackedItemType::Boolean, item.type);
                         EXPECT_TRUE(item.value.asBool);
                     }});
    cases.push_back({"false", reference([](msgpack_packer* p) { msgpack_pack_false(p); }),
                     [](const PackedItem& item, const Bytes&)
                     {
                         EXPECT_EQ(PackedItemType::Boolean, item.type);
                         EXPECT_FALSE(item.value.asBool);
                     }});
    for (const auto& e : cases)
        expectItem(e);
}

// A whole message-shaped run of items, unpacked by msgpack-c from our bytes.
TEST(MessagePackOracle, MsgpackCReadsOurSequence)
{
    Bytes buffer(256);
    PackContext c;
    initPackContext(c, buffer.data(), static_cast<uint32_t>(buffer.size()));
    packUnsigned(c, 4);
    packString(c, "amp\0", 4);
    packUnsigned(c, 70000);
    packFloat(c, 0.25f);
    packArraySize(c, 2);
    packUnsigned(c, 1);
    packBoolean(c, true);
    ASSERT_EQ(MPK_RC_OK, c.returnCode);
    const size_t size = static_cast<size_t>(c.current - c.start);

    msgpack_unpacked result;
    msgpack_unpacked_init(&result);
    size_t offset = 0;
    const char* data = reinterpret_cast<const char*>(buffer.data());
    ASSERT_EQ(MSGPACK_UNPACK_SUCCESS, msgpack_unpack_next(&result, data, size, &offset));
    EXPECT_EQ(4u, result.data.via.u64);
    ASSERT_EQ(MSGPACK_UNPACK_SUCCESS, msgpack_unpack_next(&result, data, size, &offset));
    ASSERT_EQ(MSGPACK_OBJECT_STR, result.data.type);
    EXPECT_EQ(std::string("amp\0", 4), std::string(result.data.via.str.ptr, result.data.via.str.size));
    ASSERT_EQ(MSGPACK_UNPACK_SUCCESS, msgpack_unpack_next(&result, data, size, &offset));
    EXPECT_EQ(70000u, result.data.via.u64);
    ASSERT_EQ(MSGPACK_UNPACK_SUCCESS, msgpack_unpack_next(&result, data, size, &offset));
    EXPECT_EQ(MSGPACK_OBJECT_FLOAT32, result.data.type);
    EXPECT_EQ(0.25, result.data.via.f64);
    ASSERT_EQ(MSGPACK_UNPACK_SUCCESS, msgpack_unpack_next(&result, data, size, &offset));
    ASSERT_EQ(MSGPACK_OBJECT_ARRAY, result.data.type);
    ASSERT_EQ(2u, result.data.via.array.size);
    EXPECT_EQ(1u, result.data.via.array.ptr[0].via.u64);
    EXPECT_TRUE(result.data.via.array.ptr[1].via.boolean);
    EXPECT_EQ(size, offset);
    msgpack_unpacked_destroy(&result);
}

} // namespace
