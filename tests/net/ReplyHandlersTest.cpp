#include "support/FakeContext.h"
#include "support/FakeWindows.h"
#include "support/RecordedAlerts.h"

#include "app/MessageCodes.h"
#include "app/MyGames.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <thread>

namespace {

using Calls = std::vector<std::string>;
using Fields = std::map<std::string, std::string>;

void ExpectMessage(const BMessage& message, uint32 what, const Fields& fields)
{
    EXPECT_EQ(message.what, what);
    for (const auto& [name, value] : fields) {
        std::string found;
        EXPECT_TRUE(message.FindString(name, &found)) << name;
        EXPECT_EQ(found, value) << name;
    }
}

// The text of every MSG_INFO_TEXT posted.
std::vector<std::string> InfoTexts(FakeContext& context)
{
    std::vector<std::string> texts;
    for (const BMessage& message : context.Posted())
        if (message.what == MSG_INFO_TEXT)
            texts.push_back(message.GetString("message"));
    return texts;
}

const char* const kIncompatible132 =
    "Sorry, but this version of Tolvar v1.0 is not compatible with the server you are using, "
    "Halvik v1.32.  Please download a newer version.";
const char* const kCannotDetermine =
    "Sorry, but this version of Tolvar v1.0 can not determine if it is compatible with the server "
    "you are using.  Please download a newer version and/or the server.";

// Every test starts with an empty registry and no game started.
class Replies : public ::testing::Test
{
protected:
    void SetUp() override { MyGames::Instance()->ResetForTests(); }
    void TearDown() override { MyGames::Instance()->ResetForTests(); }
};

} // namespace

TEST_F(Replies, VersionCheck)
{
    struct Case
    {
        std::string line;
        int resets;
        std::vector<AlertShown> alerts;
    };
    const std::vector<Case> cases = {
        {"101 1.31 :Halvik chess server\r\n", 0, {}},
        {"101 1.32 :Halvik chess server\r\n", 1, {{kIncompatible132, "Oh, well"}}},
        {"101 1.3100001 :x\r\n", 1, {}},
        {"101 0.9 :x\r\n", 0, {}},
        {"101 beta :x\r\n", 0, {}},
        {"101 .5x :x\r\n", 0, {}},
        {"101 2 :x\r\n", 1, {}},
        {"101 1.32\r\n", 0, {}}, // one argument: "unknown" stays
        {"101 \r\n", 0, {}},
    };
    for (const Case& c : cases) {
        RecordedAlerts recorded;
        FakeContext context;
        context.Receive(c.line);
        EXPECT_EQ(context.resets, c.resets) << c.line;
        if (!c.alerts.empty()) {
            EXPECT_EQ(recorded.Alerts(), c.alerts) << c.line;
        }
        EXPECT_EQ(recorded.Alerts().size(), static_cast<size_t>(c.resets)) << c.line;
    }
}

TEST_F(Replies, VersionStoredAndEmptyVersionAlertsOnce)
{
    RecordedAlerts recorded;
    FakeContext context;
    context.Receive("101 1.2 :Halvik test server\r\n");
    EXPECT_EQ(context.version, "1.2");
    EXPECT_EQ(context.description, "Halvik test server");

    // An empty stored version alerts and resets; the reset stores
    // "unknown", which then passes the number check.
    context.version = "";
    context.Receive("101\r\n");
    EXPECT_EQ(context.resets, 1);
    EXPECT_EQ(recorded.Alerts(), (std::vector<AlertShown>{{kCannotDetermine, "Oh, well"}}));
}

