#include "kit/GuiBridge.h"
#include "kit/GuiLooper.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Runs the application loop until `done` holds, or fails after a watchdog.
void RunLoopUntil(QCoreApplication& app, const std::function<bool()>& done)
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

struct Window : GuiLooper
{
    std::vector<uint32> seen;
    std::vector<bool> onGuiThread;
    bool quit = false;
    void MessageReceived(BMessage* message) override
    {
        seen.push_back(message->what);
        onGuiThread.push_back(QThread::currentThread() == QCoreApplication::instance()->thread());
    }
    void Quit() override { quit = true; }
};

int argc = 1;
char arg0[] = "kit_tests";
char* argv[] = {arg0, nullptr};

} // namespace

TEST(GuiBridge, BlockingCallRunsOnTheGuiThreadAndReturnsAfterIt)
{
    QCoreApplication app(argc, argv);
    std::atomic<bool> ranOnGui{false};
    std::atomic<bool> returned{false};
    std::atomic<bool> ranBeforeReturn{false};
    std::thread worker([&] {
        bool ok = kit::RunOnGuiThread([&] {
            QThread::msleep(20);
            ranOnGui = QThread::currentThread() == app.thread();
            ranBeforeReturn = !returned.load();
        });
        EXPECT_TRUE(ok);
        EXPECT_FALSE(kit::IsGuiThread());
        returned = true;
    });
    RunLoopUntil(app, [&] { return returned.load(); });
    worker.join();
    EXPECT_TRUE(ranOnGui.load());
    EXPECT_TRUE(ranBeforeReturn.load());
    EXPECT_TRUE(kit::IsGuiThread());
}

TEST(GuiBridge, ShutdownReleasesWaitersWithoutRunningTheirCalls)
{
    QCoreApplication app(argc, argv);
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

TEST(GuiLooper, MessagesFromOtherThreadsAreHandledOnTheGuiThreadInOrder)
{
    QCoreApplication app(argc, argv);
    Window window;
    std::thread poster([&] {
        for (uint32 i = 1; i <= 100; ++i)
            EXPECT_EQ(window.PostMessage(i), B_OK);
    });
    poster.join();
    RunLoopUntil(app, [&] { return window.seen.size() == 100; });
    ASSERT_EQ(window.seen.size(), 100u);
    for (uint32 i = 0; i < 100; ++i) {
        EXPECT_EQ(window.seen[i], i + 1);
        EXPECT_TRUE(window.onGuiThread[i]);
    }
}

TEST(GuiLooper, QuitRequestCallsQuitAndMessagesToADestroyedWindowAreDropped)
{
    QCoreApplication app(argc, argv);
    auto window = std::make_unique<Window>();
    window->PostMessage(B_QUIT_REQUESTED);
    RunLoopUntil(app, [&] { return window->quit; });
    EXPECT_TRUE(window->seen.empty());

    window->PostMessage(42u);
    window.reset(); // the message is still queued
    bool drained = false;
    QTimer::singleShot(20, [&] { drained = true; });
    RunLoopUntil(app, [&] { return drained; });
}

TEST(GuiBridge, AppQuitRequestRunsTheInstalledHandlerOnTheGuiThread)
{
    QCoreApplication app(argc, argv);
    std::atomic<bool> handled{false};
    kit::SetAppQuitHandler([&] { handled = QThread::currentThread() == app.thread(); });
    std::thread([] { kit::PostAppQuitRequest(); }).join();
    RunLoopUntil(app, [&] { return handled.load(); });
    kit::SetAppQuitHandler(nullptr);
}
