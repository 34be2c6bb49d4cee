#pragma once

// LZW codec of the system's own stream format:
//   byte 0      M, the largest code width
//   byte 1      A, the alphabet size (0 stands for 256)
//   A bytes     the byte values present in the input, ascending (only when A < 256)
//   then        the codes, packed LSB-first
// Codes 0..A-1 are single symbols, A is the end code and codes from A + 1 on
// are the strings the dictionary collects. Codes start at bitsNeeded(A + 1)
// bits, grow to M and the dictionary resets when M is full.

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

namespace mvhw
{

// The widest code either side accepts; the dictionary has 2^M entries.
constexpr uint32_t lzwMaxCodeBits = 20;

// The number of bits of x; 1 for 0 and 1.
uint32_t bitsNeeded(uint32_t x);

// Numbers the byte values present in the input in ascending order: the table
// gets each present value's symbol and 255 for absent values. Returns the
// number of values present.
uint32_t buildAlphabetMap(const std::vector<uint8_t>& input, std::array<uint8_t, 256>& table);

struct LzwEntry
{
    int32_t prefix = -1;     // string without its last symbol; -1 for a single symbol
    int32_t firstChild = -1; // root of the search tree of this string's extensions
    int32_t less = -1;       // in that tree: sibling with a smaller last symbol
    int32_t greater = -1;    // in that tree: sibling with a greater last symbol
    uint8_t symbol = 0;      // the string's last symbol
};

// The dictionary as a flat array of linked entries, each string its prefix
// code plus one symbol. lzwEncode and lzwDecode do not use it: they keep
// faster private tables of the same strings (the encoder looks extensions
// up directly or by hash, the decoder copies strings from its own output).
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

class LzwBitWriter
{
public:
    explicit LzwBitWriter(std::vector<uint8_t>& output) : out(output) {}

    // Appends the low width bits of code, least significant first.
    void write(uint32_t code, uint32_t width);

private:
    std::vector<uint8_t>& out;
    uint32_t usedBits = 0; // bits already used in out's last byte, 0 to 7
};

// Why a stream was refused.
class LzwStreamError : public std::runtime_error
{
public:
    enum class Reason
    {
        shortHeader,    // fewer than the two header bytes
        shortAlphabet,  // the alphabet is cut short
        badMaxBits,     // M below the first width or above lzwMaxCodeBits
        badFirstCode,   // a run starts with a code that is no symbol
        codeOutOfRange, // a code above the next free code
        truncated,      // the stream ends before its end code
        outputLimit,    // the output would exceed the caller's limit
    };

    LzwStreamError(Reason why, const char* what) : std::runtime_error(what), reason(why) {}

    const Reason reason;
};

// Encodes input into one stream with M = max(requestedBits, first width).
// An empty input becomes a one-symbol alphabet and a bare end code. Throws
// std::invalid_argument for requestedBits above lzwMaxCodeBits.
void lzwEncode(const std::vector<uint8_t>& input, std::vector<uint8_t>& output, uint32_t requestedBits);

// Decodes one stream. Throws LzwStreamError for a malformed stream or when the
// output would grow past maxOutput bytes (a valid stream can expand about
// 10,000 times, so callers expanding untrusted streams should set a limit);
// output is empty after a failure.
void lzwDecode(const std::vector<uint8_t>& stream, std::vector<uint8_t>& output,
               size_t maxOutput = std::numeric_limits<size_t>::max());

} // namespace mvhw
