// The application object's start-up order and its ways to end.

#include "app/AppLocation.h"
#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "app/UiHooks.h"
#include "app/client/TolvarApp.h"
#include "kit/ModalAlert.h"
#include "kit/Threads.h"
#include "lobby/BrowserWindow.h"
#include "lobby/LoginWindow.h"
#include "net/ClientLines.h"
#include "net/FakeServer.h"
#include "net/TolvarSpeak.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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

// Runs the application loop with `action` queued first; a watchdog ends the
// loop after ten seconds. True when the loop ended by itself.
bool RunUntilQuit(const std::function<void()>& action)
{
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    watchdog.start(10000);
    QTimer::singleShot(0, action);
    sApp->Run();
    return !timedOut;
}

} // namespace

TEST(Startup, TheLobbyIsShownWithTheLoginInFrontAndTheLoopsRunning)
{
    BrowserWindow* lobby = BrowserWindow::Instance();
    EXPECT_TRUE(lobby->isVisible());
    LoginWindow* login = VisibleLogin();
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), login);
    EXPECT_TRUE(MessageRepeater::Instance()->IsRunning());
    EXPECT_TRUE(TolvarSpeak::Instance()->IsRunning());
    ASSERT_TRUE(Hooks().lobby);
    EXPECT_EQ(Hooks().lobby(), lobby);
    ASSERT_TRUE(Hooks().newLoginWindow);
    EXPECT_TRUE(Hooks().newGameDialog);
}

TEST(Startup, QuitOnTheLoginEndsTheProgramAndItsThreads)
{
    ASSERT_TRUE(RunUntilQuit([] {
        LoginWindow* login = VisibleLogin();
        ASSERT_NE(login, nullptr);
        QTest::mouseClick(login->QuitButton(), Qt::LeftButton);
    }));
    EXPECT_TRUE(BrowserWindow::WasClosed());
    EXPECT_EQ(kit::RunningThreadCount(), 0);
    EXPECT_FALSE(MessageRepeater::Instance()->IsRunning());
}

// A server that has stopped reading cannot hold up the end of the program:
// the lines queued by closing windows get a moment, then the connection
// goes, and with it the send that waited for the server.
TEST(Startup, ExitDoesNotWaitForAServerThatStoppedReading)
{
    FakeServer server(TolvarSpeak::kServerPort);
    ASSERT_NE(server.Port(), 0);
    TolvarSpeak* speaker = TolvarSpeak::Instance();
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

    std::atomic<bool> ended{false};
    std::thread watchdog([&ended] {
        for (int i = 0; i < 300 && !ended; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!ended) {
            std::fprintf(stderr, "watchdog: the program did not end\n");
            std::_Exit(1);
        }
    });
    const bool quit = RunUntilQuit([] { BrowserWindow::Instance()->PostMessage(MSG_QUIT_APP); });
    ended = true;
    watchdog.join();
    std::fflush(stdout);
    ::dup2(terminal, STDOUT_FILENO);
    ::close(terminal);
    ::close(nowhere);
    EXPECT_TRUE(quit);
    EXPECT_EQ(kit::RunningThreadCount(), 0);
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Listing the tests must not start the program.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
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
