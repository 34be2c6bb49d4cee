#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// A thread-safe first-in first-out list of byte messages, one per session id.
// It holds at most maxMessages messages and maxBytes bytes: a push beyond
// either limit drops the oldest messages first and counts them.
class MVQueue
{
public:
    static constexpr std::size_t maxMessages = 256;
    static constexpr std::size_t maxBytes = 256 * 1024;
    // pop's result for a message longer than the caller's capacity.
    static constexpr int messageTooLong = -2;

    // Appends a copy of the bytes (an empty message for null data or a
    // length <= 0) and wakes one waiter. A message longer than maxBytes is
    // dropped and counted.
    void push(const uint8_t* data, int length);

    // Takes the oldest message and copies it into out, which holds capacity
    // bytes. Waits for a message until timeoutMs from the call has passed
    // (timeoutMs 0 waits without limit; a negative one does not wait).
    // Returns the message's length; -1 on timeout; 0 at once, without taking
    // anything, when out is null. A message longer than capacity is removed
    // from the queue unwritten and messageTooLong is returned.
    int pop(void* out, int timeoutMs, int capacity);

    // Drops every queued message.
    void clear();

    // Drops every queued message for which the predicate holds; the count dropped.
    std::size_t removeIf(const std::function<bool(const std::vector<uint8_t>&)>& predicate);

    std::size_t size();
    // Callers waiting in pop right now.
    std::size_t getWaiterCount();
    // Messages dropped by the limits so far.
    std::size_t getDroppedCount();

private:
    std::mutex mutex;
    std::condition_variable messageAvailable;
    std::deque<std::unique_ptr<std::vector<uint8_t>>> messages;
    std::size_t queuedBytes = 0;
    std::size_t dropped = 0;
    std::size_t waiters = 0;
};
