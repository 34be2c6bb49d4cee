#include "commands/MessagePack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;
using PackStep = std::function<void(PackContext&)>;

Bytes concat(Bytes head, const Bytes& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

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

// ---- reader ----

struct ReadResult
{
    int32_t code;
    PackedItem item;
    size_t consumed;
};

ReadResult readOne(const Bytes& input)
{
    UnpackContext context{};
    initUnpackContext(context, input.data(), static_cast<uint32_t>(input.size()));
    unpackNext(context);
    return {context.returnCode, context.item, static_cast<size_t>(context.current - context.start)};
}

struct ReaderCase
{
    std::string name;
    Bytes input;
    int32_t code;
    int32_t type;
    std::function<void(const PackedItem&, const uint8_t* input)> check;
    size_t consumed;
};

auto isUnsigned(uint64_t v)
{
    return [v](const PackedItem& item, const uint8_t*) { EXPECT_EQ(v, item.value.asUnsigned); };
}
auto isSigned(int64_t v)
{
    return [v](const PackedItem& item, const uint8_t*) { EXPECT_EQ(v, item.value.asSigned); };
}
auto isCount(uint32_t v)
{
    return [v](const PackedItem& item, const uint8_t*) { EXPECT_EQ(v, item.value.asCount); };
}
auto isBlob(size_t offset, uint32_t length)
{
    return [offset, length](const PackedItem& item, const uint8_t* input)
    {
        EXPECT_EQ(input + offset, item.value.asBlob.start);
        EXPECT_EQ(length, item.value.asBlob.length);
    };
}
auto isBool(bool v)
{
    return [v](const PackedItem& item, const uint8_t*) { EXPECT_EQ(v, item.value.asBool); };
}
auto nothing()
{
    return [](const PackedItem&, const uint8_t*) {};
}

TEST(MessagePackReader, TypeByteTable)
{
    using T = PackedItemType::Type;
    const std::vector<ReaderCase> cases = {
        {"fixint 0", {0x00}, 0, T::PositiveInteger, isUnsigned(0), 1},
        {"fixint 127", {0x7F}, 0, T::PositiveInteger, isUnsigned(127), 1},
        {"fixmap", {0x85}, 0, T::Map, isCount(5), 1},
        {"fixarray", {0x9F}, 0, T::Array, isCount(15), 1},
        {"fixstr", {0xA3, 'a', 'b', 'c'}, 0, T::Str, isBlob(1, 3), 4},
        {"fixstr 0", {0xA0}, 0, T::Str, isBlob(1, 0), 1},
        {"nil", {0xC0}, 0, T::Nil, nothing(), 1},
        {"C1", {0xC1, 0x00}, MPK_RC_MALFORMED_INPUT, T::NotAnItem, nothing(), 1},
        {"false", {0xC2}, 0, T::Boolean, isBool(false), 1},
        {"true", {0xC3}, 0, T::Boolean, isBool(true), 1},
        {"bin8", {0xC4, 0x02, 1, 2}, 0, T::Bin, isBlob(2, 2), 4},
        {"bin16", {0xC5, 0x00, 0x01, 9}, 0, T::Bin, isBlob(3, 1), 4},
        {"bin32", {0xC6, 0, 0, 0, 1, 9}, 0, T::Bin, isBlob(5, 1), 6},
        {"ext8 type -2", {0xC7, 0x01, 0xFE, 0xAA}, 0, -2, isBlob(3, 1), 4},
        {"ext16", {0xC8, 0x00, 0x02, 0x7F, 1, 2}, 0, 127, isBlob(4, 2), 6},
        {"ext32 empty", {0xC9, 0, 0, 0, 0, 0x80}, 0, -128, isBlob(6, 0), 6},
        {"float",
         {0xCA, 0x3F, 0x80, 0, 0},
         0,
         T::Float,
         [](const PackedItem& i, const uint8_t*) { EXPECT_EQ(1.0f, i.value.asFloat); },
         5},
        {"double",
         {0xCB, 0x3F, 0xF8, 0, 0, 0, 0, 0, 0},
         0,
         T::Double,
         [](const PackedItem& i, const uint8_t*) { EXPECT_EQ(1.5, i.value.asDouble); },
         9},
        {"uint8", {0xCC, 0xFF}, 0, T::PositiveInteger, isUnsigned(255), 2},
        {"uint16", {0xCD, 0x12, 0x34}, 0, T::PositiveInteger, isUnsigned(0x1234), 3},
        {"uint32", {0xCE, 0x12, 0x34, 0x56, 0x78}, 0, T::PositiveInteger, isUnsigned(0x12345678), 5},
        {"uint64 max",
         {0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         0,
         T::PositiveInteger,
         isUnsigned(UINT64_MAX),
         9},
        {"int8 -1", {0xD0, 0xFF}, 0, T::NegativeInteger, isSigned(-1), 2},
        {"int8 5", {0xD0, 0x05}, 0, T::PositiveInteger, isUnsigned(5), 2},
        {"int16 -32768", {0xD1, 0x80, 0x00}, 0, T::NegativeInteger, isSigned(-32768), 3},
        {"int32 -2", {0xD2, 0xFF, 0xFF, 0xFF, 0xFE}, 0, T::NegativeInteger, isSigned(-2), 5},
        {"int32 max", {0xD2, 0x7F, 0xFF, 0xFF, 0xFF}, 0, T::PositiveInteger, isUnsigned(0x7FFFFFFF), 5},
        {"int64 min", {0xD3, 0x80, 0, 0, 0, 0, 0, 0, 0}, 0, T::NegativeInteger, isSigned(INT64_MIN), 9},
        {"fixext1", {0xD4, 0x05, 0xAA}, 0, 5, isBlob(2, 1), 3},
        {"fixext2", {0xD5, 0x01, 1, 2}, 0, 1, isBlob(2, 2), 4},
        {"fixext4", {0xD6, 0x01, 1, 2, 3, 4}, 0, 1, isBlob(2, 4), 6},
        {"fixext8", concat({0xD7, 0xFF}, Bytes(8, 7)), 0, -1, isBlob(2, 8), 10},
        {"fixext16", concat({0xD8, 0x00}, Bytes(16, 7)), 0, 0, isBlob(2, 16), 18},
        {"str8", {0xD9, 0x01, 'q'}, 0, T::Str, isBlob(2, 1), 3},
        {"str16", {0xDA, 0x00, 0x01, 'q'}, 0, T::Str, isBlob(3, 1), 4},
        {"str32", {0xDB, 0, 0, 0, 1, 'q', 'r'}, 0, T::Str, isBlob(5, 1), 6},
        {"array16", {0xDC, 0x00, 0x03}, 0, T::Array, isCount(3), 3},
        {"array32", {0xDD, 0x00, 0x01, 0x00, 0x00}, 0, T::Array, isCount(65536), 5},
        {"map16", {0xDE, 0x01, 0x00}, 0, T::Map, isCount(256), 3},
        {"map32", {0xDF, 0xFF, 0xFF, 0xFF, 0xFF}, 0, T::Map, isCount(0xFFFFFFFF), 5},
        {"negative fixint -32", {0xE0}, 0, T::NegativeInteger, isSigned(-32), 1},
        {"negative fixint -1", {0xFF}, 0, T::NegativeInteger, isSigned(-1), 1},
        // Input ending inside an item.
        {"uint16 cut", {0xCD, 0x01}, MPK_RC_BUFFER_UNDERFLOW, T::NotAnItem, nothing(), 1},
        {"fixstr cut", {0xA4, 'a', 'b'}, MPK_RC_BUFFER_UNDERFLOW, T::NotAnItem, nothing(), 1},
        {"ext8 without type", {0xC7, 0x01}, MPK_RC_BUFFER_UNDERFLOW, T::NotAnItem, nothing(), 2},
        {"fixext4 cut", {0xD6, 0x01, 1, 2}, MPK_RC_BUFFER_UNDERFLOW, T::NotAnItem, nothing(), 2},
        {"double cut", {0xCB, 0, 0}, MPK_RC_BUFFER_UNDERFLOW, T::NotAnItem, nothing(), 1},
        // A 32-bit length must not wrap the space check.
        {"str32 of 2^32-1",
         {0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 'a'},
         MPK_RC_BUFFER_UNDERFLOW,
         T::NotAnItem,
         nothing(),
         5},
        {"bin32 of 2^32-1",
         {0xC6, 0xFF, 0xFF, 0xFF, 0xFF},
         MPK_RC_BUFFER_UNDERFLOW,
         T::NotAnItem,
         nothing(),
         5},
        {"ext32 of 2^32-1",
         {0xC9, 0xFF, 0xFF, 0xFF, 0xFF, 0x01},
         MPK_RC_BUFFER_UNDERFLOW,
         T::NotAnItem,
         nothing(),
         6},
        {"empty", {}, MPK_RC_END_OF_INPUT, T::NotAnItem, nothing(), 0},
    };
    for (const auto& tc : cases)
    {
        const ReadResult r = readOne(tc.input);
        EXPECT_EQ(tc.code, r.code) << tc.name;
        EXPECT_EQ(tc.type, r.item.type) << tc.name;
        EXPECT_EQ(tc.consumed, r.consumed) << tc.name;
        if (r.code == MPK_RC_OK)
        {
            // Compare against the same bytes as the item was read from.
            UnpackContext context{};
            initUnpackContext(context, tc.input.data(), static_cast<uint32_t>(tc.input.size()));
            unpackNext(context);
            tc.check(context.item, tc.input.data());
        }
    }
}

TEST(MessagePackReader, EveryTypeByteButC1IsValid)
{
    for (int b = 0; b < 256; ++b)
    {
        Bytes input(40, 0x00);
        input[0] = static_cast<uint8_t>(b);
        const ReadResult r = readOne(input);
        if (b == 0xC1)
            EXPECT_EQ(MPK_RC_MALFORMED_INPUT, r.code);
        else
            EXPECT_EQ(MPK_RC_OK, r.code) << "byte " << b;
    }
}

TEST(MessagePackReader, FailureSticksAndLeavesTheItem)
{
    const Bytes inputs[] = {{}, {0xCD, 0x01}, {0xC1, 0x01}};
    for (const auto& input : inputs)
    {
        UnpackContext context{};
        initUnpackContext(context, input.data(), static_cast<uint32_t>(input.size()));
        unpackNext(context);
        const int32_t code = context.returnCode;
        ASSERT_NE(MPK_RC_OK, code);
        EXPECT_EQ(PackedItemType::NotAnItem, context.item.type);
        const uint8_t* at = context.current;
        context.item.type = PackedItemType::Nil;
        unpackNext(context);
        EXPECT_EQ(code, context.returnCode);
        EXPECT_EQ(PackedItemType::Nil, context.item.type);
        EXPECT_EQ(at, context.current);
    }
}

TEST(MessagePackReader, SequenceEndsWithEndOfInput)
{
    const Bytes input = {0x93, 0x01, 0xCD, 0x01, 0x2C, 0xA1, 'z'};
    UnpackContext context{};
    initUnpackContext(context, input.data(), static_cast<uint32_t>(input.size()));
    const int32_t types[] = {PackedItemType::Array, PackedItemType::PositiveInteger,
                             PackedItemType::PositiveInteger, PackedItemType::Str};
    for (int32_t type : types)
    {
        unpackNext(context);
        ASSERT_EQ(MPK_RC_OK, context.returnCode);
        EXPECT_EQ(type, context.item.type);
    }
    unpackNext(context);
    EXPECT_EQ(MPK_RC_END_OF_INPUT, context.returnCode);
}

TEST(MessagePackReader, InitLeavesTheItem)
{
    UnpackContext context{};
    context.item.type = PackedItemType::Double;
    context.returnCode = -3;
    context.errorNumber = 9;
    uint8_t byte = 0;
    EXPECT_EQ(MPK_RC_OK, initUnpackContext(context, &byte, 1));
    EXPECT_EQ(PackedItemType::Double, context.item.type);
    EXPECT_EQ(0, context.returnCode);
    EXPECT_EQ(0, context.errorNumber);
    EXPECT_EQ(nullptr, context.underflowHandler);
}

// Underflow handler fixture: serves the rest of an item from a second buffer.
Bytes gMore;
int gHandlerResult;
uint32_t gAsked;
int moreInput(UnpackContext& context, uint32_t needed)
{
    gAsked = needed;
    if (gHandlerResult != 0)
        return gHandlerResult;
    context.current = gMore.data();
    context.end = gMore.data() + gMore.size();
    return 0;
}

struct HandlerCase
{
    std::string name;
    Bytes first;
    Bytes more;
    int handlerResult;
    int32_t code;
    uint32_t asked;
};

TEST(MessagePackReader, UnderflowHandlerResult)
{
    const std::vector<HandlerCase> cases = {
        {"type byte from handler", {}, {0x05}, 0, MPK_RC_OK, 1},
        {"value from handler", {0xCD}, {0x01, 0x00}, 0, MPK_RC_OK, 2},
        {"refused at the type byte keeps its code", {}, {}, MPK_RC_END_OF_INPUT, MPK_RC_END_OF_INPUT, 1},
        {"end of input inside an item is underflow",
         {0xCD},
         {},
         MPK_RC_END_OF_INPUT,
         MPK_RC_BUFFER_UNDERFLOW,
         2},
        {"handler's own code", {0xCA, 0}, {}, MPK_RC_STOPPED, MPK_RC_STOPPED, 4},
        {"other code at type byte", {}, {}, 42, 42, 1},
    };
    for (const auto& tc : cases)
    {
        gMore = tc.more;
        gHandlerResult = tc.handlerResult;
        gAsked = 0;
        UnpackContext context{};
        initUnpackContext(context, tc.first.data(), static_cast<uint32_t>(tc.first.size()));
        context.underflowHandler = moreInput;
        unpackNext(context);
        EXPECT_EQ(tc.code, context.returnCode) << tc.name;
        EXPECT_EQ(tc.asked, gAsked) << tc.name;
        if (tc.code == MPK_RC_OK)
            EXPECT_EQ(PackedItemType::PositiveInteger, context.item.type) << tc.name;
        else
            EXPECT_EQ(PackedItemType::NotAnItem, context.item.type) << tc.name;
    }
}

} // namespace
