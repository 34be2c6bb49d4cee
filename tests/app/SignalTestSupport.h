#pragma once

// Signals in tests: an amplifier that raises one as a chosen request arrives,
// and handlers that count SIGINT and SIGTERM instead of ending the test
// binary, standing for the handlers a program has before an update.

#include "emulator/K7Amplifier.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace apptest
{

// Raises a signal in the process as a chosen request arrives, before
// answering it: the host is then waiting for that reply.
class RaisingAmplifier : public emu::K7Amplifier
{
public:
    using K7Amplifier::K7Amplifier;

    // Set before the amplifier is plugged in.
    std::function<bool(const std::vector<uint8_t>&)> raiseOn;
    int signal = SIGINT;

protected:
    void handleHostMessage(const std::vector<uint8_t>& message) override
    {
        if (raiseOn && !raised && raiseOn(message))
        {
            raised = true;
            std::raise(signal);
        }
        K7Amplifier::handleHostMessage(message);
    }

private:
    bool raised = false; // the amplifier's thread only
};

inline bool hasKeyword(const std::vector<uint8_t>& message, const char* keyword)
{
    const size_t n = std::strlen(keyword);
    return message.size() > n + 1 && std::memcmp(message.data() + 1, keyword, n) == 0;
}

inline int keywordRequests(const emu::Amplifier& amp, const char* keyword)
{
    int count = 0;
    for (const auto& message : amp.getReceivedMessages())
        count += hasKeyword(message, keyword) ? 1 : 0;
    return count;
}

// SIGINT and SIGTERM counted instead of ending the test binary: whatever
// the updater does not catch lands here.
inline std::atomic<int> uncaughtSignals{0};

inline void countUncaught(int)
{
    uncaughtSignals.fetch_add(1);
}

class CountedSignals
{
public:
    CountedSignals()
    {
        struct sigaction action = {};
        action.sa_handler = countUncaught;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < 2; ++i)
            sigaction(signals[i], &action, &previous[i]);
    }
    ~CountedSignals()
    {
        for (int i = 0; i < 2; ++i)
            sigaction(signals[i], &previous[i], nullptr);
    }
    // True when both signals are still handled by countUncaught.
    static bool inPlace()
    {
        for (const int signal : signals)
        {
            struct sigaction now = {};
            sigaction(signal, nullptr, &now);
            if (now.sa_handler != countUncaught)
                return false;
        }
        return true;
    }

private:
    static constexpr int signals[2] = {SIGINT, SIGTERM};
    struct sigaction previous[2] = {};
};

} // namespace apptest
