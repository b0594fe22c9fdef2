#include "support/RecordingLooper.h"

#include "kit/Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

TEST(BLooper, QuittingHandlesWhatIsQueuedThenRefusesMore)
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
    looper.Quit();
    EXPECT_EQ(looper.count.load(), 2);
    EXPECT_EQ(looper.PostMessage(3u), B_ERROR);
}

// At exit the program waits a moment for its threads and no longer: one
// stuck (as in a host-name lookup) is left behind.
TEST(Threads, NamedThreadsAreWaitedForOnlyAsLongAsAsked)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    std::string name;
    kit::StartThread("tolvar port", [&] {
        char buffer[32] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        std::unique_lock<std::mutex> lock(mutex);
        name = buffer;
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return release; });
    });
    kit::StartThread("quick", [] {});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(kit::WaitForThreads(std::chrono::milliseconds(100)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(kit::RunningThreadCount(), 1);
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    changed.notify_all();
    EXPECT_TRUE(kit::WaitForThreads(std::chrono::seconds(10)));
    EXPECT_EQ(name, "tolvar port");
    EXPECT_EQ(kit::RunningThreadCount(), 0);
}
