#include "commands/MessagePack.h"

#include "PackTestBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace
{

using packtest::Bytes;
using packtest::concat;
using PackStep = std::function<void(PackContext&)>;

Bytes filler(size_t n)
{
    Bytes data(n);
    for (size_t i = 0; i < n; ++i)
        data[i] = static_cast<uint8_t>('a' + i % 26);
    return data;
}

// Packs with the given steps into a buffer of `capacity` bytes and returns
// what was written; the return code goes to *code.
Bytes packInto(size_t capacity, const std::vector<PackStep>& steps, int32_t* code = nullptr,
               bool compatible = false)
{
    Bytes buffer(capacity + 1, 0xEE); // one guard byte past the end
    PackContext context;
    EXPECT_EQ(MPK_RC_OK, initPackContext(context, buffer.data(), static_cast<uint32_t>(capacity)));
    context.compatible = compatible;
    for (const auto& step : steps)
        step(context);
    EXPECT_EQ(0xEE, buffer[capacity]) << "wrote past end";
    if (code != nullptr)
        *code = context.returnCode;
    return Bytes(buffer.begin(), buffer.begin() + (context.current - context.start));
}

struct WriterCase
{
    std::string name;
    PackStep step;
    Bytes expected;
    bool compatible = false;
};

TEST(MessagePackWriter, EncodingsPickTheShortestForm)
{
    const Bytes s31 = filler(31), s32 = filler(32), s255 = filler(255), s256 = filler(256),
                s65536 = filler(65536);
    auto str = [](const Bytes& data)
    { return [data](PackContext& c) { packString(c, data.data(), static_cast<uint32_t>(data.size())); }; };
    const std::vector<WriterCase> cases = {
        {"u0", [](PackContext& c) { packUnsigned(c, 0); }, {0x00}},
        {"u127", [](PackContext& c) { packUnsigned(c, 127); }, {0x7F}},
        {"u128", [](PackContext& c) { packUnsigned(c, 128); }, {0xCC, 0x80}},
        {"u255", [](PackContext& c) { packUnsigned(c, 255); }, {0xCC, 0xFF}},
        {"u256", [](PackContext& c) { packUnsigned(c, 256); }, {0xCD, 0x01, 0x00}},
        {"u65535", [](PackContext& c) { packUnsigned(c, 65535); }, {0xCD, 0xFF, 0xFF}},
        {"u65536", [](PackContext& c) { packUnsigned(c, 65536); }, {0xCE, 0x00, 0x01, 0x00, 0x00}},
        {"u2^32-1", [](PackContext& c) { packUnsigned(c, 0xFFFFFFFFull); }, {0xCE, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"u2^32",
         [](PackContext& c) { packUnsigned(c, 0x100000000ull); },
         {0xCF, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {"u2^64-1",
         [](PackContext& c) { packUnsigned(c, UINT64_MAX); },
         {0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"str0", [](PackContext& c) { packString(c, "", 0); }, {0xA0}},
        {"str31", str(s31), concat({0xBF}, s31)},
        {"str32", str(s32), concat({0xD9, 0x20}, s32)},
        {"str32 compatible", str(s32), concat({0xDA, 0x00, 0x20}, s32), true},
        {"str255", str(s255), concat({0xD9, 0xFF}, s255)},
        {"str255 compatible", str(s255), concat({0xDA, 0x00, 0xFF}, s255), true},
        {"str256", str(s256), concat({0xDA, 0x01, 0x00}, s256)},
        {"str65536", str(s65536), concat({0xDB, 0x00, 0x01, 0x00, 0x00}, s65536)},
        {"str31 compatible", str(s31), concat({0xBF}, s31), true},
        {"array0", [](PackContext& c) { packArraySize(c, 0); }, {0x90}},
        {"array15", [](PackContext& c) { packArraySize(c, 15); }, {0x9F}},
        {"array16", [](PackContext& c) { packArraySize(c, 16); }, {0xDC, 0x00, 0x10}},
        {"array65535", [](PackContext& c) { packArraySize(c, 65535); }, {0xDC, 0xFF, 0xFF}},
        {"array65536", [](PackContext& c) { packArraySize(c, 65536); }, {0xDD, 0x00, 0x01, 0x00, 0x00}},
        {"float1", [](PackContext& c) { packFloat(c, 1.0f); }, {0xCA, 0x3F, 0x80, 0x00, 0x00}},
        {"float-0.5", [](PackContext& c) { packFloat(c, -0.5f); }, {0xCA, 0xBF, 0x00, 0x00, 0x00}},
        {"true", [](PackContext& c) { packBoolean(c, true); }, {0xC3}},
        {"false", [](PackContext& c) { packBoolean(c, false); }, {0xC2}},
    };
    for (const auto& tc : cases)
    {
        int32_t code = 1;
        // Exactly as large as the item: an item ending at `end` fits.
        EXPECT_EQ(tc.expected, packInto(tc.expected.size(), {tc.step}, &code, tc.compatible)) << tc.name;
        EXPECT_EQ(MPK_RC_OK, code) << tc.name;
        // One byte short: nothing written.
        EXPECT_TRUE(packInto(tc.expected.size() - 1, {tc.step}, &code, tc.compatible).empty()) << tc.name;
        EXPECT_EQ(MPK_RC_BUFFER_OVERFLOW, code) << tc.name;
    }
}

struct StickyCase
{
    std::string name;
    size_t capacity;
    std::vector<PackStep> steps;
    int32_t code;
    Bytes written;
};

TEST(MessagePackWriter, OverflowSticksAndSkipsLaterItems)
{
    static const uint8_t data[8] = {'x', 'y', 'z'};
    const std::vector<StickyCase> cases = {
        {"u65536 into 3 bytes, then a boolean",
         3,
         {[](PackContext& c) { packUnsigned(c, 65536); }, [](PackContext& c) { packBoolean(c, true); }},
         MPK_RC_BUFFER_OVERFLOW,
         {}},
        {"later small item skipped after overflow",
         4,
         {[](PackContext& c) { packUnsigned(c, 1); }, [](PackContext& c) { packUnsigned(c, 65536); },
          [](PackContext& c) { packUnsigned(c, 2); }},
         MPK_RC_BUFFER_OVERFLOW,
         {0x01}},
        {"exact fill of several items",
         7,
         {[](PackContext& c) { packUnsigned(c, 300); }, [](PackContext& c) { packString(c, data, 3); }},
         MPK_RC_OK,
         {0xCD, 0x01, 0x2C, 0xA3, 'x', 'y', 'z'}},
        // A 32-bit length plus its header must not wrap the space check.
        {"str32 of 2^32-1 bytes into 16",
         16,
         {[](PackContext& c) { packString(c, data, 0xFFFFFFFFu); }},
         MPK_RC_BUFFER_OVERFLOW,
         {}},
        {"str of 2^32-6 bytes into 16",
         16,
         {[](PackContext& c) { packString(c, data, 0xFFFFFFFAu); }},
         MPK_RC_BUFFER_OVERFLOW,
         {}},
        {"zero-capacity buffer",
         0,
         {[](PackContext& c) { packBoolean(c, false); }},
         MPK_RC_BUFFER_OVERFLOW,
         {}},
    };
    for (const auto& tc : cases)
    {
        int32_t code = 1;
        EXPECT_EQ(tc.written, packInto(tc.capacity, tc.steps, &code)) << tc.name;
        EXPECT_EQ(tc.code, code) << tc.name;
    }
}

TEST(MessagePackWriter, NullBufferOverflows)
{
    PackContext context;
    initPackContext(context, nullptr, 10);
    packBoolean(context, true);
    EXPECT_EQ(MPK_RC_BUFFER_OVERFLOW, context.returnCode);
    EXPECT_EQ(nullptr, context.current);
}

TEST(MessagePackWriter, InitClearsEveryField)
{
    PackContext context;
    std::memset(&context, 0x5A, sizeof context);
    uint8_t buffer[4];
    EXPECT_EQ(MPK_RC_OK, initPackContext(context, buffer, 4));
    EXPECT_EQ(buffer, context.start);
    EXPECT_EQ(buffer, context.current);
    EXPECT_EQ(buffer + 4, context.end);
    EXPECT_FALSE(context.compatible);
    EXPECT_EQ(0, context.returnCode);
    EXPECT_EQ(0, context.errorNumber);
    EXPECT_EQ(nullptr, context.overflowHandler);
}

// A handler that moves the output to a larger second buffer.
uint8_t gSpill[64];
uint32_t gNeeded;
int spillHandler(PackContext& context, uint32_t needed)
{
    gNeeded = needed;
    context.start = context.current = gSpill;
    context.end = gSpill + sizeof gSpill;
    return 0;
}
int refusingHandler(PackContext&, uint32_t needed)
{
    gNeeded = needed;
    return MPK_RC_ERROR_IN_HANDLER;
}

TEST(MessagePackWriter, OverflowHandlerResult)
{
    uint8_t buffer[2] = {};
    PackContext context;
    initPackContext(context, buffer, 2);
    context.overflowHandler = spillHandler;
    packUnsigned(context, 65536);
    EXPECT_EQ(MPK_RC_OK, context.returnCode);
    EXPECT_EQ(5u, gNeeded);
    EXPECT_EQ(Bytes({0xCE, 0x00, 0x01, 0x00, 0x00}), Bytes(gSpill, gSpill + 5));

    initPackContext(context, buffer, 2);
    context.overflowHandler = refusingHandler;
    packString(context, "abcdef", 6);
    EXPECT_EQ(MPK_RC_ERROR_IN_HANDLER, context.returnCode);
    EXPECT_EQ(7u, gNeeded);
    EXPECT_EQ(buffer, context.current);
    packBoolean(context, true); // sticky: the handler is not asked again
    EXPECT_EQ(7u, gNeeded);
    EXPECT_EQ(buffer, context.current);
}

} // namespace
