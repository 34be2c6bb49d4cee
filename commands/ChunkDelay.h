#pragma once

// The pause of a chunked transfer. A transfer pauses through its own sleep
// function, which blocks by default; a caller may replace it to see the
// pauses, and an empty one skips them.

#include <cstdint>
#include <functional>

using ChunkSleep = std::function<void(int64_t ms)>;

// Blocks the calling thread for ms milliseconds; 0 or less returns at once.
void sleepMilliseconds(int64_t ms);
