#pragma once

// The LZW dictionary as a flat array of linked entries, each string its
// prefix code plus one symbol, for callers that walk a stream's strings.
// lzwEncode and lzwDecode do not use it: they keep faster private tables of
// the same strings (the encoder looks extensions up directly or by hash, the
// decoder copies strings from its own output).

#include "presets/LzwCodeWidth.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace mvhw
{

struct LzwEntry
{
    int32_t prefix = -1;     // string without its last symbol; -1 for a single symbol
    int32_t firstChild = -1; // root of the search tree of this string's extensions
    int32_t less = -1;       // in that tree: sibling with a smaller last symbol
    int32_t greater = -1;    // in that tree: sibling with a greater last symbol
    uint8_t symbol = 0;      // the string's last symbol
};

// The links hold every code below 2^M, and -1.
static_assert(lzwMaxCodeBits <= std::numeric_limits<int32_t>::digits, "codes fit an entry's links");

struct LzwDictionary
{
    // entryCount entries, the first `alphabetSize + 1` holding their own index
    // as symbol (entries past 256 keep symbol 0).
    LzwDictionary(uint32_t entryCount, uint32_t alphabetSize);

    // Entries 0..alphabetSize back to single symbols without links.
    void reset();

    // Fills scratch with the symbols of code's string, last symbol first.
    void getString(int32_t code);

    std::vector<LzwEntry> entries;
    uint32_t firstFreeCode;
    uint32_t nextCode;
    std::vector<uint8_t> scratch;
};

} // namespace mvhw
