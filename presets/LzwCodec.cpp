#include "presets/LzwCodec.h"

#include <algorithm>
#include <cstring>

namespace mvhw
{

uint32_t bitsNeeded(uint32_t x)
{
    uint32_t bits = 1;
    while (bits < 32 && (x >> bits) != 0)
        ++bits;
    return bits;
}

uint32_t buildAlphabetMap(const std::vector<uint8_t>& input, std::array<uint8_t, 256>& table)
{
    std::array<bool, 256> present{};
    for (uint8_t byte : input)
        present[byte] = true;
    uint32_t count = 0;
    for (unsigned value = 0; value < 256; ++value)
        table[value] = present[value] ? uint8_t(count++) : uint8_t(255);
    return count;
}

LzwDictionary::LzwDictionary(uint32_t entryCount, uint32_t alphabetSize)
    : entries(entryCount), firstFreeCode(alphabetSize + 1), nextCode(alphabetSize + 1)
{
    reset();
}

void LzwDictionary::reset()
{
    const uint32_t singles = std::min<uint32_t>(firstFreeCode, uint32_t(entries.size()));
    for (uint32_t code = 0; code < singles; ++code)
    {
        entries[code] = LzwEntry{};
        entries[code].symbol = uint8_t(code);
    }
    nextCode = firstFreeCode;
}

void LzwDictionary::getString(int32_t code)
{
    scratch.clear();
    while (code != -1)
    {
        const LzwEntry& entry = entries[size_t(code)];
        scratch.push_back(entry.symbol);
        code = entry.prefix;
    }
}

void LzwBitWriter::write(uint32_t code, uint32_t width)
{
    if (width == 0)
        return;
    const uint64_t bits = uint64_t(width < 32 ? code & ((1u << width) - 1) : code) << usedBits;
    // The code continues the partly used last byte, if any.
    const size_t start = out.size() - (usedBits != 0 ? 1 : 0);
    const uint32_t total = usedBits + width;
    out.resize(start + (total + 7) / 8);
    uint8_t* p = out.data() + start;
    p[0] = uint8_t(p[0] | bits);
    for (uint32_t i = 1; i < (total + 7) / 8; ++i)
        p[i] = uint8_t(bits >> (8 * i));
    usedBits = total & 7;
}

namespace
{

// Looks for current's string followed by symbol in current's search tree.
// Found: current becomes its code and the result is false. Not found: the
// string is added as code `next` at the link where the search stopped and
// the result is true.
bool extend(std::vector<LzwEntry>& entries, int32_t& current, uint8_t symbol, uint32_t next)
{
    int32_t* link = &entries[size_t(current)].firstChild;
    int32_t node = *link;
    while (node != -1)
    {
        LzwEntry& entry = entries[size_t(node)];
        // The walk is a chain of dependent loads; start both children's
        // loads before the comparison needs this entry (a link of -1
        // prefetches entry 0, which is harmless).
        __builtin_prefetch(&entries[size_t(std::max(entry.less, 0))]);
        __builtin_prefetch(&entries[size_t(std::max(entry.greater, 0))]);
        if (symbol == entry.symbol)
        {
            current = node;
            return false;
        }
        link = symbol < entry.symbol ? &entry.less : &entry.greater;
        node = *link;
    }
    entries[next] = LzwEntry{current, -1, -1, -1, symbol};
    *link = int32_t(next);
    return true;
}

} // namespace

void lzwEncode(const std::vector<uint8_t>& input, std::vector<uint8_t>& output, uint32_t requestedBits)
{
    if (requestedBits > lzwMaxCodeBits)
        throw std::invalid_argument("LZW code width above the largest supported");
    output.clear();
    output.reserve(input.size() + input.size() / 8);

    std::array<uint8_t, 256> symbols;
    const uint32_t alphabetSize = buildAlphabetMap(input, symbols);
    LzwBitWriter writer(output);
    if (alphabetSize == 0)
    {
        // No symbol to write: a one-symbol alphabet and a bare end code.
        const uint32_t firstWidth = bitsNeeded(2);
        output.push_back(uint8_t(std::max(requestedBits, firstWidth)));
        output.push_back(1);
        output.push_back(0);
        writer.write(1, firstWidth);
        return;
    }

    const uint32_t firstWidth = bitsNeeded(alphabetSize + 1);
    const uint32_t maxWidth = std::max(requestedBits, firstWidth);
    output.push_back(uint8_t(maxWidth));
    output.push_back(uint8_t(alphabetSize & 0xFF));
    if (alphabetSize < 256)
    {
        // Below 256 symbols no present value has symbol 255.
        for (unsigned value = 0; value < 256; ++value)
        {
            if (symbols[value] != 255)
                output.push_back(uint8_t(value));
        }
    }

    LzwDictionary dictionary(1u << maxWidth, alphabetSize);
    std::vector<LzwEntry>& entries = dictionary.entries;
    // Every code starts from a single symbol, whose extensions are the most
    // numerous: they are indexed directly by (symbol, next symbol) instead of
    // by the deepest of the search trees. Longer strings use their trees.
    std::vector<int32_t> pairs(size_t(alphabetSize) * alphabetSize, -1);
    uint32_t next = dictionary.firstFreeCode;
    uint32_t width = firstWidth;
    int32_t current = -1;
    for (uint8_t byte : input)
    {
        const uint8_t symbol = symbols[byte];
        if (current < 0)
        {
            current = symbol;
            continue;
        }
        if (uint32_t(current) < alphabetSize)
        {
            int32_t& pair = pairs[size_t(current) * alphabetSize + symbol];
            if (pair != -1)
            {
                current = pair;
                continue;
            }
            entries[next] = LzwEntry{current, -1, -1, -1, symbol};
            pair = int32_t(next);
        }
        else if (!extend(entries, current, symbol, next))
            continue;
        ++next;
        writer.write(uint32_t(current), width);
        current = symbol;
        if (next >= (1u << width) - 1)
        {
            if (width == maxWidth)
            {
                dictionary.reset();
                std::fill(pairs.begin(), pairs.end(), -1);
                next = dictionary.firstFreeCode;
                width = firstWidth;
            }
            else
            {
                ++width;
            }
        }
    }
    writer.write(uint32_t(current), width);
    writer.write(alphabetSize, next >= (1u << width) - 2 ? width + 1 : width);
}

namespace
{

[[noreturn]] void refuse(std::vector<uint8_t>& output, LzwStreamError::Reason reason, const char* what)
{
    output.clear();
    throw LzwStreamError(reason, what);
}

// Eight bytes as a little-endian word.
uint64_t loadLittleEndian64(const uint8_t* p)
{
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap64(word);
#endif
    return word;
}

// LSB-first code reader that never reads past the stream's end.
class CodeReader
{
public:
    CodeReader(const uint8_t* begin, const uint8_t* end) : pos(begin), stop(end) {}

