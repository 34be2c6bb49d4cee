// miscSectionToJson, then jsonToMiscSection, over arbitrary bytes. A section
// in the writer's own form comes back byte for byte; any other section that
// reads comes back in that form, which then stays as it is.
//
// The writer's form: no bytes at all, or one IR loader record holding a
// non-empty text that is valid UTF-8, padded with zeros to a multiple of 4.
// Other sections read, but lose on the way what JSON does not hold: records of
// other ids, all IR loader records but the last, an empty text (which reads
// as nothing), bytes after the records, and bytes that are no UTF-8 (JSON
// text is Unicode; jsoncpp writes such bytes as U+FFFD).
#include "common/LittleEndianWord.h"
#include "presets/MiscSection.h"

#include <cstdlib>
#include <vector>

namespace
{

constexpr uint32_t irLoaderRecordId = 62347;

void expect(bool condition)
{
    if (!condition)
        std::abort();
}

std::vector<uint8_t> roundTrip(const std::vector<uint8_t>& section)
{
    const std::string json = mvhw::miscSectionToJson(section.data(), 0, uint32_t(section.size()));
    expect(!json.empty());
    return mvhw::jsonToMiscSection(json);
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool validUtf8(const uint8_t* text, size_t length)
{
    size_t i = 0;
    while (i < length)
    {
        const uint8_t lead = text[i];
        size_t more = 0;
        uint32_t codePoint = 0;
        uint32_t least = 0;
        if (lead < 0x80)
            more = 0, codePoint = lead;
        else if (lead >= 0xC2 && lead <= 0xDF)
            more = 1, codePoint = lead & 0x1F, least = 0x80;
        else if (lead >= 0xE0 && lead <= 0xEF)
            more = 2, codePoint = lead & 0x0F, least = 0x800;
        else if (lead >= 0xF0 && lead <= 0xF4)
            more = 3, codePoint = lead & 0x07, least = 0x10000;
        else
            return false;
        if (length - i - 1 < more)
            return false;
        for (size_t k = 1; k <= more; ++k)
        {
            if ((text[i + k] & 0xC0) != 0x80)
                return false;
            codePoint = codePoint << 6 | (text[i + k] & 0x3F);
        }
        if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += 1 + more;
    }
    return true;
}

// The writer's form, as described above.
bool writerForm(const std::vector<uint8_t>& section)
{
    if (section.empty())
        return true;
    if (section.size() < 16 || section.size() % 4 != 0)
        return false;
    const uint8_t* bytes = section.data();
    const uint64_t recordLength = readLe32(bytes + 8);
    const uint64_t textLength = readLe32(bytes + 12);
    const uint64_t end = 12 + recordLength;
    if (readLe32(bytes) != 1 || readLe32(bytes + 4) != irLoaderRecordId || textLength == 0 ||
        recordLength != 4 + textLength || (end + 3) / 4 * 4 != section.size())
        return false;
    for (size_t i = size_t(end); i < section.size(); ++i)
    {
        if (bytes[i] != 0)
            return false;
    }
    return validUtf8(bytes + 16, size_t(textLength));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> section(data, data + size);
    if (mvhw::miscSectionToJson(section.data(), 0, uint32_t(section.size())).empty())
        return 0;
    const std::vector<uint8_t> back = roundTrip(section);
    expect(writerForm(back));
    expect(roundTrip(back) == back);
    if (writerForm(section))
        expect(back == section);
    return 0;
}
