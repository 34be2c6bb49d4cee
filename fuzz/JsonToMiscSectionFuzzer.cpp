// jsonToMiscSection over arbitrary text; any section it returns must read back.
#include "presets/MiscSection.h"

#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<uint8_t> section = mvhw::jsonToMiscSection(text);
    if (section.empty())
        return 0;
    if (section.size() % 4 != 0)
        std::abort();
    if (mvhw::miscSectionToJson(section.data(), 0, uint32_t(section.size())).empty())
        std::abort();
    return 0;
}
