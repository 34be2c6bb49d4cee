#pragma once

// Small helpers for byte-exact preset tests.

#include <json/reader.h>
#include <json/value.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace testbytes
{

// "01 00 ff" -> {0x01, 0x00, 0xFF}; blanks are ignored.
inline std::vector<uint8_t> hex(const std::string& text)
{
    std::vector<uint8_t> out;
    std::string digits;
    for (char c : text)
    {
        if (c != ' ' && c != '\n')
            digits += c;
    }
    if (digits.size() % 2 != 0)
        throw std::invalid_argument("odd number of hex digits");
    for (size_t i = 0; i < digits.size(); i += 2)
        out.push_back(uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string toHex(const std::vector<uint8_t>& bytes)
{
    std::string out;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i)
    {
        std::snprintf(buf, sizeof buf, i == 0 ? "%02x" : " %02x", bytes[i]);
        out += buf;
    }
    return out;
}

inline void appendWord(std::vector<uint8_t>& out, uint32_t word)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(uint8_t(word >> shift));
}

// The IEEE 754 single-precision bits of value.
inline uint32_t floatWord(float value)
{
    uint32_t word = 0;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

inline Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader reader;
    if (!reader.parse(text, value))
        throw std::invalid_argument("bad JSON in test: " + text);
    return value;
}

} // namespace testbytes
