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
#include "net/TolvarSpeak.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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

TEST(Startup, TheLoginsCloseBoxLeavesTheLobbyWhoseQuitEndsTheProgram)
{
    bool lobbyStayed = false;
    ASSERT_TRUE(RunUntilQuit([&] {
        VisibleLogin()->close();
        QTimer::singleShot(100, [&] {
            lobbyStayed = VisibleLogin() == nullptr && BrowserWindow::Instance()->isVisible();
            BrowserWindow::Instance()->PostMessage(MSG_QUIT_APP);
        });
    }));
    EXPECT_TRUE(lobbyStayed);
    EXPECT_TRUE(BrowserWindow::WasClosed());
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