    bool read(uint32_t width, uint32_t& code)
    {
        if (available < width)
        {
            if (stop - pos >= 8)
            {
                // Take as many whole bytes as fit. The bits of the next,
                // partly taken byte land above `available` in `bits`; the
                // next refill ORs the same bits there again.
                bits |= loadLittleEndian64(pos) << available;
                pos += (63 - available) >> 3;
                available |= 56;
            }
            else
            {
                while (available < width)
                {
                    if (pos == stop)
                        return false;
                    bits |= uint64_t(*pos++) << available;
                    available += 8;
                }
            }
        }
        code = uint32_t(bits & ((uint64_t(1) << width) - 1));
        bits >>= width;
        available -= width;
        return true;
    }

private:
    const uint8_t* pos;
    const uint8_t* stop;
    uint64_t bits = 0; // `available` bits not yet read, then possibly bits of the next byte
    uint32_t available = 0;
};

// A code's string as a slice of the output, packed as offset << 21 | length.
// Every string the dictionary holds is an earlier string plus the byte that
// followed it, so it is already in the output. A run numbers fewer than 2^20
// codes and its strings are shorter than that; offsets stay below 2^43.
constexpr unsigned sliceLengthBits = 21;
constexpr uint64_t sliceLengthMask = (uint64_t(1) << sliceLengthBits) - 1;
constexpr uint64_t sliceOffsetLimit = uint64_t(1) << (64 - sliceLengthBits);

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

// Grows output to hold at least `needed` bytes, in large steps; returns its
// new size. Kept out of line so the decoding loop stays small.
__attribute__((noinline)) size_t growOutput(std::vector<uint8_t>& output, size_t needed)
{
    if (needed > sliceOffsetLimit)
        throw std::length_error("LZW output too large");
    output.resize(std::max({needed, 2 * output.size(), size_t(1) << 16}));
    return output.size();
}

} // namespace

void lzwDecode(const std::vector<uint8_t>& stream, std::vector<uint8_t>& output, size_t maxOutput)
{
    using Reason = LzwStreamError::Reason;
    output.clear();
    if (stream.size() < 2)
        refuse(output, Reason::shortHeader, "LZW stream shorter than its header");
    const uint32_t maxWidth = stream[0];
    const uint32_t alphabetSize = stream[1] == 0 ? 256 : stream[1];
    // The single symbols' bytes, padded for copyString's block reads.
    std::array<uint8_t, 256 + copySlack> alphabet{};
    size_t codesStart = 2;
    if (alphabetSize < 256)
    {
        if (stream.size() - 2 < alphabetSize)
            refuse(output, Reason::shortAlphabet, "LZW stream shorter than its alphabet");
        std::copy(stream.begin() + 2, stream.begin() + 2 + alphabetSize, alphabet.begin());
        codesStart += alphabetSize;
    }
    else
    {
        for (unsigned value = 0; value < 256; ++value)
            alphabet[value] = uint8_t(value);
    }
    const uint32_t firstWidth = bitsNeeded(alphabetSize + 1);
    if (maxWidth < firstWidth || maxWidth > lzwMaxCodeBits)
        refuse(output, Reason::badMaxBits, "LZW stream with an unusable code width");

    // Every code's string as a slice (the single symbols: length 1, read
    // from the alphabet). Each code after a run's first adds a string, so a
    // run never numbers past A + the stream's code count: a short stream
    // needs far fewer than 2^M slices.
    const uint64_t codeBound = (uint64_t(stream.size() - codesStart) * 8) / firstWidth;
    std::vector<uint64_t> sliceTable(
        size_t(std::min<uint64_t>(uint64_t(1) << maxWidth, alphabetSize + 2 + codeBound)));
    std::fill(sliceTable.begin(), sliceTable.begin() + alphabetSize, 1);
    uint64_t* const slices = sliceTable.data();

    // The first `used` bytes of output hold data and at least copySlack
    // bytes follow them. data mirrors output.data(); `end` is where a string
    // may end without growing output or passing maxOutput.
    uint8_t* data = output.data();
    size_t used = 0;
    size_t end = 0;
    // Makes room for `length` more bytes (used + length > end).
    auto grow = [&](size_t length)
    {
        if (maxOutput - used < length)
            refuse(output, Reason::outputLimit, "LZW output above its limit");
        if (output.size() - used < length + copySlack)
        {
            growOutput(output, used + length + copySlack);
            data = output.data();
        }
        end = std::min(output.size() - copySlack, maxOutput);
    };

    CodeReader reader(stream.data() + codesStart, stream.data() + stream.size());
    uint32_t code = 0;
    for (;;)
    {
        // A run: its first code is a single symbol, new strings number from
        // the first free code.
        uint32_t width = firstWidth;
        uint32_t next = alphabetSize + 1;
        if (!reader.read(width, code))
            refuse(output, Reason::truncated, "LZW stream ends before its end code");
        if (code == alphabetSize)
            break;
        if (code > alphabetSize)
            refuse(output, Reason::badFirstCode, "LZW run starts with a code that is no symbol");
        if (end - used < 1)
            grow(1);
        data[used] = alphabet[code];
        // The previous code's string: where it was just written, its length.
        uint64_t previousOffset = used;
        uint32_t previousLength = 1;
        ++used;
        bool newRun = false;
        if (next >= (1u << width) - 2)
        {
            if (width == maxWidth)
                newRun = true;
            else
                ++width;
        }
        while (!newRun)
        {
            if (!reader.read(width, code))
                refuse(output, Reason::truncated, "LZW stream ends before its end code");
            if (code == alphabetSize)
            {
                output.resize(used);
                return;
            }
            if (code > next)
                refuse(output, Reason::codeOutOfRange, "LZW code above the next free code");
            // A known code's string is copied whole. code == next is the
            // string the writer made of the previous string and that
            // string's own first byte: copy the previous string, then that
            // byte. Either way one byte is written after the copy, junk past
            // the string for a known code.
            const uint64_t slice = __builtin_expect(code < next, 1)
                                       ? slices[code]
                                       : (previousOffset << sliceLengthBits) | previousLength;
            const uint32_t copied = uint32_t(slice & sliceLengthMask);
            const uint32_t length = copied + (code == next ? 1 : 0);
            if (end - used < length)
                grow(length);
            const uint8_t* source =
                select(code < alphabetSize, &alphabet[code & 0xFF], data + (slice >> sliceLengthBits));
            uint8_t* dest = data + used;
            copyString(dest, source, copied);
            dest[copied] = source[0];
            // The new string: the previous one and the first byte of this
            // one, which follows it in the output.
            slices[next] = (previousOffset << sliceLengthBits) | (previousLength + 1);
            ++next;
            previousOffset = used;
            previousLength = length;
            used += length;
            if (next >= (1u << width) - 2)
            {
                if (width == maxWidth)
                    newRun = true;
                else
                    ++width;
            }
        }
    }
    output.resize(used);
}

} // namespace mvhw
