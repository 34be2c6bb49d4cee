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

// LSB-first code reader that never reads past the stream's end.
class CodeReader
{
public:
    CodeReader(const uint8_t* begin, const uint8_t* end) : pos(begin), stop(end) {}

    bool read(uint32_t width, uint32_t& code)
    {
        while (available < width)
        {
            if (pos == stop)
                return false;
            bits |= uint64_t(*pos++) << available;
            available += 8;
        }
        code = uint32_t(bits & ((uint64_t(1) << width) - 1));
        bits >>= width;
        available -= width;
        return true;
    }

private:
    const uint8_t* pos;
    const uint8_t* stop;
    uint64_t bits = 0;
    uint32_t available = 0;
};

} // namespace

void lzwDecode(const std::vector<uint8_t>& stream, std::vector<uint8_t>& output, size_t maxOutput)
{
    using Reason = LzwStreamError::Reason;
    output.clear();
    if (stream.size() < 2)
        refuse(output, Reason::shortHeader, "LZW stream shorter than its header");
    const uint32_t maxWidth = stream[0];
    const uint32_t alphabetSize = stream[1] == 0 ? 256 : stream[1];
    std::array<uint8_t, 256> alphabet;
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

    // Entries 0..A never change here, so every run starts from them as built.
    LzwDictionary dictionary(1u << maxWidth, alphabetSize);
    const std::vector<LzwEntry>& entries = dictionary.entries;
    // A string is rebuilt from its last byte backwards into the end of
    // scratch, so it comes out in order. No string is longer than its run.
    std::vector<uint8_t>& scratch = dictionary.scratch;
    scratch.resize((size_t(1) << maxWidth) + 1);
    uint8_t* const scratchEnd = scratch.data() + scratch.size();

    // output grows in large steps; `used` bytes of it hold data.
    size_t used = 0;
    auto room = [&](size_t length)
    {
        if (maxOutput - used < length)
            refuse(output, Reason::outputLimit, "LZW output above its limit");
        if (output.size() - used < length)
        {
            size_t grown = std::max({used + length, 2 * output.size(), size_t(1) << 16});
            output.resize(std::min(grown, maxOutput));
        }
        return output.data() + used;
    };

    CodeReader reader(stream.data() + codesStart, stream.data() + stream.size());
    uint32_t code = 0;
    for (;;)
    {
        // A run: its first code is a single symbol, new strings number from
        // the first free code.
        uint32_t width = firstWidth;
        uint32_t next = dictionary.firstFreeCode;
        if (!reader.read(width, code))
            refuse(output, Reason::truncated, "LZW stream ends before its end code");
        if (code == alphabetSize)
            break;
        if (code > alphabetSize)
            refuse(output, Reason::badFirstCode, "LZW run starts with a code that is no symbol");
        *room(1) = alphabet[code];
        ++used;
        uint32_t previous = code;
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
            // code == next is the string the writer made of the previous
            // string and that string's own first symbol.
            uint8_t* begin = code < next ? scratchEnd : scratchEnd - 1;
            int32_t walk = int32_t(code < next ? code : previous);
            uint8_t firstSymbol = 0;
            do
            {
                const LzwEntry& entry = entries[size_t(walk)];
                firstSymbol = entry.symbol;
                *--begin = alphabet[entry.symbol];
                walk = entry.prefix;
            } while (walk != -1);
            if (code == next)
                scratchEnd[-1] = alphabet[firstSymbol];
            const size_t length = size_t(scratchEnd - begin);
            std::memcpy(room(length), begin, length);
            used += length;

            dictionary.entries[next].prefix = int32_t(previous);
            dictionary.entries[next].symbol = firstSymbol;
            ++next;
            previous = code;
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
