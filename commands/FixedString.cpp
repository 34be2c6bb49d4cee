#include "commands/FixedString.h"

#include <cstring>

uint32_t setFixedString(FixedString& field, const char* text, uint32_t textLength)
{
    if (text == nullptr || textLength == 0 || text[0] == '\0')
        return 0;
    std::memset(field.chars, 0, sizeof field.chars);
    const uint32_t n = textLength < kFixedStringCapacity - 1 ? textLength : kFixedStringCapacity - 1;
    // Like strncpy: a NUL inside the first n characters ends the copy and the
    // rest stays NUL padding, which still goes on the wire.
    for (uint32_t i = 0; i < n && text[i] != '\0'; ++i)
        field.chars[i] = text[i];
    field.length = n + 1;
    return n + 1;
}
