#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// A thread-safe first-in first-out list of byte messages, one per session id.
class MVQueue
{
public:
    // Appends a copy of the bytes (an empty message for null data or a
    // length <= 0) and wakes one waiter.
    void push(const uint8_t* data, int length);

    // Takes the oldest message and copies it into out, which holds capacity
    // bytes. Waits for a message until timeoutMs from the call has passed
    // (timeoutMs 0 waits without limit; a negative one does not wait).
    // Returns the message's length; -1 on timeout; 0 at once, without taking
    // anything, when out is null. A message longer than capacity is removed
    // from the queue unwritten and -1 is returned.
    int pop(void* out, int timeoutMs, int capacity);

    // Drops every queued message.
    void clear();

private:
    std::mutex mutex;
    std::condition_variable messageAvailable;
    std::deque<std::unique_ptr<std::vector<uint8_t>>> messages;
};
