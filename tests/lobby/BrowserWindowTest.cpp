#include "lobby/BrowserWindow.h"

#include "LobbyTestSupport.h"
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

#include <QPlainTextEdit>
#include <QPointer>

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

// Join and watch act on the selected row by its seats: an open game is
// played, a full one of others watched, the user's own refused with an
// alert; the buttons follow the row, also when its seats fill meanwhile.
TEST_F(LobbyFixture, JoinAndWatchFollowTheSelectedRowsSeats)
{
    Deliver(MSG_LOGGED_IN);
    lobby->InformAboutGame("1", "carl", "", "open");
    lobby->InformAboutGame("2", "carl", "dave", "busy");
    lobby->InformAboutGame("3", "bob", "dave", "mine");
    Settle();
    struct Case
    {
        const char* id; // empty: nothing selected
        uint32 what;
        Buttons buttons;
        const char* line; // null: nothing sent
        const char* alert;
    };
    const std::vector<Case> cases = {
        {"", MSG_JOIN_GAME, {true, false, false}, nullptr, nullptr},
        {"", MSG_WATCH_GAME, {true, false, false}, nullptr, nullptr},
        {"1", MSG_JOIN_GAME, {true, true, false}, "PLAY 1 \r\n", nullptr},
        {"1", MSG_WATCH_GAME, {true, true, false}, nullptr, "You can not observe this game."},
        {"2", MSG_JOIN_GAME, {true, false, true}, "OBSERVE 2 on \r\n", nullptr},
        {"2", MSG_WATCH_GAME, {true, false, true}, "OBSERVE 2 on \r\n", nullptr},
        {"3",
         MSG_JOIN_GAME,
         {true, false, true},
         nullptr,
         "You are already involved in this game."},
        {"3", MSG_WATCH_GAME, {true, false, true}, nullptr, "You can not observe this game."},
    };
    for (const Case& c : cases) {
        const std::string row = std::string(c.id) + " " + std::to_string(c.what);
        env.speaker.lines.clear();
        const size_t alerts = env.Alerts().size();
        if (*c.id == '\0') {
            lobby->Games()->DeselectAll();
            Settle();
        } else {
            SelectGame(c.id);
        }
        EXPECT_EQ(Enabled(), c.buttons) << row;
        Deliver(c.what);
        EXPECT_EQ(env.speaker.lines,
                  c.line ? std::vector<std::string>{c.line} : std::vector<std::string>{})
            << row;
        ASSERT_EQ(env.Alerts().size(), alerts + (c.alert != nullptr)) << row;
        if (c.alert != nullptr) {
            EXPECT_EQ(env.Alerts().back(), (AlertShown{c.alert, "Oops!"})) << row;
        }
    }

    SelectGame("1");
    lobby->InformAboutGame("1", "carl", "erin", "");
    Settle();
    EXPECT_EQ(Enabled(), (Buttons{true, false, true}));
}

TEST_F(LobbyFixture, NewGamesGoOnTopAndAnUpdateKeepsTheFirstDescription)
{
    Deliver(MSG_LOGGED_IN);
    CallLog log;
    FakeGameWindow window("2", nullptr, log);
    RecordingLooper recorder;
    MessageRepeater::Instance()->AddTarget(&recorder);

    lobby->InformAboutGame("1", "carl", "", "first game");
    lobby->InformAboutGame("2", "", "bob", "second game");
    lobby->InformAboutGame("3", "erin", "dave", "");
    EXPECT_EQ(GameIds(), (std::vector<std::string>{"3", "2", "1"}));
    // Arguments come black first, then white.
    EXPECT_EQ(lobby->Games()->GameAt(2)->ColumnText(1), "<not seated>");
    EXPECT_EQ(lobby->Games()->GameAt(2)->ColumnText(2), "carl");

    lobby->InformAboutGame("2", "carl", "bob", "a new description");
    EXPECT_EQ(GameIds(), (std::vector<std::string>{"3", "2", "1"}));
    EXPECT_EQ(lobby->Games()->GameAt(1)->Description(), "second game");
    EXPECT_TRUE(lobby->Games()->GameAt(1)->IsFull());
    // The open game window heard both announcements.
    EXPECT_EQ(log.Calls(),
              (std::vector<std::string>{"2 SetWhitePlayer bob", "2 SetBlackPlayer ",
                                        "2 SetWhitePlayer bob", "2 SetBlackPlayer carl"}));

    // Only a listed game goes; a selected one takes the buttons with it.
    lobby->RemoveGame("9");
    SelectGame("1");
    EXPECT_TRUE(lobby->JoinButton()->isEnabled());
    lobby->RemoveGame("1");
    Settle();
    MessageRepeater::Instance()->RemoveTarget(&recorder);
    EXPECT_EQ(GameIds(), (std::vector<std::string>{"3", "2"}));
    EXPECT_EQ(lobby->Games()->CurrentSelection(), -1);
    EXPECT_EQ(Enabled(), (Buttons{true, false, false}));
    EXPECT_TRUE(NoticesIn(recorder).empty());
}

// Names sort without regard to case, ties by their bytes; only an arrival
// after the first listing is announced; a listed name only changes its
// rating; a departure needs the exact name.
TEST_F(LobbyFixture, PlayersComeAndGoInOrderAndArrivalsAreAnnounced)
{
    RecordingLooper recorder;
    MessageRepeater::Instance()->AddTarget(&recorder);
    // The first player into an empty list is never announced.
    lobby->UserIn("Carl", "1500", true);
    lobby->UserIn("alice", "1200", false);
    lobby->UserIn("bob", "1300", true);
    lobby->UserIn("Bob", "1000", true);
    lobby->UserIn("zed", "900", false);
    lobby->UserIn("Zed", "900", true);
    EXPECT_EQ(Players(), (std::vector<std::string>{"alice", "Bob", "bob", "Carl", "Zed", "zed"}));
    lobby->UserIn("bob", "1350", true);
    EXPECT_EQ(Players().size(), 6u);
    EXPECT_EQ(lobby->People()->PersonAt(2)->Rating(), "1350");
    EXPECT_EQ(lobby->People()->PersonAt(1)->Rating(), "1000");

    lobby->UserOut("BOB");
    lobby->UserOut("nobody");
    lobby->UserOut("Bob");
    EXPECT_EQ(Players(), (std::vector<std::string>{"alice", "bob", "Carl", "Zed", "zed"}));
    Settle();
    MessageRepeater::Instance()->RemoveTarget(&recorder);
    EXPECT_EQ(NoticesIn(recorder), (std::vector<std::string>{"bob has arrived", "Bob has arrived",
                                                             "Zed has arrived", "Bob has left"}));
    // The lobby shows its own notices as system lines.
    EXPECT_TRUE(lobby->Chat()->Log()->toPlainText().contains("System: Zed has arrived\n"));
}

TEST_F(LobbyFixture, LogoutEmptiesEverythingResetsTheSpeakerAndBringsANewLogin)
{
    CallLog log;
    FakeGameWindow window("1", nullptr, log);
    Deliver(MSG_LOGGED_IN);
    lobby->InformAboutGame("1", "carl", "", "");
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
