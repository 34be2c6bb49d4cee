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

// The writer's dictionary during encoding, in three layers, each answering
// "which code is string `prefix` followed by `symbol`?" for the current run:
// - pairs: the extensions of single symbols, indexed directly;
// - lastChild: per code, the extension last found or added, which is the
//   one asked for again in repetitive data;
// - slots: every extension of a longer string, in an open-addressing hash
//   table with linear probing, never more than half full.
// A new run clears nothing: pairs and slots are stamped with the run's
// generation and read as empty in later runs, and a code's lastChild is
// emptied when the code is given out.
class StringTable
{
public:
    // codeCount: one more than the highest code the encoder can give out;
    // maxStrings: the most strings one run can hold.
    StringTable(uint32_t alphabetSize, size_t codeCount, size_t maxStrings)
        : singles(alphabetSize), pairs(size_t(alphabetSize) * alphabetSize, 0), lastChild(codeCount, noChild)
    {
        while ((size_t(1) << bits) < 2 * maxStrings)
            ++bits;
        slots.assign(size_t(1) << bits, 0);
        mask = (size_t(1) << bits) - 1;
    }

    // Looks up the string `prefix` followed by `symbol`. Found: returns
    // true with its code in `code`. Not found: adds it as `newCode` and
    // returns false.
    bool findOrAdd(uint32_t prefix, uint32_t symbol, uint32_t newCode, uint32_t& code)
    {
        if (prefix < singles)
        {
            uint32_t& pair = pairs[size_t(prefix) * singles + symbol];
            if (pair >> 20 == generation)
            {
                code = pair & codeMask;
                return true;
            }
            pair = generation << 20 | newCode;
        }
        else
        {
            uint32_t& child = lastChild[prefix];
            if (child >> 20 == symbol)
            {
                code = child & codeMask;
                return true;
            }
            if (findOrAddLonger(prefix, symbol, newCode, code))
            {
                child = symbol << 20 | code;
                return true;
            }
            child = symbol << 20 | newCode;
        }
        lastChild[newCode] = noChild;
        return false;
    }

    // Forgets every string.
    void clear()
    {
        if (++generation == maxGeneration)
        {
            std::fill(pairs.begin(), pairs.end(), 0);
            std::fill(slots.begin(), slots.end(), 0);
            generation = 1;
        }
    }

private:
    // Codes take 20 bits; above them pairs hold the generation and
    // lastChild the symbol (no symbol matches noChild's).
    static constexpr uint32_t codeMask = 0xFFFFF;
    static constexpr uint32_t noChild = 0xFFFFFFFF;
    static constexpr uint32_t maxGeneration = 0x1000;

    // A slot packs the generation (bits 63..48, 0 for never used), the key
    // prefix << 8 | symbol (bits 47..20) and the code (bits 19..0).
    bool findOrAddLonger(uint32_t prefix, uint32_t symbol, uint32_t newCode, uint32_t& code)
    {
        const uint64_t key = uint64_t(prefix) << 8 | symbol;
        const uint64_t tag = uint64_t(generation) << 48 | key << 20;
        size_t index = size_t(uint32_t(key * 0x9E3779B1u) >> (32 - bits));
        for (;;)
        {
            const uint64_t slot = slots[index];
            if ((slot & ~uint64_t(codeMask)) == tag)
            {
                code = uint32_t(slot) & codeMask;
                return true;
            }
            if (slot >> 48 != generation)
            {
                slots[index] = tag | newCode;
                return false;
            }
            index = (index + 1) & mask;
        }
    }

    const uint32_t singles;
    std::vector<uint32_t> pairs;
    std::vector<uint32_t> lastChild;
    std::vector<uint64_t> slots;
    unsigned bits = 5;
    size_t mask = 0;
    uint32_t generation = 1;
};

// LSB-first code packer into output, four bytes at a time. While packing,
// output runs ahead of the `used` bytes written, by at least the 4 bytes
// that finish() may still write; finish() must run before output is used.
class CodePacker
{
public:
    explicit CodePacker(std::vector<uint8_t>& output) : out(output), used(output.size())
    {
        out.resize(std::max(used + 8, std::min(out.capacity(), used + 4096)));
    }

