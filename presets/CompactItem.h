#pragma once

// The compact item form: one signal-path item as little-endian words without
// parameter headers. A header word, then the scalar values in order and at
// most one array behind its byte-length word, laid out as CompactItemHeader
// says. Ids are not stored; the readers give them back by position. Every
// read and write is bounded by the buffer's size.

#include "presets/CompactItemHeader.h"

#include <json/value.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mvhw
{

// Writes the item at buffer + offset and steps the offset over it. Parameters
// without "id" or "value" are left out; for "mavo.toneMatching" the list is
// first put in tone-matching order by reorderToneMatchingParams.
//
// Returns false, with nothing written and the offset unchanged, for a null
// buffer, an item without "id", "isActive" or "params", an item that does not
// fit in the size - offset bytes left, more than 255 written parameters, or a
// written list that the readers would misread: a second array, the array
// anywhere but last (first for "mavo.toneMatching"), or a tone-matching item
// with more than maxToneMatchingScalars scalars. An unknown module
// identifier also returns false but steps the offset over the header word it
// would have used, when that word fits. Json::LogicError passes for values
// of the wrong kind and leaves buffer and offset as they were.
bool writeCompactItem(uint8_t* buffer, size_t size, const Json::Value& item, uint32_t& offset);

// The tone-matching parameter list with its id 100 moved to index 1, behind
// the first of the others: ids [0, 1, 2, 100] become [0, 100, 1, 2]. A list
// without id 100, or with it already at index 1 or as its only element, comes
// back unchanged. A parameter without "id" counts as id 0; Json::LogicError
// passes for a parameter that is neither an object nor null.
Json::Value reorderToneMatchingParams(const Json::Value& params);

// Reads one item at buffer + offset. Scalars get ids 0, 1, 2, ... and the
// array the id that follows them; a "mavo.toneMatching" item with an array
// reads in tone-matching order, as readToneMatchingParams does. Returns null
// with the offset unchanged for a null buffer, a buffer that ends early, an
// array length with the top bit set or a tone-matching item with more than
// maxToneMatchingScalars scalars; an unknown module number returns null
// with the offset after the header. An array length that is no multiple of 4
// reads length / 4 values, and the item ends after them
// (CompactItemHeader::itemBytes).
Json::Value readCompactItem(const uint8_t* buffer, size_t size, uint32_t& offset);

// Reads count tone-matching parameters at buffer + offset: the array
// (length word and values) as id 0, then count - 1 scalars as ids 100, 1, 2,
// .... Returns null with the offset unchanged for a null buffer, a count
// below 1 or above maxToneMatchingScalars + 1, a buffer that ends early or an
// array length with the top bit set.
Json::Value readToneMatchingParams(const uint8_t* buffer, size_t size, uint32_t& offset, int count);

// The walkers of a packed preset: u32 A, A bytes, u32 B, B bytes, one skipped
// word, a signed item count, then compact items. They return the module
// number of the first preamp (0-3, 45, 46) or power-amp (8-11, 47, 48) item,
// or the default, 0 ("mavo.preamp") or 8 ("mavo.poweramp"), when none is
// found, the count is not above 0, or a header or length word lies outside
// the data. They step over every item by CompactItemHeader::itemBytes, the
// bytes that readCompactItem reads for an item of a known module.
int findPreampModule(const std::vector<uint8_t>& preset);
int findPowerAmpModule(const std::vector<uint8_t>& preset);

// The bytes of first followed by those of second.
std::vector<uint8_t> concatBytes(const std::vector<uint8_t>& first, const std::vector<uint8_t>& second);

} // namespace mvhw
