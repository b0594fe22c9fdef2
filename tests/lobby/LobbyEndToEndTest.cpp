// The lobby driven through the real protocol speaker against a stand-in
// server on port 5000 (in a private network namespace).

#include "LobbyTestSupport.h"
#include "app/MessageCodes.h"
#include "kit/Threads.h"
#include "lobby/BrowserWindow.h"
#include "lobby/GameList.h"
#include "lobby/GameListItem.h"
#include "lobby/LobbyHooks.h"
#include "lobby/LoginWindow.h"
#include "lobby/PeopleList.h"
#include "lobby/StatusView.h"
#include "lobby/UserPanel.h"
#include "net/TolvarSpeak.h"
#include "support/LineServer.h"
#include "support/RecordingLooper.h"
#include "widgets/BitmapButton.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

struct EndToEnd : testing::Test
{
    EndToEnd() : server(TolvarSpeak::kServerPort)
    {
        // The real speaker, not the recorder.
        InstallLobbyHooks();
        lobby = BrowserWindow::Instance();
        lobby->Show();
        TolvarSpeak::Instance()->Run();
        MessageRepeater::Instance()->AddTarget(&recorder);
    }

    ~EndToEnd() override
    {
        MessageRepeater::Instance()->RemoveTarget(&recorder);
        // What the application does when its loop ends.
        kit::ShutDownGui();
        TolvarSpeak::Instance()->Quit();
        TolvarSpeak::Instance()->Disconnect();
        kit::JoinAllThreads();
    }

    LoginWindow* OpenLogin()
    {
        std::vector<QWidget*> open = VisibleWindows("login");
        return open.empty() ? nullptr : static_cast<LoginWindow*>(open.back());
    }

    bool ServerGets(const std::string& line)
    {
        return WaitFor([&] { return server.HasLine(line); }, 10000);
    }

    std::string Status() const { return lobby->Status()->Message(); }

    LobbyEnvironment env; // first: settings directory and alerts
    LineServer server;
    RecordingLooper recorder;
    BrowserWindow* lobby = nullptr;
};

std::vector<uint32> ProgressCodes(RecordingLooper& recorder)
{
    std::vector<uint32> codes;
    for (uint32 what : recorder.Codes())
        if (what == MSG_PORT_RESOLVING || what == MSG_PORT_CONNECTING || what == MSG_CONNECTED ||
            what == MSG_LOGGED_IN)
            codes.push_back(what);
    return codes;
}

} // namespace

TEST_F(EndToEnd, LoginListsChatJoinAndLogoutAgainstAServer)
{
    ASSERT_TRUE(server.Listening());
    (new LoginWindow())->Show();
    LoginWindow* login = OpenLogin();
    ASSERT_NE(login, nullptr);
    login->UserField()->setText("alice");
    login->PasswordField()->setText("pw");
    QTest::mouseClick(login->LogInButton(), Qt::LeftButton);

    ASSERT_TRUE(ServerGets("USER alice pw \r\n"));
    EXPECT_TRUE(WaitFor([&] { return OpenLogin() == nullptr; }));
    ASSERT_TRUE(
        WaitFor([&] { return Status() == "connection with localhost established...logging in"; }));
    server.Send("201 \r\n");
    ASSERT_TRUE(WaitFor([&] { return Status() == "connected as alice"; }));
    ASSERT_TRUE(recorder.WaitForWhat(MSG_LOGGED_IN));
    EXPECT_EQ(ProgressCodes(recorder), (std::vector<uint32>{MSG_PORT_RESOLVING, MSG_PORT_CONNECTING,
                                                            MSG_CONNECTED, MSG_LOGGED_IN}));
    ASSERT_TRUE(ServerGets("GAMES \r\n"));
    ASSERT_TRUE(ServerGets("USERS \r\n"));
    EXPECT_TRUE(lobby->Chat()->IsEnabled());

    server.Send("118 12 1 0 carl :Open <b>game</b>\r\n118 13 1 1 dave erin :Busy\r\n"
                "700 carl 1400\r\n700 alice 1500\r\n115 carl lobby :<i>hi</i>\r\n");
    ASSERT_TRUE(WaitFor([&] {
        return lobby->Games()->CountItems() == 2 && lobby->People()->CountItems() == 2 &&
               lobby->Chat()->Log()->toPlainText().contains("carl: <i>hi</i>");
    }));
    EXPECT_EQ(lobby->Games()->GameAt(0)->GameID(), "13");
    EXPECT_EQ(lobby->Games()->GameAt(1)->Description(), "Open <b>game</b>");
    EXPECT_TRUE(lobby->Chat()->Log()->toPlainText().contains(
        "System: Game #12 is a challenge issued by carl (black)"));

    lobby->Games()->Select(1);
    ASSERT_TRUE(WaitFor([&] { return lobby->JoinButton()->isEnabled(); }));
    QTest::mouseClick(lobby->JoinButton(), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(ServerGets("PLAY 12 \r\n"));
    lobby->Games()->Select(0);
    ASSERT_TRUE(WaitFor([&] { return lobby->WatchButton()->isEnabled(); }));
    QTest::mouseClick(lobby->WatchButton(), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(ServerGets("OBSERVE 13 on \r\n"));

    QTest::keyClicks(lobby->Chat()->Entry(), "hello there");
    QTest::keyClick(lobby->Chat()->Entry(), Qt::Key_Return);
    ASSERT_TRUE(ServerGets("PUBLMSG :hello there \r\n"));

    lobby->PostMessage(MSG_LOGOUT);
    ASSERT_TRUE(WaitFor([&] { return server.ClientGone() && OpenLogin() != nullptr; }));
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(lobby->Games()->CountItems(), 0);
    EXPECT_EQ(lobby->People()->CountItems(), 0);
    EXPECT_TRUE(TolvarSpeak::Instance()->LoggedInAs().empty());
}

TEST_F(EndToEnd, ARejectedPasswordAlertsResetsAndOffersANewLogin)
{
    ASSERT_TRUE(server.Listening());
    (new LoginWindow())->Show();
    LoginWindow* login = OpenLogin();
    login->UserField()->setText("alice");
    login->PasswordField()->setText("wrong");
    login->CreateBox()->setChecked(true);
    QTest::mouseClick(login->LogInButton(), Qt::LeftButton);
    ASSERT_TRUE(ServerGets("CREATE alice wrong \r\n"));
    server.Send("403 \r\n");
    ASSERT_TRUE(WaitFor([&] { return !env.alerts.empty() && OpenLogin() != nullptr; }));
    EXPECT_EQ(env.alerts[0].button, "Hmmm...");
    EXPECT_EQ(Status(), "");
    ASSERT_TRUE(WaitFor([&] { return server.ClientGone(); }));
}
