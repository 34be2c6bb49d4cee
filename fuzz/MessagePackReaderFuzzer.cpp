// The MessagePack reader on arbitrary bytes: every item until the first
// failure, with its position and blob checked to stay inside the input.
#include "commands/MessagePack.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return 0;
    UnpackContext context{};
    initUnpackContext(context, data, static_cast<uint32_t>(size));
    const uint8_t* const end = data + size;
    unsigned sum = 0;
    while (context.returnCode == MPK_RC_OK)
    {
        const uint8_t* before = context.current;
        unpackNext(context);
        if (context.current < before || context.current > end)
            std::abort();
        if (context.returnCode != MPK_RC_OK)
        {
            if (context.item.type != PackedItemType::NotAnItem)
                std::abort();
            break;
        }
        if (context.current == before)
            std::abort(); // every item consumes its type byte
        const int32_t type = context.item.type;
        const bool hasBlob =
            type == PackedItemType::Str || type == PackedItemType::Bin || (type >= -128 && type <= 127);
        if (hasBlob)
        {
            const PackedBlob blob = context.item.value.asBlob;
            if (blob.start < data || blob.start + blob.length != context.current)
                std::abort();
            for (uint32_t i = 0; i < blob.length; ++i)
                sum += blob.start[i]; // let the sanitizer see every byte
        }
    }
    // A failure sticks.
    const int32_t code = context.returnCode;
    const uint8_t* at = context.current;
    unpackNext(context);
    if (context.returnCode != code || context.current != at)
        std::abort();
    return static_cast<int>(sum & 0);
}
