#include "lobby/BrowserWindow.h"

#include "LobbyTestSupport.h"
#include "app/AppLocation.h"
#include "app/MessageCodes.h"
#include "app/MyGames.h"
#include "lobby/GameList.h"
#include "lobby/GameListItem.h"
#include "lobby/PeopleList.h"
#include "lobby/PeopleListItem.h"
#include "support/RecordingLooper.h"
#include "widgets/BitmapButton.h"
#include "widgets/StatusView.h"
#include "widgets/UserPanel.h"

#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSplitter>

#include <gtest/gtest.h>

namespace {

struct LobbyFixture : testing::Test
{
    LobbyFixture() : lobby(BrowserWindow::Instance())
    {
        lobby->Show();
        env.speaker.user = "bob";
        env.speaker.server = "chess.example.org";
    }

    // Posts `what` to the lobby and waits until it was handled.
    void Deliver(uint32 what)
    {
        lobby->PostMessage(what);
        Settle();
    }

    std::string Status() const { return lobby->Status()->Message(); }

    std::vector<std::string> GameIds() const
    {
        std::vector<std::string> ids;
        for (int i = 0; i < lobby->Games()->CountItems(); ++i)
            ids.push_back(lobby->Games()->GameAt(i)->GameID());
        return ids;
    }

    std::vector<std::string> Players() const
    {
        std::vector<std::string> names;
        for (int i = 0; i < lobby->People()->CountItems(); ++i)
            names.push_back(lobby->People()->PersonAt(i)->User());
        return names;
    }

    // Selects the row of game `id` and lets the selection message arrive.
    void SelectGame(const std::string& id)
    {
        std::vector<std::string> ids = GameIds();
        auto at = std::find(ids.begin(), ids.end(), id);
        ASSERT_NE(at, ids.end());
        lobby->Games()->Select(static_cast<int>(at - ids.begin()));
        Settle();
    }

    struct Buttons
    {
        bool create, join, watch;
        bool operator==(const Buttons&) const = default;
    };
    Buttons Enabled() const
    {
        return {lobby->CreateButton()->isEnabled(), lobby->JoinButton()->isEnabled(),
                lobby->WatchButton()->isEnabled()};
    }

    LobbyEnvironment env;
    BrowserWindow* lobby;
};

void PrintTo(const LobbyFixture::Buttons& b, std::ostream* out)
{
    *out << "create " << b.create << ", join " << b.join << ", watch " << b.watch;
}

std::vector<std::string> NoticesIn(RecordingLooper& recorder)
{
    std::vector<std::string> notices;
    for (const BMessage& message : recorder.Messages())
        if (message.what == MSG_INFO_TEXT)
            notices.push_back(message.GetString("message"));
    return notices;
}

} // namespace

TEST_F(LobbyFixture, WindowHasItsTitleSizeButtonsColumnsAndSplit)
{
    EXPECT_EQ(lobby->windowTitle(), "Tolvar");
    EXPECT_EQ(lobby->size(), QSize(650, 402));
    EXPECT_EQ(lobby->minimumSize(), QSize(200, 200));
    EXPECT_EQ(lobby->maximumSize(), QSize(3000, 3000));
    EXPECT_EQ(lobby->CreateButton()->geometry(), QRect(10, 24, 64, 32));
    EXPECT_EQ(lobby->JoinButton()->geometry(), QRect(74, 24, 64, 32));
    EXPECT_EQ(lobby->WatchButton()->geometry(), QRect(138, 24, 64, 32));
    EXPECT_EQ(lobby->MenuBar()->objectName(), "menubar");
    EXPECT_EQ(lobby->MainSplit()->y(), 57);
    // The vertical bar starts at trunc(2 * 650 / 3) = 433.
    EXPECT_EQ(lobby->MainSplit()->sizes().value(0), 433);

    // u = trunc((650 - 14) / 16) = 39; v = trunc((650 / 3 - 22 - 14) / 4) = 45.
    QHeaderView* games = lobby->Games()->Header();
    ASSERT_EQ(lobby->Games()->CountColumns(), 5);
    std::vector<std::pair<QString, int>> gameColumns = {
        {"ID", 39}, {"White", 97}, {"Black", 97}, {"Time", 58}, {"Description", 234}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(lobby->Games()->model()->headerData(i, Qt::Horizontal).toString(),
                  gameColumns[static_cast<size_t>(i)].first);
        EXPECT_EQ(games->sectionSize(i), gameColumns[static_cast<size_t>(i)].second);
    }
    QHeaderView* people = lobby->People()->Header();
    EXPECT_EQ(lobby->People()->model()->headerData(0, Qt::Horizontal).toString(), "Players Online");
    EXPECT_EQ(lobby->People()->model()->headerData(1, Qt::Horizontal).toString(), "Rating");
    EXPECT_EQ(people->sectionSize(0), 135);
    EXPECT_EQ(people->sectionSize(1), 47);
    // The rating column cannot be made narrower than 47, the name column down to 20.
    people->resizeSection(1, 30);
    EXPECT_EQ(people->sectionSize(1), 47);
    people->resizeSection(0, 20);
    EXPECT_EQ(people->sectionSize(0), 20);

    EXPECT_EQ(Enabled(), (Buttons{false, false, false}));
    EXPECT_FALSE(lobby->Chat()->IsEnabled());
    EXPECT_EQ(Status(), "");
}

