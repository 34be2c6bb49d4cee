#pragma once

#include <cstdint>

// Bytes a FixedString holds, the terminating NUL included.
constexpr uint32_t kFixedStringCapacity = 32;

// A string field of a message body. `length` counts the bytes of `chars` that
// go on the wire, the terminating NUL included, and never exceeds 32; a text
// therefore holds at most 31 characters.
struct FixedString
{
    uint32_t length;
    char chars[kFixedStringCapacity];
};

// Clears the field and copies n = min(textLength, 31) characters of text into
// it (a NUL in text ends the copy early, the rest stays NUL); sets `length` to
// n + 1 and returns it. A null or empty text, or a textLength of 0, leaves the
// field as it was and returns 0.
uint32_t setFixedString(FixedString& field, const char* text, uint32_t textLength);