TEST_F(Replies, ChatAndLoginRepliesPostTheirMessages)
{
    struct Case
    {
        std::string line;
        uint32 what;
        Fields fields;
    };
    const std::vector<Case> cases = {
        {"102 bob :nice move\r\n", MSG_GAME_CHAT, {{"user", "bob"}, {"message", "nice move"}}},
        {"115 bob main :hello all\r\n",
         MSG_PUBLIC_CHAT,
         {{"user", "bob"}, {"channel", "main"}, {"message", "hello all"}}},
        {"121 bob :hi\r\n",
         MSG_PUBLIC_CHAT,
         {{"user", "bob"}, {"channel", "nil"}, {"message", "hi"}}},
        {"123 bob 17 :gg  wp\r\n",
         MSG_GAME_CHAT,
         {{"user", "bob"}, {"game_id", "17"}, {"message", "gg  wp"}}},
        {"201 \r\n", MSG_LOGGED_IN, {}},
        {"401 created\r\n", MSG_ACCOUNT_CREATED, {}},
        {"402\r\n", MSG_ACCOUNT_EXISTS, {}},
        {"403 :bad password\r\n", MSG_LOGIN_BAD_PASSWORD, {}},
        {"504\r\n", MSG_LOGIN_DUPLICATE, {}},
    };
    for (const Case& c : cases) {
        FakeContext context;
        context.Receive(c.line);
        std::vector<BMessage> posted = context.Posted();
        ASSERT_EQ(posted.size(), 1u) << c.line;
        ExpectMessage(posted[0], c.what, c.fields);
    }
}

TEST_F(Replies, RepliesWithoutEffectOrArgumentsChangeNothing)
{
    FakeWindows ui;
    FakeGameWindow window("7", cgc_create_game(), ui.log);
    RecordedAlerts recorded;
    FakeContext context;
    // Codes without an effect, unknown codes, and known codes with too few
    // arguments for their handlers.
    context.Receive("103 x\r\n104\r\n105\r\n110\r\n111\r\n112 a\r\n113 a b\r\n116 :x\r\n"
                    "117\r\n404 nope\r\n405\r\n406\r\n407\r\n408\r\n409\r\n410\r\n411 a\r\n"
                    "999 x\r\nabc\r\n1a1 x\r\n");
    context.Receive("102 bob\r\n114 7 x\r\n115 bob main\r\n118 7 1 0\r\n118 7 1 1 bob\r\n"
                    "119\r\n120 7 bob alice\r\n121 bob\r\n123 bob 7\r\n601 7\r\n700 bob\r\n"
                    "701 bob\r\n702\r\n");
    EXPECT_TRUE(context.Posted().empty());
    EXPECT_TRUE(ui.log.Calls().empty());
    EXPECT_EQ(context.resets, 0);
    EXPECT_TRUE(recorded.Alerts().empty());
}

// What each reply does to the lobby and the game windows, in order, once
// the user has started a game. A window for game 7 is open when `window7`
// is set.
TEST_F(Replies, LobbyAndWindowEffects)
{
    struct Case
    {
        const char* name;
        std::string user;
        bool window7;
        std::string lines;
        Calls calls;
        // The game the user asked to watch, if any.
        std::string asked = {};
    };
    const std::vector<Case> cases = {
        {"challenges of other users",
         "alice",
         false,
         "118 12 1 0 bob :Open game\r\n118 13 0 1 carol\r\n",
         {"lobby InformAboutGame 12|bob||Open game", "lobby InformAboutGame 13||carol|"}},
        {"game of the user, playing black",
         "alice",
         false,
         "118 8 1 1 alice bob\r\n",
         {"newPlayedGameWindow 8 black", "8 Show",
          "8 SetStatus you are logged in as alice and playing as black",
          "lobby InformAboutGame 8|alice|bob|"}},
        // The empty name must not match the empty black seat of a challenge.
        {"logged out", "", false, "118 9 0 1 bob\r\n", {"lobby InformAboutGame 9||bob|"}},
        {"games ended",
         "alice",
         false,
         "119 5\r\n119 6 :White resigned\r\n",
         {"lobby RemoveGame 5", "lobby RemoveGame 6"}},
        // One window for a game the user asked to watch; a repeat updates it.
        {"watching",
         "alice",
         false,
         "120 9 bob carol :E2E4 E7E5\r\n120 9 bob dave :E2E4 E7E5\r\n",
         {"newWatchedGameWindow 9 E2E4 E7E5", "9 SetWhitePlayer carol", "9 SetBlackPlayer bob",
          "9 Show", "9 SetWhitePlayer dave", "9 SetBlackPlayer bob"},
         "9"},
        {"watching a game nobody asked for", "alice", false, "120 9 bob carol :E2E4\r\n", {}},
        {"a game the server no longer knows",
         "alice",
         true,
         "406 7 :no such game\r\n406 8 :no such game\r\n",
         {"7 GameGone The server no longer knows game #7; no more moves can be made here."}},
        {"moves", "alice", true, "114 7 x E2E4\r\n114 8 x E2E4\r\n", {"7 MakeMove E2E4 sound"}},
        {"aborts",
         "alice",
         true,
         "601 7 1\r\n601 7 0\r\n601 8 0\r\n",
         {"lobby RemoveGame 7", "7 SetWhoIsWinner aborted", "7 SetWinner Game Aborted by White.",
          "playGameAborted", "lobby RemoveGame 7", "7 SetWhoIsWinner aborted",
          "7 SetWinner Game Aborted by Black.", "playGameAborted", "lobby RemoveGame 8"}},
        {"players",
         "alice",
         false,
         "700 bob 1500\r\n701 carol 1650\r\n702 bob\r\n",
         {"lobby UserIn bob 1500", "lobby UserIn carol 1650 announce", "lobby UserOut bob"}},
    };
    MyGames::Instance()->AddStarted();
    for (const Case& c : cases) {
        FakeWindows ui;
        std::unique_ptr<FakeGameWindow> window7;
        if (c.window7)
            window7 = std::make_unique<FakeGameWindow>("7", cgc_create_game(), ui.log);
        MyGames::Instance()->ClearWatchRequests();
        if (!c.asked.empty())
            MyGames::Instance()->AddWatchRequest(c.asked);
        FakeContext context;
        context.user = c.user;
        context.Receive(c.lines);
        EXPECT_EQ(ui.log.Calls(), c.calls) << c.name;
    }
}

