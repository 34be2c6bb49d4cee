#include "resources/EmbeddedFirmwareVersion.h"

#include "device/FirmwareInfoBlock.h"
#include "resources/BinaryData.h"

#include <cstddef>
#include <cstring>

// The item's size is known when the program is built: an image too short to
// hold the version word does not build.
static_assert(static_cast<std::size_t>(BinaryData::K7APWithChecksum_binSize) >=
                  FirmwareInfoBlock::imageVersionOffset + sizeof(uint32_t),
              "the embedded firmware image holds its version word");

bool getEmbeddedFirmwareVersion(uint32_t* out)
{
    if (out == nullptr)
        return false;
    std::memcpy(out, BinaryData::K7APWithChecksum_bin + FirmwareInfoBlock::imageVersionOffset, sizeof *out);
    return true;
}
