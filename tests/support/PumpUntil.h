#pragma once

// Waiting on a condition while serving the JUCE message loop, for tests whose
// background work needs the message thread.

#include "tests/support/WaitUntil.h"

#include <juce_events/juce_events.h>

namespace testsupport
{

// Serves the message loop until condition holds or timeoutMs have passed;
// the condition's last value.
inline bool pumpUntil(const std::function<bool()>& condition, int timeoutMs = 15000)
{
    return waitUntil(condition, timeoutMs,
                     [] { juce::MessageManager::getInstance()->runDispatchLoopUntil(5); });
}

} // namespace testsupport
