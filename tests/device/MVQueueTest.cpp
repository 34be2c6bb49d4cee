#include "device/MVQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace
{
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}
} // namespace

TEST(MVQueue, TimesOutWithMinusOne)
{
    MVQueue queue;
    uint8_t out[8];
    const auto start = Clock::now();
    EXPECT_EQ(queue.pop(out, 30, sizeof out), -1);
    EXPECT_GE(msSince(start), 29);
    EXPECT_EQ(queue.pop(out, -5, sizeof out), -1);
}

TEST(MVQueue, PreQueuedMessagesComeOutOldestFirst)
{
    MVQueue queue;
    const uint8_t a[] = {1, 2, 3};
    const uint8_t b[] = {4};
    queue.push(a, 3);
    queue.push(b, 1);
    queue.push(nullptr, 0);

    uint8_t out[8] = {};
    EXPECT_EQ(queue.pop(out, 1, sizeof out), 3);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(queue.pop(out, 1, sizeof out), 1);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(queue.pop(out, 1, sizeof out), 0) << "the empty message";
    EXPECT_EQ(queue.pop(out, 1, sizeof out), -1);
}

TEST(MVQueue, NullOutTakesNothing)
{
    MVQueue queue;
    const uint8_t a[] = {9};
    queue.push(a, 1);
    EXPECT_EQ(queue.pop(nullptr, 0, 8), 0) << "returns at once, even with an unlimited wait";
    uint8_t out[1];
    EXPECT_EQ(queue.pop(out, 1, 1), 1);
}

TEST(MVQueue, MessageLongerThanCapacityIsDroppedUnwritten)
{
    MVQueue queue;
    const uint8_t big[] = {1, 2, 3, 4, 5};
    const uint8_t small[] = {7, 8};
    queue.push(big, 5);
    queue.push(small, 2);
    queue.push(big, 5);

    uint8_t out[8];
    std::fill(std::begin(out), std::end(out), 0xEE);
    EXPECT_EQ(queue.pop(out, 1, 4), MVQueue::messageTooLong);
    for (uint8_t b : out)
        EXPECT_EQ(b, 0xEE);
    EXPECT_EQ(queue.pop(out, 1, 2), 2) << "exactly the capacity fits";
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{7, 8, 0xEE}));
    EXPECT_EQ(queue.pop(out, 1, -1), MVQueue::messageTooLong) << "a negative capacity holds nothing";
    EXPECT_EQ(queue.pop(out, 1, 8), -1) << "the dropped messages are gone";
}

TEST(MVQueue, WaiterWakesOnPush)
{
    MVQueue queue;
    std::thread pusher(
        [&]
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const uint8_t a[] = {5, 6};
            queue.push(a, 2);
        });
    uint8_t out[4];
    EXPECT_EQ(queue.pop(out, 0, sizeof out), 2) << "timeout 0 waits without limit";
    pusher.join();
}

// Wake-ups come twice per timeout, and another consumer clears each message
// as soon as it is pushed, so the waiter's wakes mostly find the queue empty.
// A pop that gets no message ends at its one deadline. A queue that restarted
// its timeout at each empty wake-up would never time out while the wake-ups
// go on (they stop at the bound). A pop that wins a message returns it early
// and the next pop tries again.
TEST(MVQueue, WaitEndsAtOneDeadlineDespiteEmptyWakeUps)
{
    constexpr int timeoutMs = 300;
    constexpr int wakeEveryMs = timeoutMs / 2;
    constexpr int boundMs = 30 * timeoutMs;
    MVQueue queue;
    std::atomic<bool> stop{false};
    const auto start = Clock::now();
    std::thread thief(
        [&]
        {
            const uint8_t a[] = {1};
            while (!stop && msSince(start) < boundMs)
            {
                queue.push(a, 1);
                queue.clear();
                std::this_thread::sleep_for(std::chrono::milliseconds(wakeEveryMs));
            }
        });

    uint8_t out[4];
    long long timedOutAtMs = -1;
    int won = 0;
    while (timedOutAtMs < 0 && msSince(start) < boundMs)
    {
        const int result = queue.pop(out, timeoutMs, sizeof out);
        if (result == -1)
            timedOutAtMs = msSince(start);
        else if (result == 1)
            ++won;
        else
            ADD_FAILURE() << "pop returned " << result;
    }
    stop = true;
    thief.join();
    ASSERT_GE(timedOutAtMs, 0) << "no pop timed out; " << won << " won a message";
    EXPECT_LT(timedOutAtMs, boundMs) << "the pop timed out only once the wake-ups stopped";
}

TEST(MVQueue, ClearDropsEverything)
{
    MVQueue queue;
    const uint8_t a[] = {1};
    queue.push(a, 1);
    queue.push(a, 1);
    queue.clear();
    uint8_t out[1];
    EXPECT_EQ(queue.pop(out, 1, 1), -1);
}

// A peer that keeps sending cannot grow a queue without bound: the oldest
// messages go first, and every one dropped is counted.
TEST(MVQueue, LimitsDropTheOldestAndCountThem)
{
    struct Case
    {
        const char* name;
        std::size_t count;
        std::size_t messageBytes;
        std::size_t kept;
    };
    const std::size_t byBytes = MVQueue::maxBytes / 2000;
    const Case cases[] = {
        {"at the message limit", MVQueue::maxMessages, 10, MVQueue::maxMessages},
        {"past the message limit", 3 * MVQueue::maxMessages + 7, 10, MVQueue::maxMessages},
        {"past the byte limit", byBytes + 50, 2000, byBytes},
        {"one message larger than the byte limit", 1, MVQueue::maxBytes + 1, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        MVQueue queue;
        Bytes message(c.messageBytes);
        for (std::size_t i = 0; i < c.count; ++i)
        {
            message[0] = uint8_t(i);
            queue.push(message.data(), int(message.size()));
        }
        EXPECT_EQ(queue.size(), c.kept);
        EXPECT_EQ(queue.getDroppedCount(), c.count - c.kept);
        if (c.kept == 0)
            continue;
        Bytes out(c.messageBytes);
        ASSERT_EQ(queue.pop(out.data(), -1, int(out.size())), int(c.messageBytes));
        EXPECT_EQ(out[0], uint8_t(c.count - c.kept)) << "the oldest kept is the first after the dropped";
    }
}

TEST(MVQueue, RemoveIfKeepsTheOthersInOrder)
{
    MVQueue queue;
    for (uint8_t i = 0; i < 6; ++i)
        queue.push(&i, 1);
    EXPECT_EQ(queue.removeIf([](const Bytes& m) { return m[0] % 2 == 0; }), 3u);
    uint8_t out[1];
    for (uint8_t expected : {1, 3, 5})
    {
        ASSERT_EQ(queue.pop(out, -1, 1), 1);
        EXPECT_EQ(out[0], expected);
    }
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_EQ(queue.getDroppedCount(), 0u) << "removed on purpose, not dropped";
}
