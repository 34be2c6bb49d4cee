#include "commands/MessagePack.h"

#include "PackTestBytes.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{

using packtest::Bytes;
using packtest::concat;

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
