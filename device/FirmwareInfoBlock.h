#pragma once

#include <cstddef>
#include <cstdint>

// One sector of the firmware: its length in 32-bit words and its checksum.
struct FirmwareSectorInfo
{
    uint32_t length;
    uint32_t checksum;
};

// The 84-byte block the bootloader reports and the firmware image carries at
// offset 0x400. On the wire and in the image the multi-byte fields are
// little-endian; use decode/encode rather than copying the bytes.
struct FirmwareInfoBlock
{
    static constexpr std::size_t size = 84;
    static constexpr std::size_t sectorCount = 8;
    // Where the firmware image carries its own block.
    static constexpr std::size_t imageOffset = 0x400;
    // Where the block holds the firmware version, and so the image (0x408).
    static constexpr std::size_t firmwareVersionOffset = 8;
    static constexpr std::size_t imageVersionOffset = imageOffset + firmwareVersionOffset;

    uint8_t deviceName[4];
    uint8_t bootloaderVersion[4];
    uint8_t firmwareVersion[4];
    // The firmware's length in 32-bit words.
    uint32_t firmwareLength;
    // Sum modulo 2^32 of the firmware's little-endian words, without the
    // words of the block itself.
    uint32_t checksum;
    FirmwareSectorInfo sectors[sectorCount];
};

static_assert(sizeof(FirmwareInfoBlock) == FirmwareInfoBlock::size, "FirmwareInfoBlock is 84 bytes");
static_assert(offsetof(FirmwareInfoBlock, firmwareVersion) == FirmwareInfoBlock::firmwareVersionOffset,
              "the version's place in the block");

// Zeroes *info, then fills it from the first min(length, 84) bytes; the
// fields that the bytes do not reach stay 0.
void decodeFirmwareInfoBlock(const uint8_t* bytes, std::size_t length, FirmwareInfoBlock* info);

// Writes the 84-byte wire form of info into out.
void encodeFirmwareInfoBlock(const FirmwareInfoBlock& info, uint8_t* out);

// One entry of the image check: a sector's first and last image offset and
// whether its computed sum differs from the expected one (1) or not (0).
struct SectorCheckEntry
{
    uint32_t firstByte;
    uint32_t lastByte;
    uint32_t mismatch;
};

static_assert(sizeof(SectorCheckEntry) == 12, "SectorCheckEntry is 12 bytes");
