// lzwDecode with a limit taken from the input: it decodes the same bytes as a
// decode limited only by the harness's 16 MiB, or refuses with outputLimit
// and produces nothing, and its buffer never grows more than 16 bytes past
// the limit.
//
// Byte 0 picks how bytes 1-3 give the limit: even, as a 24-bit number; odd,
// as a signed step from the size of the reference decode, when that decodes,
// so limits around the output's size are tried. The stream follows.
#include "presets/LzwCodec.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

namespace
{

constexpr size_t referenceLimit = size_t(1) << 24;
constexpr size_t copySlack = 16;

using Reason = mvhw::LzwStreamError::Reason;

void expect(bool condition)
{
    if (!condition)
        std::abort();
}

// The refusal's reason, or none when the stream decodes.
std::optional<Reason> decode(const std::vector<uint8_t>& stream, std::vector<uint8_t>& output, size_t limit)
{
    try
    {
        mvhw::lzwDecode(stream, output, limit);
    }
    catch (const mvhw::LzwStreamError& e)
    {
        expect(output.empty());
        return e.reason;
    }
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    const std::vector<uint8_t> stream(data + 4, data + size);
    std::vector<uint8_t> reference;
    const std::optional<Reason> referenceRefusal = decode(stream, reference, referenceLimit);

    size_t limit = size_t(data[1]) | size_t(data[2]) << 8 | size_t(data[3]) << 16;
    if (data[0] % 2 == 1 && !referenceRefusal)
        limit = size_t(std::max<long>(0, long(reference.size()) + int8_t(data[1])));

    std::vector<uint8_t> output;
    const std::optional<Reason> refusal = decode(stream, output, limit);
    expect(output.capacity() <= limit + copySlack);
    if (!referenceRefusal)
    {
        if (reference.size() <= limit)
            expect(!refusal && output == reference);
        else
            expect(refusal == Reason::outputLimit);
    }
    else if (*referenceRefusal == Reason::outputLimit)
    {
        // More than the reference limit, which is above this one.
        expect(refusal == Reason::outputLimit);
    }
    else
    {
        // Malformed, unless the limit comes first.
        expect(refusal == referenceRefusal || refusal == Reason::outputLimit);
    }
    return 0;
}
