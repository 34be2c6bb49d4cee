// The MessagePack reader on arbitrary bytes beside msgpack-c's unpacker, value
// by value. Our reader gives a flat run of items (a container is its header,
// then its elements); msgpack-c gives whole objects, whose trees, walked
// parent first, are the same run. The run agrees when:
//  - every object msgpack-c unpacks is our next items, each of the same type
//    and value, and ends where our last of them ends:
//      nil, boolean, positive and negative integer: the same type and value;
//      float32: our float widened to double has msgpack-c's bits; float64:
//      the same bits;
//      str, bin, ext: the same type (an ext by its own type byte) and length,
//      the data at the same place in the input;
//      array, map: the same count, then the elements, a map's as key, value;
//  - where msgpack-c unpacks no object:
//      our reader fails there, with MPK_RC_BUFFER_UNDERFLOW where msgpack-c
//      wants more input and MPK_RC_MALFORMED_INPUT where it finds a parse
//      error (the byte C1);
//      or our item there is a container header: msgpack-c cannot complete it
//      because it is cut off, holds a failure, nests deeper than msgpack-c's
//      32 levels (its "no memory" error) or claims more elements than the
//      input can hold (below). The header must then be the one its bytes
//      give, and its elements go on as a run of their own;
//  - at the end of the input our reader gives MPK_RC_END_OF_INPUT.
// Two differences are intended:
//  - msgpack-c allocates a container's elements from its count before it reads
//    any, so a count the rest of the input cannot meet (one byte per array
//    element, two per map pair at least) is never shown to it: it could not
//    complete such a container anyway;
//  - an ext32 of 2^32 - 1 data bytes wraps msgpack-c's count of the bytes to
//    read to 0, a parse error; our reader wants the bytes, which no input of
//    32-bit length holds: MPK_RC_BUFFER_UNDERFLOW.
#include "commands/MessagePack.h"

#include <msgpack.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

// One item of our run: where it begins and where the next one begins.
struct Item
{
    size_t at;
    size_t next;
    PackedItem item;
};

struct OurRun
{
    std::vector<Item> items;
    int32_t failure; // the code that ended the run
    size_t failedAt; // where the failed item began
};

OurRun readOurs(const uint8_t* data, size_t size)
{
    OurRun run{{}, MPK_RC_OK, 0};
    UnpackContext context{};
    initUnpackContext(context, data, static_cast<uint32_t>(size));
    for (;;)
    {
        const size_t at = static_cast<size_t>(context.current - data);
        unpackNext(context);
        if (context.returnCode != MPK_RC_OK)
        {
            run.failure = context.returnCode;
            run.failedAt = at;
            return run;
        }
        run.items.push_back({at, static_cast<size_t>(context.current - data), context.item});
    }
}

bool isContainer(const PackedItem& item)
{
    return item.type == PackedItemType::Array || item.type == PackedItemType::Map;
}

// A count the bytes after the header cannot meet.
bool claimsTooMuch(const Item& item, size_t size)
{
    if (!isContainer(item.item))
        return false;
    const uint64_t least =
        uint64_t(item.item.value.asCount) * (item.item.type == PackedItemType::Map ? 2 : 1);
    return least > size - item.next;
}

// The header as its bytes give it: fixmap 80-8F, fixarray 90-9F, array16 DC,
// array32 DD, map16 DE, map32 DF, the count big-endian.
bool headerAgrees(const uint8_t* data, const Item& item)
{
    const uint8_t* p = data + item.at;
    const uint8_t type = p[0];
    bool map = false;
    size_t length = 1;
    uint32_t count = 0;
    if (type >= 0x80 && type <= 0x9F)
    {
        map = type < 0x90;
        count = type & 0x0Fu;
    }
    else if (type >= 0xDC && type <= 0xDF)
    {
        map = type >= 0xDE;
        length = (type & 1) != 0 ? 5 : 3;
        for (size_t i = 1; i < length; ++i)
            count = count << 8 | p[i];
    }
    else
    {
        return false;
    }
    return item.next - item.at == length &&
           item.item.type == (map ? PackedItemType::Map : PackedItemType::Array) &&
           item.item.value.asCount == count;
}

bool sameBlob(const PackedBlob& blob, const char* ptr, uint32_t size)
{
    return blob.length == size && (size == 0 || blob.start == reinterpret_cast<const uint8_t*>(ptr));
}

template <typename T> uint64_t bitsOf(T value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof value);
    return bits;
}

