// The application object: the start-up order, and an end that waits for
// nothing the network holds up. The program's loop runs once per process,
// so this is one test.

#include "app/AppLocation.h"
#include "app/MessageRepeater.h"
#include "app/client/TolvarApp.h"
#include "kit/ModalAlert.h"
#include "kit/Threads.h"
#include "lobby/BrowserWindow.h"
#include "lobby/LoginWindow.h"
#include "net/ClientLines.h"
#include "net/TolvarSpeak.h"
#include "support/FakeServer.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

TolvarApp* sApp = nullptr;

LoginWindow* VisibleLogin()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == "login" && window->isVisible())
            return static_cast<LoginWindow*>(window);
    return nullptr;
}

} // namespace

// A server that has stopped reading, or a connection thread stuck in a
// host-name lookup, cannot hold up the end of the program: the lines queued
// by closing windows get a moment, then the connection goes, and with it
// the send that waited for the server; a thread that does not end is left.
TEST(Startup, TheLoginShowsInFrontOfTheLobbyAndQuitWaitsForNothingStuck)
{
    BrowserWindow* lobby = BrowserWindow::Instance();
    EXPECT_TRUE(lobby->isVisible());
    ASSERT_NE(VisibleLogin(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), VisibleLogin());
    TolvarSpeak* speaker = TolvarSpeak::Instance();
    EXPECT_EQ(&Speaker(), static_cast<SpeakerLink*>(speaker));

    FakeServer server;
    TolvarSpeak::SetServerPort(server.Port());
    speaker->ConnectWith("localhost", "alice", "secret", false);
    ASSERT_TRUE(server.Accept());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!speaker->IsConnected() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(speaker->IsConnected());
    // The trace of a 64 MiB line is not for the terminal.
    std::fflush(stdout);
    const int terminal = ::dup(STDOUT_FILENO);
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(nowhere, STDOUT_FILENO);
    // Far more than the sockets hold: the speaker's send cannot finish.
    speaker->PostLine(ClientLines::PublicMessage(std::string(64 << 20, 'x')));
    ASSERT_TRUE(server.WaitForData());

    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    kit::StartThread("tolvar port", [&] {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(60), [&] { return release; });
    });

    std::atomic<bool> ended{false};
    std::thread watchdog([&ended] {
        for (int i = 0; i < 450 && !ended; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!ended) {
            std::fprintf(stderr, "watchdog: the program did not end\n");
            std::_Exit(1);
        }
    });
    QTimer::singleShot(0, [] { QTest::mouseClick(VisibleLogin()->QuitButton(), Qt::LeftButton); });
    const auto started = std::chrono::steady_clock::now();
    sApp->Run();
    const auto took = std::chrono::steady_clock::now() - started;
    ended = true;
    watchdog.join();
    std::fflush(stdout);
    ::dup2(terminal, STDOUT_FILENO);
    ::close(terminal);
    ::close(nowhere);

    // The grace periods come to a few seconds; a busy machine may stretch
    // them, but a wait for the stuck thread would last its full minute.
    EXPECT_LT(took, std::chrono::seconds(20));
    EXPECT_TRUE(BrowserWindow::WasClosed());
    EXPECT_EQ(kit::RunningThreadCount(), 1); // the stuck one, left behind
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    changed.notify_all();
    kit::JoinAllThreads();
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    char settings[] = "/tmp/tolvar-startup-XXXXXX";
    if (::mkdtemp(settings) == nullptr)
        return 1;
    ::setenv("XDG_CONFIG_HOME", settings, 1);
    AppLocation::Instance()->SetExecutableCall(argv[0]);
    TolvarApp app(argc, argv);
    sApp = &app;
    // Alerts would wait for a click nobody gives.
    ModalAlertFactory::SetPresenter([](const std::string&, const std::string&, AlertType) {});
    int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(settings, ignored);
    return result;
}
