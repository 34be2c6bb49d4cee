#include "device/DeviceText.h"

#include <cstdint>

namespace
{

const char replacementCharacter[] = "\xEF\xBF\xBD";

bool isContinuation(uint8_t byte)
{
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at i and its code point, or 0 when
// the bytes there are no well-formed sequence (overlong forms, surrogates and
// values above U+10FFFF included).
std::size_t decodeSequence(const std::string& text, std::size_t i, uint32_t& codePoint)
{
    const auto at = [&](std::size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = at(i);
    std::size_t length = 0;
    uint32_t minimum = 0;

    if (lead < 0x80)
    {
        codePoint = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    }
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    }
    else
    {
        return 0;
    }

    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
    {
        if (!isContinuation(at(i + k)))
            return 0;
        codePoint = (codePoint << 6) | (at(i + k) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

bool isControl(uint32_t codePoint)
{
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

} // namespace

std::string sanitiseDeviceText(const std::string& bytes)
{
    std::size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == '\0')
        --end;
    const std::string text = bytes.substr(0, end);

    std::string result;
    result.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size())
    {
        uint32_t codePoint = 0;
        const std::size_t length = decodeSequence(text, i, codePoint);
        if (length == 0)
        {
            // One replacement per invalid byte keeps the rest of the text in step.
            result += replacementCharacter;
            ++i;
            continue;
        }
        if (isControl(codePoint))
            result += replacementCharacter;
        else
            result.append(text, i, length);
        i += length;
    }
    return result;
}
