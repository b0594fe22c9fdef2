#include "support/RecordingLooper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(BLooper, HandlesMessagesInPostingOrderOnItsOwnThread)
{
    RecordingLooper looper;
    for (uint32 i = 1; i <= 200; ++i)
        looper.PostMessage(i);
    ASSERT_TRUE(looper.WaitForCount(200));
    std::vector<uint32> codes = looper.Codes();
    for (uint32 i = 0; i < 200; ++i)
        EXPECT_EQ(codes[i], i + 1);
}

TEST(BLooper, MessagesPostedBeforeRunWaitInTheQueue)
{
    struct Late : BLooper
    {
        std::atomic<int> count{0};
        void MessageReceived(BMessage*) override { ++count; }
        ~Late() override { Quit(); }
    } looper;
    looper.PostMessage(1u);
    looper.PostMessage(2u);
    looper.Run();
    looper.Quit(); // handles what is queued, then ends
    EXPECT_EQ(looper.count.load(), 2);
    EXPECT_EQ(looper.PostMessage(3u), B_ERROR);
}

TEST(BLooper, LockExcludesMessageHandling)
{
    struct Slow : BLooper
    {
        std::atomic<bool> inside{false};
        std::atomic<bool> overlap{false};
        void MessageReceived(BMessage*) override
        {
            inside = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            inside = false;
        }
        ~Slow() override { Quit(); }
    } looper;
    looper.Run();
    for (int i = 0; i < 50; ++i)
        looper.PostMessage(1u);
    for (int i = 0; i < 50; ++i) {
        looper.RunLocked([&] {
            if (looper.inside)
                looper.overlap = true;
        });
        ASSERT_TRUE(looper.Lock());
        // Recursive for its owner.
        ASSERT_TRUE(looper.Lock());
        if (looper.inside)
            looper.overlap = true;
        looper.Unlock();
        looper.Unlock();
    }
    looper.Quit();
    EXPECT_FALSE(looper.overlap.load());
}

TEST(BLooper, QuitRequestedDecidesWhetherTheLoopEnds)
{
    struct Stubborn : BLooper
    {
        std::atomic<bool> agree{false};
        std::atomic<int> asked{0};
        bool QuitRequested() override
        {
            ++asked;
            return agree.load();
        }
        ~Stubborn() override { Quit(); }
    } looper;
    looper.Run();
    looper.PostMessage(B_QUIT_REQUESTED);
    looper.RunLocked([] {}); // waits for nothing, but orders us after dispatching starts
    for (int i = 0; i < 1000 && looper.asked.load() < 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(looper.IsRunning());
    looper.agree = true;
    looper.PostMessage(B_QUIT_REQUESTED);
    for (int i = 0; i < 1000 && looper.asked.load() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    looper.Quit();
    EXPECT_EQ(looper.asked.load(), 2);
}
