#include "app/InterruptSignals.h"

namespace
{

std::atomic<bool> stopFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

constexpr int stopSignals[] = {SIGINT, SIGTERM};

// Async-signal-safe: one lock-free store.
void requestStop(int)
{
    stopFlag.store(true);
}

} // namespace

InterruptSignals::InterruptSignals()
{
    static_assert(sizeof stopSignals / sizeof stopSignals[0] == signalCount, "one saved handler per signal");
    stopFlag.store(false);
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    // Reads, writes and waits go on after the handler; the run checks the flag.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < signalCount; ++i)
        sigaction(stopSignals[i], &action, &previous[i]);
}

InterruptSignals::~InterruptSignals()
{
    for (int i = 0; i < signalCount; ++i)
        sigaction(stopSignals[i], &previous[i], nullptr);
}

const std::atomic<bool>& InterruptSignals::stopRequest()
{
    return stopFlag;
}
