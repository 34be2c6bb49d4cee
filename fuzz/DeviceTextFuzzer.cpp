// Text received from a device, made safe: the result is valid UTF-8 without
// control characters, sanitising it again changes nothing.
#include "device/DeviceText.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{

// True when text is well-formed UTF-8 holding no C0, DEL or C1 character.
bool isCleanUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();)
    {
        const auto b = uint8_t(text[i]);
        size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size())
            return false;
        uint32_t cp = n == 1 ? b : b & (0x7F >> n);
        for (size_t k = 1; k < n; ++k)
        {
            const auto c = uint8_t(text[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (c & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0))
            return false;
        i += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string clean = sanitiseDeviceText(input);
    if (!isCleanUtf8(clean) || sanitiseDeviceText(clean) != clean)
        std::abort();
    if (isCleanUtf8(input) && clean != input)
        std::abort();
    return 0;
}
