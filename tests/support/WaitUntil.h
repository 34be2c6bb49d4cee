#pragma once

// Waiting on a condition with one deadline, for every test folder: tests
// never sleep a fixed time and then assert, because a loaded machine makes
// any fixed time too short.

#include <chrono>
#include <functional>
#include <thread>

namespace testsupport
{

// Checks condition, running step between checks, until it holds or
// timeoutMs have passed; the condition's last value.
template <typename Step> bool waitUntil(const std::function<bool()>& condition, int timeoutMs, Step step)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        step();
    }
    return true;
}

// The same, polling every millisecond (no message loop to serve).
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 15000)
{
    return waitUntil(condition, timeoutMs, [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
}

} // namespace testsupport
