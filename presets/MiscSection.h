#pragma once

// The misc section of a packed preset: a record container whose one known
// record carries the IR loader text of preset "sigPath" / "misc" / "irloader"
// / "value". Both entry points catch every exception and return an empty
// result on failure.

#include <cstdint>
#include <string>
#include <vector>

namespace mvhw
{

// Key of the misc sections under "sigPath".
const char* miscSectionName();
// Key of the IR loader section under "misc".
const char* irloaderSectionName();

// The styled JSON text (three-blank indentation, final line feed) of a preset
// that holds the misc section in the length bytes at data + offset. An empty
// section reads as a preset holding nothing, "null" and a line feed. Returns
// "" for a section that is cut short or malformed, and for null data with a
// non-zero length.
std::string miscSectionToJson(const uint8_t* data, uint32_t offset, uint32_t length);

// The misc section of the preset in the JSON text; empty when the preset has
// no IR loader text, when the text is not JSON, or on any other failure.
std::vector<uint8_t> jsonToMiscSection(const std::string& jsonText);

} // namespace mvhw