TEST_F(Replies, NoWindowUntilTheUserStartedAGame)
{
    FakeWindows ui;
    FakeContext context;
    context.Receive("118 7 0 1 alice :Quick\r\n");
    EXPECT_EQ(ui.log.Calls(), (Calls{"lobby InformAboutGame 7||alice|Quick"}));
}

TEST_F(Replies, GameAnnouncementTexts)
{
    struct Case
    {
        std::string line;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"118 12 1 0 bob :Open game", "Game #12 is a challenge issued by bob (black)"},
        {"118 13 0 1 carol", "Game #13 is a challenge issued by carol (white)"},
        {"118 7 1 1 bob alice :Quick",
         "Game #7 between alice (white) and bob (black) is now in progress"},
        {"118 7 0 0 bob alice", "Game #7 between alice (white) and bob (black) is now in progress"},
        {"119 5", "Game #5 has ended..."},
        {"119 6 :White resigned", "Game #6 has ended...White resigned"},
    };
    for (const Case& c : cases) {
        FakeContext context;
        context.Receive(c.line + "\r\n");
        EXPECT_EQ(InfoTexts(context), std::vector<std::string>{c.text}) << c.line;
    }
}

TEST_F(Replies, GameOfTheUserOpensOneWindowAndSeatsAsFlagged)
{
    FakeWindows ui;
    MyGames::Instance()->AddStarted();
    FakeContext context;

    context.Receive("118 7 0 1 alice :Quick\r\n");
    EXPECT_EQ(ui.log.Calls(), (Calls{"newPlayedGameWindow 7 white", "7 Show",
                                     "7 SetStatus you are logged in as alice and playing as white",
                                     "lobby InformAboutGame 7||alice|Quick"}));
    ASSERT_EQ(ui.windows.size(), 1u);
    game* record = ui.windows[0]->Game();
    EXPECT_NE(record->white_joined, 0);
    EXPECT_EQ(record->black_joined, 0);

    ui.log.Clear();
    context.Receive("118 7 1 1 bob alice :Quick\r\n");
    EXPECT_EQ(ui.windows.size(), 1u);
    EXPECT_EQ(ui.log.Calls(), (Calls{"lobby InformAboutGame 7|bob|alice|Quick"}));
    EXPECT_NE(record->black_joined, 0);
}

