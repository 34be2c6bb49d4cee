#include "commands/ChunkDelay.h"

#include <chrono>
#include <thread>

void sleepMilliseconds(int64_t ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
