#pragma once

// LZW codec of the system's own stream format:
//   byte 0      M, the largest code width
//   byte 1      A, the alphabet size (0 stands for 256)
//   A bytes     the byte values present in the input, ascending (only when A < 256)
//   then        the codes, packed LSB-first
// Codes 0..A-1 are single symbols, A is the end code and codes from A + 1 on
// are the strings the dictionary collects. Codes start at bitsNeeded(A + 1)
// bits, grow to M and the dictionary resets when M is full (LzwCodeWidth.h).
// lzwEncode is in LzwEncoder.cpp, lzwDecode in LzwDecoder.cpp.

#include "presets/LzwCodeWidth.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace mvhw
{

// Numbers the byte values present in the input in ascending order: the table
// gets each present value's symbol and 255 for absent values. Returns the
// number of values present.
uint32_t buildAlphabetMap(const std::vector<uint8_t>& input, std::array<uint8_t, 256>& table);

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

// lzwDecode's output limit when its caller gives none: 64 MiB. A stream that
// lzwEncode makes decodes to exactly its input, so every stream made from a
// preset-sized input (tens of KB) stays far below it.
constexpr size_t lzwDefaultOutputLimit = size_t(64) << 20;

// Decodes one stream. Throws LzwStreamError for a malformed stream, or with
// outputLimit once the output would grow past maxOutput bytes; output is
// empty after a failure. The refusal comes before output's buffer grows past
// maxOutput + 16 bytes (the room its string copies need); a buffer that was
// larger before the call is reused as it is.
//
// A stream's header does not bound its output: a run at cap M holds
// T = 2^M - A - 2 data codes and its t-th code decodes to at most t bytes:
// within a run the output grows with the square of its codes, and each full
// run adds at most T(T + 1) / 2 bytes. The worst case is A = 1 with every
// code the one just made; one such run and what it decodes to:
//   M = 9:   515 bytes -> 130 KB (x 250)
//   M = 12:  5.6 KB    -> 8.4 MB (x 1,500)
//   M = 16:  123 KB    -> 2.1 GB (x 17,500); its first 33 KB -> 200 MB
//   M = 20:  2.5 MB    -> 550 GB (x 220,000), the widest cap accepted
// so the limit defaults to lzwDefaultOutputLimit. A caller that expects more
// passes a larger limit; std::numeric_limits<size_t>::max() sets none.
void lzwDecode(const std::vector<uint8_t>& stream, std::vector<uint8_t>& output,
               size_t maxOutput = lzwDefaultOutputLimit);

} // namespace mvhw