TEST_F(LobbyFixture, MenusCarryTheirItemsAndShortcuts)
{
    QList<QAction*> menus = lobby->MenuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), "File");
    EXPECT_EQ(menus[1]->text(), "Edit");
    EXPECT_EQ(menus[2]->text(), "Help");
    QList<QAction*> file = menus[0]->menu()->actions();
    ASSERT_EQ(file.size(), 5);
    EXPECT_EQ(file[0]->text(), "About Tolvar...");
    EXPECT_TRUE(file[1]->isSeparator());
    EXPECT_EQ(file[2]->text(), "Logout");
    EXPECT_EQ(file[2]->shortcut(), QKeySequence("Ctrl+L"));
    EXPECT_TRUE(file[3]->isSeparator());
    EXPECT_EQ(file[4]->text(), "Quit");
    EXPECT_EQ(file[4]->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_EQ(menus[1]->menu()->actions().value(0)->text(), "Preferences");
    EXPECT_EQ(menus[2]->menu()->actions().value(0)->text(), "Quillmere");

    // "About Tolvar..." and "Preferences" show their windows.
    file[0]->trigger();
    ASSERT_TRUE(WaitFor([] { return !VisibleWindows("about").empty(); }));
    menus[1]->menu()->actions().value(0)->trigger();
    ASSERT_TRUE(WaitFor([] { return !VisibleWindows("preferences").empty(); }));
}

TEST_F(LobbyFixture, StatusLineFollowsEachConnectionStageFromTheSpeakersNames)
{
    Deliver(MSG_PORT_RESOLVING);
    EXPECT_EQ(Status(), "resolving hostname chess.example.org");
    Deliver(MSG_PORT_CONNECTING);
    EXPECT_EQ(Status(), "connecting to host chess.example.org");
    // Failures are not handled here: the last progress text stays.
    Deliver(MSG_PORT_HOST_UNKNOWN);
    Deliver(MSG_CONNECT_FAILED);
    EXPECT_EQ(Status(), "connecting to host chess.example.org");
    Deliver(MSG_CONNECTED);
    EXPECT_EQ(Status(), "connection with chess.example.org established...logging in");
    lobby->WatchButton()->setEnabled(true);
    Deliver(MSG_LOGGED_IN);
    EXPECT_EQ(Status(), "connected as bob");
    EXPECT_TRUE(lobby->Chat()->IsEnabled());
    // Create on, join off, watch untouched.
    EXPECT_EQ(Enabled(), (Buttons{true, false, true}));
}

TEST_F(LobbyFixture, ButtonsFollowTheSelectedRowsSeats)
{
    Deliver(MSG_LOGGED_IN);
    lobby->InformAboutGame("1", "carl", "", "open");
    lobby->InformAboutGame("2", "carl", "dave", "busy");
    Settle();
    EXPECT_EQ(Enabled(), (Buttons{true, false, false}));

    SelectGame("1");
    EXPECT_EQ(Enabled(), (Buttons{true, true, false}));
    SelectGame("2");
    EXPECT_EQ(Enabled(), (Buttons{true, false, true}));
    lobby->Games()->DeselectAll();
    Settle();
    EXPECT_EQ(Enabled(), (Buttons{true, false, false}));

    // A selection report while nothing is selected changes nothing.
    lobby->JoinButton()->setEnabled(true);
    Deliver(MSG_GAME_SELECTED);
    EXPECT_EQ(Enabled(), (Buttons{true, true, false}));
    Deliver(MSG_GAME_UNSELECTED);

    // The seat of a selected game fills: the buttons follow without a click.
    SelectGame("1");
    EXPECT_EQ(Enabled(), (Buttons{true, true, false}));
    lobby->InformAboutGame("1", "carl", "erin", "");
    Settle();
    EXPECT_EQ(Enabled(), (Buttons{true, false, true}));
}

