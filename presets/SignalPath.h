#pragma once

// The packed signal path: a preset's "sigPath" / "blocks" / "items" as
// little-endian words, each item a header word (module number, active flag,
// parameter count) and each parameter a header word (id, array flag, byte
// length) followed by its float32 value or values.

#include "presets/PresetReadCursor.h"

#include <json/value.h>

#include <cstdint>
#include <vector>

namespace mvhw
{

constexpr unsigned maxSignalPathParams = 255;
constexpr unsigned maxSignalPathArrayValues = 512;
constexpr unsigned toneMatchingArrayValues = 2048;
// The reader pads every tone-matching array to 2048 values whatever its
// length, so four input bytes could become 2048 values; a path with more
// tone-matching arrays than this is refused. Every other value read comes
// from four bytes of the input.
constexpr unsigned maxToneMatchingArrays = 16;

// Packs the preset's item list. Items without "id", "isActive" or "params",
// with an unknown module identifier or with more than 255 parameters are
// skipped, as are parameters without "id" or "value". jsoncpp's
// Json::LogicError passes for values of the wrong kind.
std::vector<uint8_t> writeSignalPath(const Json::Value& preset);

// Reads one packed signal path at the cursor into preset "sigPath" / "blocks"
// / "items", replacing what was there, and returns true with the cursor after
// it; "sigPath" and "blocks" are made when missing. Returns false, leaving the
// preset as it was, for an array length that is no multiple of 4, a buffer
// that ends early, or more than maxToneMatchingArrays array parameters in its
// tone-matching items together, so the padding adds at most 16 x 2048 values
// to what the input's bytes hold. Json::LogicError passes, before anything
// is read, for a preset, "sigPath" or "blocks" that is neither an object nor
// null.
bool readSignalPath(PresetReadCursor& cursor, Json::Value& preset);

// Reads count float32 values at the cursor as an array of reals; for the
// tone-matching module the array is padded with zeros to 2048 values. Returns
// null, with the cursor unchanged, when fewer than count values are left.
Json::Value readFloatArray(PresetReadCursor& cursor, uint8_t moduleNumber, uint16_t count);

} // namespace mvhw
