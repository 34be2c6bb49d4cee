#pragma once

#include <cstdint>

// The firmware version of the embedded image (K7APWithChecksum_bin): the four
// bytes at offset 0x408, its info block's version field, copied into *out as
// they lie in the image. False, writing nothing, for a null out.
bool getEmbeddedFirmwareVersion(uint32_t* out);
