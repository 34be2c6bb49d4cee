#pragma once

#include <atomic>
#include <csignal>

// While it lives, SIGINT and SIGTERM only request a stop: the handler sets
// stopRequest() and nothing else. The handlers in place before (JUCE's
// keyboard-break flag for SIGINT, which nothing reads before the message
// loop runs) come back on destruction. Constructing it clears the request.
class InterruptSignals
{
public:
    InterruptSignals();
    ~InterruptSignals();

    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;

    // Set by the first SIGINT or SIGTERM since the last construction.
    static const std::atomic<bool>& stopRequest();

private:
    static constexpr int signalCount = 2;
    struct sigaction previous[signalCount] = {};
};
