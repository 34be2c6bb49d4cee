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
    EXPECT_EQ(queue.pop(out, 1, 4), -1);
    for (uint8_t b : out)
        EXPECT_EQ(b, 0xEE);
    EXPECT_EQ(queue.pop(out, 1, 2), 2) << "exactly the capacity fits";
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{7, 8, 0xEE}));
    EXPECT_EQ(queue.pop(out, 1, -1), -1) << "a negative capacity holds nothing";
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

// Another consumer takes every message before the waiter gets to it; the
// waiter's wakes find the queue empty, yet its wait ends at its one deadline.
TEST(MVQueue, WaitEndsAtOneDeadlineDespiteEmptyWakeUps)
{
    MVQueue queue;
    std::atomic<bool> stop{false};
    std::thread thief(
        [&]
        {
            const uint8_t a[] = {1};
            uint8_t sink[4];
            const auto end = Clock::now() + std::chrono::milliseconds(1500);
            while (!stop && Clock::now() < end)
            {
                queue.push(a, 1);
                queue.pop(sink, -1, sizeof sink);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    uint8_t out[4];
    const auto start = Clock::now();
    const int result = queue.pop(out, 100, sizeof out);
    const long long elapsed = msSince(start);
    stop = true;
    thief.join();
    EXPECT_TRUE(result == -1 || result == 1);
    EXPECT_LT(elapsed, 800);
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
