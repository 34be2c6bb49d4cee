#pragma once

#include <cstdint>

// 7-bit packing of arbitrary bytes into SysEx data bytes. Raw data is taken in
// runs of up to 7 bytes; each run becomes one flags byte, whose bit i holds
// bit 7 of data byte i, followed by the run's bytes with bit 7 cleared.
// n raw bytes pack into n + ceil(n/7) bytes; p packed bytes unpack into
// p - ceil(p/8) bytes. Both work in caller buffers and allocate nothing.

// Packs n bytes of in into out (n + ceil(n/7) bytes of room). Returns the
// count written; 0 for n <= 0.
int encodeSevenBit(uint8_t* out, const uint8_t* in, int n);

// Unpacks n packed bytes of in into out (n - ceil(n/8) bytes of room). Data
// bytes are not masked, bit 7 of a flags byte is ignored and a lone trailing
// flags byte yields nothing. Returns the count written.
unsigned decodeSevenBit(const uint8_t* in, uint8_t* out, unsigned n);
