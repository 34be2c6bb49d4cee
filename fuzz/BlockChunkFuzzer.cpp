// BlockChunk::parse with the block read's length check, on arbitrary decoded
// chunk payloads in the read's zeroed 768-byte buffer: the parse stays inside
// the buffer, and a chunk the check accepts lies within the payload.
#include "commands/BlockTransfer.h"

#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size > 768)
        return 0;
    // Exactly 768 bytes on the heap, so a read beyond them is caught.
    auto payload = std::make_unique<uint8_t[]>(768);
    std::memset(payload.get(), 0, 768);
    std::memcpy(payload.get(), data, size);

    BlockChunk chunk;
    chunk.parse(payload.get());
    const unsigned taken = chunk.chunkSize();
    if (taken > 5 + 255 + 1)
        std::abort();
    if (taken <= size)
    {
        const unsigned dataAt = chunk.chunkNumber == 1 ? 5 : 3;
        if (std::memcmp(chunk.data, data + dataAt, chunk.dataLength) != 0)
            std::abort();
        if (chunk.chunkNumber == chunk.totalChunks && chunk.blockSum != data[dataAt + chunk.dataLength])
            std::abort();
    }
    return 0;
}
