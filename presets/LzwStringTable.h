#pragma once

// The encoder's dictionary, in three layers, each answering "which code is
// string `prefix` followed by `symbol`?" for the current run:
// - pairs: the extensions of single symbols, indexed directly;
// - lastChild: per code, the extension last found or added, which is the
//   one asked for again in repetitive data;
// - slots: every extension of a longer string, in an open-addressing hash
//   table with linear probing, never more than half full.
// A new run clears nothing: pairs and slots are stamped with the run's
// generation and read as empty in later runs, and a code's lastChild is
// emptied when the code is given out.

#include "presets/LzwCodeWidth.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mvhw
{

class LzwStringTable
{
public:
    // codeCount: one more than the highest code the encoder can give out;
    // maxStrings: the most strings one run can hold (at most 2^M).
    LzwStringTable(uint32_t alphabetSize, size_t codeCount, size_t maxStrings)
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
            if (pair >> codeBits == generation)
            {
                code = pair & codeMask;
                return true;
            }
            pair = generation << codeBits | newCode;
        }
        else
        {
            uint32_t& child = lastChild[prefix];
            if (child >> codeBits == symbol)
            {
                code = child & codeMask;
                return true;
            }
            if (findOrAddLonger(prefix, symbol, newCode, code))
            {
                child = symbol << codeBits | code;
                return true;
            }
            child = symbol << codeBits | newCode;
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
    // Codes take the low codeBits bits; above them pairs hold the
    // generation and lastChild the symbol (no symbol matches noChild's).
    static constexpr uint32_t codeBits = lzwMaxCodeBits;
    static constexpr uint32_t codeMask = (uint32_t(1) << codeBits) - 1;
    static constexpr uint32_t noChild = 0xFFFFFFFF;
    static constexpr uint32_t maxGeneration = 0x1000;
    static constexpr uint32_t generationBits = bitsNeeded(maxGeneration - 1);
    // A slot packs the generation (bits 63..48, 0 for never used), the key
    // prefix << 8 | symbol (bits 47..20) and the code (bits 19..0).
    static constexpr uint32_t slotGenerationShift = 48;

    static_assert(codeBits + generationBits <= 32, "a pair holds its generation and code");
    static_assert(codeBits + 8 <= 32 && (noChild >> codeBits) > 0xFF,
                  "a last child holds its symbol and code");
    static_assert(codeBits + (codeBits + 8) <= slotGenerationShift,
                  "a slot's key and code stay below its generation");
    static_assert(slotGenerationShift + generationBits <= 64, "a slot holds its generation");
    // At most 2^M strings, so at most 2^(M + 1) slots: the hash's 32 bits
    // index them all.
    static_assert(codeBits + 1 <= 32, "the hash indexes every slot");

    bool findOrAddLonger(uint32_t prefix, uint32_t symbol, uint32_t newCode, uint32_t& code)
    {
        const uint64_t key = uint64_t(prefix) << 8 | symbol;
        const uint64_t tag = uint64_t(generation) << slotGenerationShift | key << codeBits;
        size_t index = size_t(uint32_t(key * 0x9E3779B1u) >> (32 - bits));
        for (;;)
        {
            const uint64_t slot = slots[index];
            if ((slot & ~uint64_t(codeMask)) == tag)
            {
                code = uint32_t(slot) & codeMask;
                return true;
            }
            if (slot >> slotGenerationShift != generation)
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

} // namespace mvhw
