#include "presets/LzwCodeReader.h"
#include "presets/LzwCodec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace mvhw
{

namespace
{

using Reason = LzwStreamError::Reason;

[[noreturn]] void refuse(std::vector<uint8_t>& output, Reason reason, const char* what)
{
    output.clear();
    throw LzwStreamError(reason, what);
}

// A code's string as a slice of the output, packed as offset << 21 | length.
// Every string the dictionary holds is an earlier string plus the byte that
// followed it, so it is already in the output. A run numbers at most 2^M
// codes and its strings are no longer than that; offsets stay below 2^43.
constexpr unsigned sliceLengthBits = 21;
constexpr uint64_t sliceLengthMask = (uint64_t(1) << sliceLengthBits) - 1;
constexpr uint64_t sliceOffsetLimit = uint64_t(1) << (64 - sliceLengthBits);
static_assert(lzwMaxCodeBits + 1 <= sliceLengthBits, "a run's longest string, one byte longer, fits a slice");

constexpr uint64_t slice(uint64_t offset, uint32_t length)
{
    return offset << sliceLengthBits | length;
}

// Bytes a string copy may write and read past its end; the output keeps
// that much room beyond the data.
constexpr size_t copySlack = 16;

// Copies a string of `length` bytes that ends at or before dest (so source
// and destination never overlap in the first `length` bytes). Short strings
// move as one 16-byte block, which may also write up to copySlack bytes of
// junk past the end; the next string or the final resize covers it.
inline void copyString(uint8_t* dest, const uint8_t* source, size_t length)
{
    if (length <= copySlack)
    {
        uint8_t block[copySlack];
        std::memcpy(block, source, copySlack);
        std::memcpy(dest, block, copySlack);
    }
    else
    {
        std::memcpy(dest, source, length);
    }
}

// Picks a or b without a branch: which one a code's string comes from is
// as good as random in poorly compressible data.
inline const uint8_t* select(bool pickA, const uint8_t* a, const uint8_t* b)
{
    const uintptr_t mask = uintptr_t(0) - uintptr_t(pickA);
    return reinterpret_cast<const uint8_t*>((uintptr_t(a) & mask) | (uintptr_t(b) & ~mask));
}

// The single symbols' bytes, padded for copyString's block reads; indexed
// by a symbol's low 8 bits.
using Alphabet = std::array<uint8_t, 256 + copySlack>;

struct StreamHeader
{
    uint32_t maxWidth;
    uint32_t alphabetSize; // also the end code
    uint32_t firstWidth;
    size_t codesStart; // offset of the first code byte
};

// Reads M, A and the alphabet (the identity for A = 256).
StreamHeader readHeader(const std::vector<uint8_t>& stream, std::vector<uint8_t>& output, Alphabet& alphabet)
{
    if (stream.size() < 2)
        refuse(output, Reason::shortHeader, "LZW stream shorter than its header");
    StreamHeader header{stream[0], stream[1] == 0 ? 256u : stream[1], 0, 2};
    if (header.alphabetSize < 256)
    {
        if (stream.size() - 2 < header.alphabetSize)
            refuse(output, Reason::shortAlphabet, "LZW stream shorter than its alphabet");
        std::copy(stream.begin() + 2, stream.begin() + 2 + header.alphabetSize, alphabet.begin());
        header.codesStart += header.alphabetSize;
    }
    else
    {
        for (unsigned value = 0; value < 256; ++value)
            alphabet[value] = uint8_t(value);
    }
    header.firstWidth = bitsNeeded(header.alphabetSize + 1);
    if (header.maxWidth < header.firstWidth || header.maxWidth > lzwMaxCodeBits)
        refuse(output, Reason::badMaxBits, "LZW stream with an unusable code width");
    return header;
}

// Every code's string as a slice (the single symbols: length 1, read from
// the alphabet). Each code after a run's first adds a string, so a run never
// numbers past A + the stream's code count: a short stream needs far fewer
// than 2^M slices.
std::vector<uint64_t> makeSliceTable(const StreamHeader& header, size_t streamSize)
{
    const uint64_t codeBound = (uint64_t(streamSize - header.codesStart) * 8) / header.firstWidth;
    std::vector<uint64_t> slices(
        size_t(std::min<uint64_t>(uint64_t(1) << header.maxWidth, header.alphabetSize + 2 + codeBound)));
    std::fill(slices.begin(), slices.begin() + header.alphabetSize, 1);
    return slices;
}

// The output while decoding: the first `used` bytes of `bytes` hold data and
// at least copySlack bytes follow them. data mirrors bytes.data(); `end` is
// where a string may end without growing bytes or passing `limit`; `cap`, the
// limit and its slack, is the most `bytes` ever grows to.
struct Output
{
    std::vector<uint8_t>& bytes;
    const size_t limit;
    const size_t cap;
    uint8_t* data;
    size_t used;
    size_t end;
};

size_t bufferCap(size_t limit)
{
    return limit > SIZE_MAX - copySlack ? SIZE_MAX : limit + copySlack;
}

// Grows output to hold at least `needed` bytes, by a quarter at least but
// never past cap: zero-filling touches every page, so the size stays close to
// what is written. Past its capacity the buffer doubles, also up to cap only.
// Kept out of line so the decoding loop stays small.
__attribute__((noinline)) void growOutput(std::vector<uint8_t>& output, size_t needed, size_t cap)
{
    if (needed > sliceOffsetLimit)
        throw std::length_error("LZW output too large");
    const size_t size = std::min(std::max({needed, output.size() + output.size() / 4, size_t(1) << 16}), cap);
    if (size > output.capacity())
        output.reserve(std::min(std::max(size, 2 * output.capacity()), cap));
    output.resize(size);
}

// Where `length` more bytes go; refuses them past the limit.
inline uint8_t* room(Output& out, size_t length)
{
    if (out.end - out.used >= length)
        return out.data + out.used;
    if (out.limit - out.used < length)
        refuse(out.bytes, Reason::outputLimit, "LZW output above its limit");
    if (out.bytes.size() - out.used < length + copySlack)
    {
        growOutput(out.bytes, out.used + length + copySlack, out.cap);
        out.data = out.bytes.data();
    }
    out.end = std::min(out.bytes.size() - copySlack, out.limit);
    return out.data + out.used;
}

inline uint32_t readCode(LzwCodeReader& reader, uint32_t width, std::vector<uint8_t>& output)
{
    uint32_t code = 0;
    if (!reader.read(width, code))
        refuse(output, Reason::truncated, "LZW stream ends before its end code");
    return code;
}

// What every run reads: the header, the symbols' bytes and every code's slice.
struct Strings
{
    const StreamHeader& header;
    const Alphabet& alphabet;
    uint64_t* slices;
};

// Appends the string of a data code up to `next` and adds string `next`;
// previous is the slice of the code before. Returns this code's slice.
inline uint64_t appendString(const Strings& strings, uint32_t code, uint32_t next, uint64_t previous,
                             Output& out)
{
    // A known code's string is copied whole. code == next is the string the
    // writer made of the previous string and that string's own first byte:
    // copy the previous string, then that byte. Either way one byte is
    // written after the copy, junk past the string for a known code.
    const uint64_t known = __builtin_expect(code < next, 1) ? strings.slices[code] : previous;
    const uint32_t copied = uint32_t(known & sliceLengthMask);
    const uint32_t length = copied + (code == next ? 1 : 0);
    uint8_t* dest = room(out, length);
    const uint8_t* source = select(code < strings.header.alphabetSize, &strings.alphabet[code & 0xFF],
                                   out.data + (known >> sliceLengthBits));
    copyString(dest, source, copied);
    dest[copied] = source[0];
    // The new string: the previous one and the first byte of this one, which
    // follows it in the output (the previous slice, one byte longer).
    strings.slices[next] = previous + 1;
    const uint64_t current = slice(out.used, length);
    out.used += length;
    return current;
}

// Decodes one run: its first code is a single symbol, new strings number
// from the first free code. Returns false once the end code is read.
inline bool decodeRun(const Strings& strings, LzwCodeReader& reader, Output& out)
{
    const uint32_t endCode = strings.header.alphabetSize;
    uint32_t width = strings.header.firstWidth;
    uint32_t next = endCode + 1;
    uint32_t code = readCode(reader, width, out.bytes);
    if (code == endCode)
        return false;
    if (code > endCode)
        refuse(out.bytes, Reason::badFirstCode, "LZW run starts with a code that is no symbol");
    *room(out, 1) = strings.alphabet[code];
    uint64_t previous = slice(out.used, 1);
    ++out.used;
    // After the run's t-th data code, next is A + t.
    while (!lzwRunEndsAfterCode(next, width, strings.header.maxWidth))
    {
        code = readCode(reader, width, out.bytes);
        if (code == endCode)
            return false;
        if (code > next)
            refuse(out.bytes, Reason::codeOutOfRange, "LZW code above the next free code");
        previous = appendString(strings, code, next, previous, out);
        ++next;
    }
    return true;
}

} // namespace

void lzwDecode(const std::vector<uint8_t>& stream, std::vector<uint8_t>& output, size_t maxOutput)
{
    output.clear();
    Alphabet alphabet{};
    const StreamHeader header = readHeader(stream, output, alphabet);
    std::vector<uint64_t> slices = makeSliceTable(header, stream.size());

    // Most streams expand less than four times: reserve that much (address
    // space only, pages are touched as output grows) so that output is
    // rarely moved.
    output.reserve(std::min(maxOutput, 4 * stream.size() + (size_t(1) << 16)) + copySlack);

    const Strings strings{header, alphabet, slices.data()};
    LzwCodeReader reader(stream.data() + header.codesStart, stream.data() + stream.size());
    Output out{output, maxOutput, bufferCap(maxOutput), output.data(), 0, 0};
    while (decodeRun(strings, reader, out))
    {
    }
    output.resize(out.used);
}

} // namespace mvhw