TEST_F(LobbyFixture, JoinSendsPlayOrObserveAndAlertsWhenTheUserSits)
{
    lobby->InformAboutGame("12", "carl", "", "");
    SelectGame("12");
    const int started = MyGames::Instance()->NumStarted();
    Deliver(MSG_JOIN_GAME);
    EXPECT_EQ(env.speaker.lines, (std::vector<std::string>{"PLAY 12 \r\n"}));

    lobby->InformAboutGame("12", "carl", "dave", "");
    Settle();
    Deliver(MSG_JOIN_GAME);
    EXPECT_EQ(env.speaker.lines.back(), "OBSERVE 12 on \r\n");

    // The user's own game: an alert, nothing sent, but still counted.
    lobby->InformAboutGame("12", "carl", "bob", "");
    Settle();
    env.speaker.lines.clear();
    Deliver(MSG_JOIN_GAME);
    EXPECT_TRUE(env.speaker.lines.empty());
    ASSERT_EQ(env.Alerts().size(), 1u);
    EXPECT_EQ(env.Alerts()[0].text, "You are already involved in this game.");
    EXPECT_EQ(env.Alerts()[0].button, "Oops!");

    // Nothing selected: nothing sent, nothing shown, counted all the same.
    lobby->Games()->DeselectAll();
    Deliver(MSG_JOIN_GAME);
    EXPECT_TRUE(env.speaker.lines.empty());
    EXPECT_EQ(env.Alerts().size(), 1u);
    EXPECT_EQ(MyGames::Instance()->NumStarted(), started + 4);
}

TEST_F(LobbyFixture, InvokingARowAndTheJoinButtonJoin)
{
    Deliver(MSG_LOGGED_IN);
    lobby->InformAboutGame("7", "", "carl", "");
    SelectGame("7");
    QTest::mouseClick(lobby->JoinButton(), Qt::LeftButton, {}, QPoint(5, 5));
    Settle();
    QTest::keyClick(lobby->Games(), Qt::Key_Return);
    Settle();
    EXPECT_EQ(env.speaker.lines, (std::vector<std::string>{"PLAY 7 \r\n", "PLAY 7 \r\n"}));
}

TEST_F(LobbyFixture, WatchObservesOnlyAFullGameOfOthers)
{
    lobby->InformAboutGame("3", "carl", "", "");
    lobby->InformAboutGame("4", "carl", "dave", "");
    lobby->InformAboutGame("5", "bob", "dave", "");
    Deliver(MSG_WATCH_GAME);
    EXPECT_TRUE(env.speaker.lines.empty());
    EXPECT_TRUE(env.Alerts().empty());

    SelectGame("4");
    Deliver(MSG_WATCH_GAME);
    EXPECT_EQ(env.speaker.lines, (std::vector<std::string>{"OBSERVE 4 on \r\n"}));
    for (const char* id : {"3", "5"}) {
        SelectGame(id);
        Deliver(MSG_WATCH_GAME);
    }
    EXPECT_EQ(env.speaker.lines.size(), 1u);
    ASSERT_EQ(env.Alerts().size(), 2u);
    for (const auto& alert : env.Alerts()) {
        EXPECT_EQ(alert.text, "You can not observe this game.");
        EXPECT_EQ(alert.button, "Oops!");
    }
}

TEST_F(LobbyFixture, InformAboutGameAddsNewGamesOnTopAndKeepsTheFirstDescription)
{
    CallLog log;
    FakeGameWindow window("2", nullptr, log);

    lobby->InformAboutGame("1", "carl", "", "first game");
    lobby->InformAboutGame("2", "", "bob", "second game");
    lobby->InformAboutGame("3", "erin", "dave", "");
    EXPECT_EQ(GameIds(), (std::vector<std::string>{"3", "2", "1"}));
    // Arguments come black first, then white.
    GameListItem* game = lobby->Games()->GameAt(2);
    EXPECT_EQ(game->BlackPlayer(), "carl");
    EXPECT_EQ(game->WhitePlayer(), "");
    EXPECT_EQ(game->ColumnText(1), "<not seated>");
    EXPECT_EQ(game->ColumnText(2), "carl");
    EXPECT_FALSE(game->IsFull());

    lobby->InformAboutGame("2", "carl", "bob", "a new description");
    EXPECT_EQ(GameIds(), (std::vector<std::string>{"3", "2", "1"}));
    GameListItem* updated = lobby->Games()->GameAt(1);
    EXPECT_EQ(updated->Description(), "second game");
    EXPECT_EQ(updated->BlackPlayer(), "carl");
    EXPECT_TRUE(updated->IsFull());
    EXPECT_TRUE(updated->AmIInvolved());
    // The open game window heard both announcements.
    EXPECT_EQ(log.Calls(),
              (std::vector<std::string>{"2 SetWhitePlayer bob", "2 SetBlackPlayer ",
                                        "2 SetWhitePlayer bob", "2 SetBlackPlayer carl"}));
}

