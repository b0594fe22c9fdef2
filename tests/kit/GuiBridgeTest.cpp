#include "kit/GuiBridge.h"
#include "kit/GuiLooper.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

int argc = 1;
char arg0[] = "kit_tests";
char* argv[] = {arg0, nullptr};

// An application of its own for every test; a shutdown is forgotten after it.
class GuiBridge : public ::testing::Test
{
protected:
    ~GuiBridge() override { kit::RestartGui(); }

    // Runs the application loop until `done` holds, or fails after a watchdog.
    void RunLoopUntil(const std::function<bool()>& done)
    {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (done())
                app.quit();
        });
        poll.start(1);
        bool timedOut = false;
        QTimer::singleShot(10000, [&] {
            timedOut = true;
            app.quit();
        });
        app.exec();
        ASSERT_FALSE(timedOut) << "watchdog expired";
    }

    QCoreApplication app{argc, argv};
};

struct Window : GuiLooper
{
    std::vector<uint32> seen;
    bool allOnGuiThread = true;
    bool quit = false;
    void MessageReceived(BMessage* message) override
    {
        seen.push_back(message->what);
        allOnGuiThread = allOnGuiThread && kit::IsGuiThread();
    }
    void Quit() override { quit = true; }
};

} // namespace

TEST_F(GuiBridge, ABlockingCallRunsOnTheGuiThreadAndReturnsAfterIt)
{
    std::atomic<bool> ranOnGui{false};
    std::atomic<bool> returned{false};
    std::atomic<bool> ranBeforeReturn{false};
    std::thread worker([&] {
        EXPECT_FALSE(kit::IsGuiThread());
        EXPECT_TRUE(kit::RunOnGuiThread([&] {
            QThread::msleep(20);
            ranOnGui = kit::IsGuiThread();
            ranBeforeReturn = !returned.load();
        }));
        returned = true;
    });
    RunLoopUntil([&] { return returned.load(); });
    worker.join();
    EXPECT_TRUE(ranOnGui.load());
    EXPECT_TRUE(ranBeforeReturn.load());
}

TEST_F(GuiBridge, ShutdownReleasesWaitersWithoutRunningTheirCalls)
{
    std::atomic<bool> ran{false};
    std::atomic<int> result{-1};
    std::thread worker([&] { result = kit::RunOnGuiThread([&] { ran = true; }) ? 1 : 0; });
    // The loop never runs: the call stays queued until shutdown releases it.
    QThread::msleep(50);
    kit::ShutDownGui();
    worker.join();
    EXPECT_EQ(result.load(), 0);
    app.processEvents();
    EXPECT_FALSE(ran.load());
    EXPECT_FALSE(kit::RunOnGuiThread([&] { ran = true; }));
    EXPECT_FALSE(ran.load());
}

TEST_F(GuiBridge, AWindowHandlesMessagesFromOtherThreadsOnTheGuiThreadInOrder)
{
    auto window = std::make_unique<Window>();
    std::vector<uint32> posted;
    std::thread poster([&] {
        for (uint32 i = 1; i <= 100; ++i)
            EXPECT_EQ(window->PostMessage(i), B_OK);
    });
    for (uint32 i = 1; i <= 100; ++i)
        posted.push_back(i);
    poster.join();
    window->PostMessage(B_QUIT_REQUESTED);
    RunLoopUntil([&] { return window->quit; });
    EXPECT_EQ(window->seen, posted);
    EXPECT_TRUE(window->allOnGuiThread);

    // A message still queued when its window goes is dropped.
    window->PostMessage(42u);
    window.reset();
    bool drained = false;
    QTimer::singleShot(20, [&] { drained = true; });
    RunLoopUntil([&] { return drained; });
}
