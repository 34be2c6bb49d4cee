// miscSectionToJson over arbitrary bytes; any text it returns for an IR loader
// section must turn back into a section that reads as the same text.
#include "presets/MiscSection.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string json = mvhw::miscSectionToJson(data, 0, uint32_t(size));
    if (json.empty() || json == "null\n")
        return 0;
    const std::vector<uint8_t> section = mvhw::jsonToMiscSection(json);
    if (section.empty() || section.size() % 4 != 0)
        std::abort();
    if (mvhw::miscSectionToJson(section.data(), 0, uint32_t(section.size())) != json)
        std::abort();
    return 0;
}
