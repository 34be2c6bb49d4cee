#pragma once

// The limits every command of this library works within.

#include "device/CommandFrame.h"

#include <cstddef>
#include <cstdint>

// Session ids a command runs on: 0 to 63, the device's whole range.
constexpr int sessionIdCount = 64;

constexpr bool isSessionId(int sessionId)
{
    return sessionId >= 0 && sessionId < sessionIdCount;
}

// Request and reply frames are built and received in buffers of the largest
// CommandFrame.
constexpr int frameBufferSize = getCommandFrameMaxSize();

// Request bodies are packed, and reply payloads decoded, into this many bytes.
// A full buffer makes an 885-byte frame.
constexpr int payloadBufferSize = 768;

// A chunk of the chunked-data and the addressed block transfers carries 1 to
// 255 data bytes, and a block travels in at most 255 chunks.
constexpr std::size_t maxChunkDataLength = 255;
constexpr std::size_t maxChunkCount = 255;

// A record list is a u32 count, then its entries; the payload buffer bounds
// the entries.
constexpr int listHeaderSize = 4;
constexpr std::size_t maxListEntries(std::size_t entrySize)
{
    return (payloadBufferSize - listHeaderSize) / entrySize;
}

// A blob travels after its value and length (4 bytes each) and before its sum
// byte.
constexpr uint32_t maxBlobLength = payloadBufferSize - 9;
