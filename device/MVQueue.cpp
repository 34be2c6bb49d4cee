#include "device/MVQueue.h"

#include <algorithm>
#include <chrono>
#include <cstring>

void MVQueue::push(const uint8_t* data, int length)
{
    auto message = std::make_unique<std::vector<uint8_t>>();
    if (data != nullptr && length > 0)
        message->assign(data, data + length);
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (message->size() > maxBytes)
        {
            ++dropped;
            return;
        }
        while (!messages.empty() &&
               (messages.size() >= maxMessages || queuedBytes + message->size() > maxBytes))
        {
            queuedBytes -= messages.front()->size();
            messages.pop_front();
            ++dropped;
        }
        queuedBytes += message->size();
        messages.push_back(std::move(message));
    }
    messageAvailable.notify_one();
}

int MVQueue::pop(void* out, int timeoutMs, int capacity)
{
    if (out == nullptr)
        return 0;

    std::unique_ptr<std::vector<uint8_t>> message;
    {
        std::unique_lock<std::mutex> lock(mutex);
        const auto available = [this] { return !messages.empty(); };
        if (timeoutMs < 0)
        {
            if (messages.empty())
                return -1;
        }
        else
        {
            ++waiters;
            bool arrived = true;
            if (timeoutMs == 0)
                messageAvailable.wait(lock, available);
            else // one deadline for the whole wait, however often the wait wakes
                arrived = messageAvailable.wait_until(
                    lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs), available);
            --waiters;
            if (!arrived)
                return -1;
        }
        message = std::move(messages.front());
        messages.pop_front();
        queuedBytes -= message->size();
    }

    if (capacity < 0 || message->size() > static_cast<std::size_t>(capacity))
        return messageTooLong;
    if (!message->empty())
        std::memcpy(out, message->data(), message->size());
    return static_cast<int>(message->size());
}

void MVQueue::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    messages.clear();
    queuedBytes = 0;
}

std::size_t MVQueue::removeIf(const std::function<bool(const std::vector<uint8_t>&)>& predicate)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto kept = std::stable_partition(messages.begin(), messages.end(),
                                            [&](const auto& message) { return !predicate(*message); });
    std::size_t removed = 0;
    for (auto it = kept; it != messages.end(); ++it, ++removed)
        queuedBytes -= (*it)->size();
    messages.erase(kept, messages.end());
    return removed;
}

std::size_t MVQueue::size()
{
    std::lock_guard<std::mutex> lock(mutex);
    return messages.size();
}

std::size_t MVQueue::getWaiterCount()
{
    std::lock_guard<std::mutex> lock(mutex);
    return waiters;
}

std::size_t MVQueue::getDroppedCount()
{
    std::lock_guard<std::mutex> lock(mutex);
    return dropped;
}
