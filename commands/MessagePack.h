#pragma once

// A small MessagePack writer and reader working in place on caller buffers.
// Nothing here allocates. A failure is stored in the context as a negative
// return code and every later operation on that context does nothing, so a
// caller may run a whole sequence and test once.

#include <cstdint>

// Return codes.
constexpr int32_t MPK_RC_OK = 0;
constexpr int32_t MPK_RC_END_OF_INPUT = -1;     // no byte left where an item should begin
constexpr int32_t MPK_RC_BUFFER_OVERFLOW = -2;  // an item does not fit the output
constexpr int32_t MPK_RC_BUFFER_UNDERFLOW = -3; // an item is cut off by the end of the input
constexpr int32_t MPK_RC_MALFORMED_INPUT = -4;  // type byte 0xC1
constexpr int32_t MPK_RC_WRONG_BYTE_ORDER = -5;
constexpr int32_t MPK_RC_ERROR_IN_HANDLER = -6;
constexpr int32_t MPK_RC_ILLEGAL_CALL = -7;
constexpr int32_t MPK_RC_MALLOC_ERROR = -8;
constexpr int32_t MPK_RC_STOPPED = -9;

// Item types. An ext item carries its own signed type byte (-128..127) in
// PackedItem::type instead of one of these.
namespace PackedItemType
{
enum Type : int32_t
{
    Nil = 300,
    Boolean = 301,
    PositiveInteger = 302, // also every non-negative signed encoding
    NegativeInteger = 303,
    Float = 304,
    Double = 305,
    Str = 306,
    Bin = 307,
    Array = 308,
    Map = 309,
    Ext = 310, // only while an ext item is being read
    NotAnItem = 999,
};
} // namespace PackedItemType

struct PackedBlob
{
    const uint8_t* start; // points into the input buffer
    uint32_t length;
};

union PackedValue
{
    bool asBool;
    uint64_t asUnsigned;
    int64_t asSigned;
    float asFloat;
    double asDouble;
    PackedBlob asBlob;
    uint32_t asCount; // elements of an array, key-value pairs of a map
};

struct PackedItem
{
    int32_t type; // a PackedItemType, or an ext item's own type
    PackedValue value;
};

struct PackContext;
struct UnpackContext;

// Returns 0 when it has made room for `needed` bytes from context.current.
using PackOverflowHandler = int (*)(PackContext& context, uint32_t needed);
// Returns 0 when `needed` bytes are readable from context.current (it may move
// current and end).
using UnpackUnderflowHandler = int (*)(UnpackContext& context, uint32_t needed);

struct PackContext
{
    uint8_t* start;
    uint8_t* current;
    uint8_t* end;
    bool compatible; // strings of 32..255 bytes as str16 instead of str8
    int32_t returnCode;
    int32_t errorNumber; // for a handler's own use
    PackOverflowHandler overflowHandler;
};

struct UnpackContext
{
    PackedItem item;
    const uint8_t* start;
    const uint8_t* current;
    const uint8_t* end;
    int32_t returnCode;
    int32_t errorNumber; // for a handler's own use
    UnpackUnderflowHandler underflowHandler;
};

// Writer. The output length is current - start.
int initPackContext(PackContext& context, uint8_t* buffer, uint32_t length);
void packUnsigned(PackContext& context, uint64_t value);
// A str item of exactly `length` bytes copied from data; no terminator added.
void packString(PackContext& context, const void* data, uint32_t length);
// Only the header; the caller then packs `count` items.
void packArraySize(PackContext& context, uint32_t count);
void packFloat(PackContext& context, float value);
void packBoolean(PackContext& context, bool value);

// Reader. initUnpackContext leaves `item` untouched.
int initUnpackContext(UnpackContext& context, const void* data, uint32_t length);
// Reads one item into context.item; an array or map consumes only its header.
void unpackNext(UnpackContext& context);