TEST_F(Replies, WatchedGameRecordHasBothSeatsTaken)
{
    FakeWindows ui;
    MyGames::Instance()->AddWatchRequest("9");
    FakeContext context;
    context.Receive("120 9 bob carol :E2E4\r\n");
    ASSERT_EQ(ui.windows.size(), 1u);
    EXPECT_NE(ui.windows[0]->Game()->black_joined, 0);
    EXPECT_NE(ui.windows[0]->Game()->white_joined, 0);
}

TEST_F(Replies, WindowsThatCannotBeMadeAreNotUsed)
{
    FakeWindows ui;
    MyGames::Instance()->AddStarted();
    ui.makeWindows = false;
    MyGames::Instance()->AddWatchRequest("9");
    FakeContext context;
    context.Receive("118 7 0 1 alice\r\n"
                    "120 9 bob carol :E2E4\r\n"
                    "601 7 1\r\n");
    EXPECT_EQ(ui.log.Calls(),
              (Calls{"newPlayedGameWindow 7 white", "lobby InformAboutGame 7||alice|",
                     "newWatchedGameWindow 9 E2E4", "lobby RemoveGame 7"}));
}

TEST_F(Replies, MovesReachTheWindowInAWritableBuffer)
{
    FakeWindows ui;
    FakeGameWindow window("7", cgc_create_game(), ui.log);
    FakeContext context;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"E2E4", std::string("E2E4\0\0\0\0", 8)},
        {"E7E8Q", std::string("E7E8Q\0\0\0", 8)},
        {"ABCDEFGHIJ", std::string("ABCDEFG\0", 8)},
    };
    for (const auto& [move, buffer] : cases) {
        context.Receive("114 7 x " + move + "\r\n");
        EXPECT_EQ(std::string(window.lastMove, 8), buffer) << move;
    }
}

TEST_F(Replies, ClearDropsTheKeptLine)
{
    FakeContext context;
    context.Receive("201");
    context.commands.Clear();
    context.Receive("\r\n");
    EXPECT_TRUE(context.Posted().empty());
    context.Receive("201");
    context.Receive(" \r\n");
    EXPECT_EQ(context.Posted().size(), 1u);
}

TEST_F(Replies, ChunkEndsOnceItsConnectionIsNoLongerCurrent)
{
    FakeContext context;
    int asked = 0;
    context.commands.HandleChunk("201\r\n401\r\n402\r\n403\r\n", [&] { return ++asked <= 3; });
    // Asked before cutting and before each line: the third line is dropped.
    std::vector<BMessage> posted = context.Posted();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].what, MSG_ACCOUNT_CREATED);
    // A chunk of a stale connection leaves nothing behind either.
    context.commands.HandleChunk("201", [] { return false; });
    context.Receive(" \r\n");
    EXPECT_EQ(context.Posted().size(), 2u);
}

// With an application, window work runs on the GUI thread while the
// handler's thread waits for it.
TEST_F(Replies, WindowWorkRunsOnTheGuiThread)
{
    int argc = 1;
    char arg0[] = "net_tests";
    char* argv[] = {arg0, nullptr};
    QCoreApplication app(argc, argv);
    FakeWindows ui;
    MyGames::Instance()->AddStarted();
    MyGames::Instance()->AddWatchRequest("9");
    FakeContext context;

    std::atomic<bool> done{false};
    std::thread speaker([&] {
        context.Receive("118 7 0 1 alice\r\n114 7 x E2E4\r\n601 7 1\r\n"
                        "120 9 bob carol :E2E4\r\n700 bob 1500\r\n");
        done = true;
        QMetaObject::invokeMethod(
            &app, [&] { app.quit(); }, Qt::QueuedConnection);
    });
    bool timedOut = false;
    QTimer::singleShot(10000, &app, [&] {
        timedOut = true;
        app.quit();
    });
    if (!done)
        app.exec();
    kit::ShutDownGui(); // releases the speaker thread should the watchdog fire
    speaker.join();
    kit::RestartGui();
    ASSERT_FALSE(timedOut) << "watchdog expired";
    EXPECT_EQ(ui.log.Calls().size(), 14u);
    EXPECT_FALSE(ui.log.AnyOffGuiThread());
}
