#pragma once

// The amplifier's own view of the command frame: F0 01 session checksum class
// command, 7-bit packed payload, F7, and of the little-endian words its
// payloads carry. Written from the wire format, apart from the host's frame
// helpers, so the emulator checks them rather than mirrors them.

#include "common/LittleEndianWord.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace emu
{

std::vector<uint8_t> packSevenBit(const std::vector<uint8_t>& raw);
std::vector<uint8_t> unpackSevenBit(const uint8_t* packed, size_t length);

std::vector<uint8_t> makeFrame(uint8_t sessionId, uint8_t messageClass, uint8_t command,
                               const std::vector<uint8_t>& payload = {});

struct ParsedFrame
{
    uint8_t sessionId = 0;
    uint8_t messageClass = 0;
    uint8_t command = 0;
    std::vector<uint8_t> payload; // unpacked
};

// Message classes.
constexpr uint8_t classSet = 1;
constexpr uint8_t classGet = 2;
constexpr uint8_t classData = 3;
constexpr uint8_t classAck = 4;
constexpr uint8_t classAltSet = 6;
constexpr uint8_t classAltAck = 7;

// False unless the message is F0 ... F7, at least 7 bytes, with a matching
// checksum.
bool parseFrame(const std::vector<uint8_t>& message, ParsedFrame& out);

// The little-endian word at bytes[at]; 0 when the bytes end before it.
uint32_t readLe32At(const std::vector<uint8_t>& bytes, size_t at);

} // namespace emu
