#pragma once

// The checks that keep a flash to the bytes and the amplifier meant: an image
// must carry its own info block, the block must describe the image, and the
// image must be built for the amplifier it goes to. Each check returns an
// empty text when it passes, or one line saying which check failed.

#include "device/FirmwareInfoBlock.h"

#include <cstdint>
#include <string>

// The image holds its info block at 0x400, its whole words are exactly the
// block's firmware length (size from 4 x length to 4 x length + 3), and those
// words outside the block sum, modulo 2^32, to the block's checksum.
std::string checkFirmwareImage(const uint8_t* image, int64_t size);

// The length rule alone, from the block and the image's size: it needs no
// more of the image than its block.
std::string checkFirmwareLength(const FirmwareInfoBlock& info, int64_t size);

// The amplifier's device name is four bytes all 0x00, all 0xFF or all
// spaces: a bootloader without firmware.
bool isBlankDeviceName(const FirmwareInfoBlock& device);

// The image (one that passed checkFirmwareImage) may go to the amplifier that
// reported this block, of which reportedBytes bytes came: its device name
// equals the image's or is blank. A block too short to hold the name, or any
// other name, refuses the image.
std::string checkImageForDevice(const uint8_t* image, int64_t size, const FirmwareInfoBlock& device,
                                int reportedBytes);
