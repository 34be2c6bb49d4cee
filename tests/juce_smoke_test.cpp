#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <atomic>
#include <thread>

// A closure posted from another thread runs on the message thread while the
// test pumps the loop.
TEST(JuceTestMain, CallAsyncFromWorkerRunsOnMessageThread)
{
    std::atomic<bool> ran{false};
    std::atomic<bool> onMessageThread{false};
    std::thread worker(
        [&]
        {
            juce::MessageManager::callAsync(
                [&]
                {
                    onMessageThread = juce::MessageManager::getInstance()->isThisTheMessageThread();
                    ran = true;
                });
        });
    worker.join();
    for (int i = 0; i < 200 && !ran; ++i)
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(onMessageThread);
}
