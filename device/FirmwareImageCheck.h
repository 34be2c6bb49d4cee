#pragma once

// The checks that keep a flash to the bytes and the amplifier meant: an image
// must carry its own info block, the block must describe the image, and the
// image must be built for the amplifier it goes to. Each check returns an
// empty text when it passes, or one line saying which check failed.

#include "device/FirmwareInfoBlock.h"

#include <cstdint>
#include <string>

// The image holds its info block at 0x400, and the block's firmware length
// is at least one word and at most the image's size.
std::string checkFirmwareImage(const uint8_t* image, int64_t size);

// The device name the amplifier reports, when it is four printable ASCII
// characters, not all blanks; otherwise empty, for a name that cannot be
// compared (a bootloader in recovery may report none).
std::string readableDeviceName(const FirmwareInfoBlock& device);

// The image (one that passed checkFirmwareImage) is built for the amplifier
// whose block is given: the four-character names are equal, or the
// amplifier's name cannot be compared.
std::string checkImageForDevice(const uint8_t* image, int64_t size, const FirmwareInfoBlock& device);
