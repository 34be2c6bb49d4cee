// The record-list reply parsers on arbitrary decoded payloads. A parser that
// accepts must have matched the length exactly, in 64 bits; one that refuses
// leaves no records.
#include "commands/RecordLists.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

template <typename Record, typename Parse> void check(const uint8_t* data, std::size_t size, Parse parse)
{
    std::vector<Record> out(2);
    const bool ok = parse(data, int(size), out);
    if (!ok)
    {
        if (!out.empty())
            std::abort();
        return;
    }
    uint32_t count = 0;
    std::memcpy(&count, data, 4);
    if (size != 4 + uint64_t(count) * sizeof(Record) || out.size() != count)
        std::abort();
    if (count > 0 && std::memcmp(&out.back(), data + size - sizeof(Record), sizeof(Record)) != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // The parsers take decoded replies, at most 768 bytes; lengths beyond
    // that still must not be read past.
    check<SixByteRecord>(data, size, parseRecords6);
    check<TenByteRecord>(data, size, parseRecords10);
    check<SixteenByteRecord>(data, size, parseRecords16);
    return 0;
}