TEST_F(LobbyFixture, RemoveGameTakesOnlyAListedGameAndASelectedOneSwitchesTheButtonsOff)
{
    Deliver(MSG_LOGGED_IN);
    lobby->InformAboutGame("1", "carl", "", "");
    lobby->InformAboutGame("2", "carl", "", "");
    RecordingLooper recorder;
    MessageRepeater::Instance()->AddTarget(&recorder);
    lobby->RemoveGame("9");
    EXPECT_EQ(GameIds(), (std::vector<std::string>{"2", "1"}));
    SelectGame("1");
    EXPECT_TRUE(lobby->JoinButton()->isEnabled());
    lobby->RemoveGame("1");
    Settle();
    MessageRepeater::Instance()->RemoveTarget(&recorder);
    EXPECT_EQ(GameIds(), (std::vector<std::string>{"2"}));
    EXPECT_EQ(lobby->Games()->CurrentSelection(), -1);
    EXPECT_EQ(Enabled(), (Buttons{true, false, false}));
    // No notice for a removed game.
    EXPECT_TRUE(NoticesIn(recorder).empty());
}

TEST_F(LobbyFixture, UserInKeepsNamesSortedWithoutCaseAndAnnouncesOnlyNewArrivals)
{
    RecordingLooper recorder;
    MessageRepeater::Instance()->AddTarget(&recorder);
    // The first player into an empty list is never announced.
    lobby->UserIn("Carl", "1500", true);
    lobby->UserIn("alice", "1200", false);
    lobby->UserIn("bob", "1300", true);
    EXPECT_EQ(Players(), (std::vector<std::string>{"alice", "bob", "Carl"}));
    lobby->UserIn("Bob", "1000", true);
    EXPECT_EQ(Players(), (std::vector<std::string>{"alice", "Bob", "bob", "Carl"}));
    lobby->UserIn("zed", "900", false);
    lobby->UserIn("Zed", "900", true);
    EXPECT_EQ(Players(), (std::vector<std::string>{"alice", "Bob", "bob", "Carl", "Zed", "zed"}));

    // A name already listed, byte for byte: only its rating changes.
    lobby->UserIn("bob", "1350", true);
    EXPECT_EQ(Players().size(), 6u);
    EXPECT_EQ(lobby->People()->PersonAt(2)->Rating(), "1350");
    EXPECT_EQ(lobby->People()->PersonAt(1)->Rating(), "1000");
    Settle();
    MessageRepeater::Instance()->RemoveTarget(&recorder);
    EXPECT_EQ(NoticesIn(recorder),
              (std::vector<std::string>{"bob has arrived", "Bob has arrived", "Zed has arrived"}));
    // The lobby shows its own notices as system lines.
    EXPECT_TRUE(lobby->Chat()->Log()->toPlainText().contains("System: Zed has arrived\n"));
}

TEST_F(LobbyFixture, UserOutRemovesOnlyAnExactNameAndSaysSo)
{
    lobby->UserIn("Bob", "1000", false);
    lobby->UserIn("carl", "1000", false);
    RecordingLooper recorder;
    MessageRepeater::Instance()->AddTarget(&recorder);
    lobby->UserOut("bob");
    lobby->UserOut("nobody");
    EXPECT_EQ(Players(), (std::vector<std::string>{"Bob", "carl"}));
    lobby->UserOut("Bob");
    EXPECT_EQ(Players(), (std::vector<std::string>{"carl"}));
    Settle();
    MessageRepeater::Instance()->RemoveTarget(&recorder);
    EXPECT_EQ(NoticesIn(recorder), (std::vector<std::string>{"Bob has left"}));
}

