#pragma once

// Arbitrary harness input as JSON text.

#include <json/reader.h>
#include <json/value.h>

#include <cstddef>
#include <cstdint>

// False when the text is no JSON, or nests deeper than jsoncpp's reader takes.
inline bool parseFuzzJson(const uint8_t* data, size_t size, Json::Value& value)
{
    const char* text = reinterpret_cast<const char*>(data);
    try
    {
        Json::Reader reader;
        return reader.parse(text, text + size, value, false);
    }
    catch (const Json::Exception&)
    {
        return false;
    }
}