// Walks the object parent first against our items from `next` on.
bool sameObject(const msgpack_object& o, const std::vector<Item>& items, size_t& next)
{
    if (next >= items.size())
        return false;
    const PackedItem& item = items[next++].item;
    switch (o.type)
    {
        case MSGPACK_OBJECT_NIL:
            return item.type == PackedItemType::Nil;
        case MSGPACK_OBJECT_BOOLEAN:
            return item.type == PackedItemType::Boolean && item.value.asBool == o.via.boolean;
        case MSGPACK_OBJECT_POSITIVE_INTEGER:
            return item.type == PackedItemType::PositiveInteger && item.value.asUnsigned == o.via.u64;
        case MSGPACK_OBJECT_NEGATIVE_INTEGER:
            return item.type == PackedItemType::NegativeInteger && item.value.asSigned == o.via.i64;
        case MSGPACK_OBJECT_FLOAT32:
            return item.type == PackedItemType::Float &&
                   bitsOf(static_cast<double>(item.value.asFloat)) == bitsOf(o.via.f64);
        case MSGPACK_OBJECT_FLOAT64:
            return item.type == PackedItemType::Double && bitsOf(item.value.asDouble) == bitsOf(o.via.f64);
        case MSGPACK_OBJECT_STR:
            return item.type == PackedItemType::Str &&
                   sameBlob(item.value.asBlob, o.via.str.ptr, o.via.str.size);
        case MSGPACK_OBJECT_BIN:
            return item.type == PackedItemType::Bin &&
                   sameBlob(item.value.asBlob, o.via.bin.ptr, o.via.bin.size);
        case MSGPACK_OBJECT_EXT:
            return item.type == o.via.ext.type && sameBlob(item.value.asBlob, o.via.ext.ptr, o.via.ext.size);
        case MSGPACK_OBJECT_ARRAY:
            if (item.type != PackedItemType::Array || item.value.asCount != o.via.array.size)
                return false;
            for (uint32_t i = 0; i < o.via.array.size; ++i)
                if (!sameObject(o.via.array.ptr[i], items, next))
                    return false;
            return true;
        case MSGPACK_OBJECT_MAP:
            if (item.type != PackedItemType::Map || item.value.asCount != o.via.map.size)
                return false;
            for (uint32_t i = 0; i < o.via.map.size; ++i)
                if (!sameObject(o.via.map.ptr[i].key, items, next) ||
                    !sameObject(o.via.map.ptr[i].val, items, next))
                    return false;
            return true;
    }
    return false;
}

bool isWrappingExt32(const uint8_t* p, size_t left)
{
    return left >= 5 && p[0] == 0xC9 && p[1] == 0xFF && p[2] == 0xFF && p[3] == 0xFF && p[4] == 0xFF;
}

// Our reader's failure at `at`, where msgpack-c unpacked nothing with `result`.
bool sameFailure(const OurRun& run, size_t at, const uint8_t* data, size_t size, msgpack_unpack_return result)
{
    if (run.failedAt != at)
        return false;
    switch (result)
    {
        case MSGPACK_UNPACK_CONTINUE:
            return run.failure == MPK_RC_BUFFER_UNDERFLOW;
        case MSGPACK_UNPACK_PARSE_ERROR:
            return run.failure ==
                   (isWrappingExt32(data + at, size - at) ? MPK_RC_BUFFER_UNDERFLOW : MPK_RC_MALFORMED_INPUT);
        default:
            return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    const OurRun run = readOurs(data, size);
    // msgpack-c sees the bytes up to the next count that cannot be met.
    std::vector<size_t> limits;
    for (const Item& item : run.items)
        if (claimsTooMuch(item, size))
            limits.push_back(item.at);
    limits.push_back(size);
    size_t nextLimit = 0;

    msgpack_unpacked result;
    msgpack_unpacked_init(&result);
    size_t at = 0;   // where the next object begins
    size_t next = 0; // our item there
    while (at < size)
    {
        while (limits[nextLimit] < at)
            ++nextLimit;
        const size_t limit = limits[nextLimit];
        size_t used = 0;
        const msgpack_unpack_return unpacked =
            limit > at
                ? msgpack_unpack_next(&result, reinterpret_cast<const char*>(data + at), limit - at, &used)
                : MSGPACK_UNPACK_CONTINUE;
        if (unpacked == MSGPACK_UNPACK_SUCCESS || unpacked == MSGPACK_UNPACK_EXTRA_BYTES)
        {
            if (!sameObject(result.data, run.items, next) || run.items[next - 1].next != at + used)
                std::abort();
            at += used;
            continue;
        }
        if (next == run.items.size())
        {
            if (!sameFailure(run, at, data, size, unpacked))
                std::abort();
            msgpack_unpacked_destroy(&result);
            return 0;
        }
        // A container msgpack-c cannot complete: its header, then its
        // elements one by one.
        const Item& header = run.items[next];
        if (header.at != at || !headerAgrees(data, header))
            std::abort();
        at = header.next;
        ++next;
    }
    msgpack_unpacked_destroy(&result);
    if (next != run.items.size() || run.failure != MPK_RC_END_OF_INPUT || run.failedAt != size)
        std::abort();
    return 0;
}