TEST_F(LobbyFixture, LogoutEmptiesEverythingResetsTheSpeakerAndBringsANewLogin)
{
    CallLog log;
    FakeGameWindow window("1", nullptr, log);
    Deliver(MSG_LOGGED_IN);
    lobby->InformAboutGame("1", "carl", "", "");
    lobby->InformAboutGame("2", "carl", "dave", "");
    lobby->UserIn("carl", "1", false);
    lobby->Chat()->ReceivedNotification("hello");
    SelectGame("1");
    ASSERT_TRUE(VisibleWindows("login").empty());

    Deliver(MSG_LOGOUT);
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(env.speaker.resets, 1);
    EXPECT_EQ(MyGames::Instance()->CountGames(), 0);
    EXPECT_EQ(log.Calls().back(), "1 QuitRequested");
    EXPECT_EQ(lobby->Games()->CountItems(), 0);
    EXPECT_EQ(lobby->People()->CountItems(), 0);
    EXPECT_TRUE(lobby->Chat()->Log()->toPlainText().isEmpty());
    EXPECT_FALSE(lobby->Chat()->IsEnabled());
    EXPECT_EQ(Enabled(), (Buttons{true, false, false}));
    EXPECT_EQ(VisibleWindows("login").size(), 1u);
}

TEST_F(LobbyFixture, RejectedLoginsShowTheirStatusDuringTheAlertThenReset)
{
    struct Case
    {
        uint32 what;
        std::string status;
        std::string alert;
    };
    const std::vector<Case> cases = {
        {MSG_LOGIN_BAD_PASSWORD, "password incorrect",
         "Authentication failed.  You may have typed in a bad username and password.  Please "
         "re-check and log in again."},
        {MSG_LOGIN_DUPLICATE, "duplicate login detected",
         "Authentication failed.  You may not log in twice with the same username.  Please "
         "disconnect any previous connections and try again."},
    };
    std::string statusDuringAlert;
    env.recorded.onAlert = [&] { statusDuringAlert = Status(); };
    for (const Case& each : cases) {
        lobby->UserIn("carl", "1", false);
        Deliver(each.what);
        ASSERT_FALSE(env.Alerts().empty());
        EXPECT_EQ(env.Alerts().back().text, each.alert);
        EXPECT_EQ(env.Alerts().back().button, "Hmmm...");
        EXPECT_EQ(statusDuringAlert, each.status);
        EXPECT_EQ(Status(), "");
        EXPECT_EQ(lobby->People()->CountItems(), 0);
    }
    EXPECT_EQ(env.speaker.resets, 2);
    EXPECT_EQ(VisibleWindows("login").size(), 2u);
}

TEST_F(LobbyFixture, HelpOpensTheShippedPageAndSaysSoWhenItCannot)
{
    std::vector<std::string> opened;
    bool works = true;
    BrowserWindow::SetWebPageOpener([&](const std::string& url) {
        opened.push_back(url);
        return works;
    });
    AppLocation::Instance()->SetPath("/opt/tolvar");
    Deliver(MSG_OPEN_WEB_PAGE);
    works = false;
    Deliver(MSG_OPEN_WEB_PAGE);
    BrowserWindow::SetWebPageOpener({});
    EXPECT_EQ(opened, (std::vector<std::string>{"file:///opt/tolvar/resources/help/index.html",
                                                "file:///opt/tolvar/resources/help/index.html"}));
    ASSERT_EQ(env.Alerts().size(), 1u);
    EXPECT_EQ(env.Alerts()[0].button, "Oh, darn!");
}

TEST_F(LobbyFixture, NewGameOpensTheGameDialog)
{
    auto dialogs = [] {
        int count = 0;
        for (QWidget* window : QApplication::topLevelWidgets())
            count += window->isVisible() && window->windowTitle() == "Choose Game Characteristics";
        return count;
    };
    QTest::mouseClick(lobby->CreateButton(), Qt::LeftButton, {}, QPoint(5, 5));
    Settle();
    EXPECT_EQ(dialogs(), 0); // disabled before login
    Deliver(MSG_LOGGED_IN);
    QTest::mouseClick(lobby->CreateButton(), Qt::LeftButton, {}, QPoint(5, 5));
    Settle();
    EXPECT_EQ(dialogs(), 1);
}

TEST_F(LobbyFixture, QuitAndTheCloseBoxCloseTheLobbyAndAskTheApplicationToQuit)
{
    QPointer<BrowserWindow> watched(lobby);
    Deliver(MSG_QUIT_APP);
    ASSERT_TRUE(WaitFor([&] { return watched.isNull(); }));
    EXPECT_EQ(env.quitRequests, 1);
    EXPECT_TRUE(BrowserWindow::WasClosed());
}
