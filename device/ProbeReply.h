#pragma once

#include <cstdint>

// The discovery probe's answer: a valid Data 18 frame whose payload begins
// with the reply word, least significant byte first. True with word set for
// such a frame; a payload shorter than four bytes leaves the missing high
// bytes 0. Reads nothing beyond size bytes.
bool decodeProbeReply(const uint8_t* bytes, int size, uint32_t& word);