    // width is at most 21 bits.
    void put(uint32_t code, uint32_t width)
    {
        pending |= uint64_t(code) << pendingBits;
        pendingBits += width;
        if (pendingBits >= 32)
        {
            if (out.size() - used < 8)
                grow();
            const uint32_t word = uint32_t(pending);
            for (int i = 0; i < 4; ++i)
                out[used + size_t(i)] = uint8_t(word >> (8 * i));
            used += 4;
            pending >>= 32;
            pendingBits -= 32;
        }
    }

    // Writes the last partial bytes (unused high bits 0) and trims output.
    void finish()
    {
        for (; pendingBits > 0; pendingBits = pendingBits > 8 ? pendingBits - 8 : 0)
        {
            out[used++] = uint8_t(pending);
            pending >>= 8;
        }
        out.resize(used);
    }

private:
    // Grows output by a quarter: zero-filling touches every page, so the
    // size stays close to what is written (the vector's own reallocations,
    // past the reserved capacity, are geometric).
    __attribute__((noinline)) void grow() { out.resize(std::max(used + 8, out.size() + out.size() / 4)); }

    std::vector<uint8_t>& out;
    size_t used;
    uint64_t pending = 0;
    uint32_t pendingBits = 0;
};

} // namespace

void lzwEncode(const std::vector<uint8_t>& input, std::vector<uint8_t>& output, uint32_t requestedBits)
{
    if (requestedBits > lzwMaxCodeBits)
        throw std::invalid_argument("LZW code width above the largest supported");
    output.clear();
    output.reserve(input.size() + input.size() / 8);

    std::array<uint8_t, 256> symbols;
    const uint32_t alphabetSize = buildAlphabetMap(input, symbols);
    if (alphabetSize == 0)
    {
        // No symbol to write: a one-symbol alphabet and a bare end code.
        const uint32_t firstWidth = bitsNeeded(2);
        output.push_back(uint8_t(std::max(requestedBits, firstWidth)));
        output.push_back(1);
        output.push_back(0);
        LzwBitWriter(output).write(1, firstWidth);
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

    // A run holds fewer than 2^M strings, and never more than one per
    // input byte.
    StringTable table(alphabetSize, std::min<size_t>(size_t(1) << maxWidth, alphabetSize + 1 + input.size()),
                      std::min<size_t>(size_t(1) << maxWidth, input.size()));
    CodePacker packer(output);
    const uint32_t firstFree = alphabetSize + 1;
    uint32_t next = firstFree;
    uint32_t width = firstWidth;
    // The longest string found so far, as its code.
    uint32_t current = symbols[input[0]];
    for (size_t i = 1; i < input.size(); ++i)
    {
        const uint32_t symbol = symbols[input[i]];
        if (table.findOrAdd(current, symbol, next, current))
            continue;
        // current followed by symbol is the new string `next`.
        ++next;
        packer.put(current, width);
        current = symbol;
        if (next >= (1u << width) - 1)
        {
            if (width == maxWidth)
            {
                table.clear();
                next = firstFree;
                width = firstWidth;
            }
            else
            {
                ++width;
            }
        }
    }
    packer.put(current, width);
    packer.put(alphabetSize, next >= (1u << width) - 2 ? width + 1 : width);
    packer.finish();
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

// Grows output to hold at least `needed` bytes, by a quarter at least:
// zero-filling touches every page, so the size stays close to what is
// written (reallocations past the capacity are geometric). Kept out of line
// so the decoding loop stays small.
__attribute__((noinline)) void growOutput(std::vector<uint8_t>& output, size_t needed)
{
    if (needed > sliceOffsetLimit)
        throw std::length_error("LZW output too large");
    output.resize(std::max({needed, output.size() + output.size() / 4, size_t(1) << 16}));
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

    // Most streams expand less than four times: reserve that much (address
    // space only, pages are touched as output grows) so that output is
    // rarely moved.
    output.reserve(std::min(maxOutput, 4 * stream.size() + (size_t(1) << 16)) + copySlack);

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
