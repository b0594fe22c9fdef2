// Every reply code's effect, through the real line cutting, splitting and
// handlers: the messages broadcast, the alerts, the resets, and the calls
// on the lobby and the game windows (fakes that log them).

#include "support/FakeContext.h"
#include "support/FakeWindows.h"
#include "support/RecordedAlerts.h"

#include "app/MessageCodes.h"
#include "net/Features.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using Texts = std::vector<std::string>;

// A broadcast message as one line: its kind, then its string fields.
Texts Posts(FakeContext& context)
{
    const std::vector<std::pair<uint32, const char*>> kinds = {{MSG_PUBLIC_CHAT, "public"},
                                                               {MSG_GAME_CHAT, "game chat"},
                                                               {MSG_INFO_TEXT, "info"},
                                                               {MSG_LOGGED_IN, "logged in"},
                                                               {MSG_ACCOUNT_CREATED, "created"},
                                                               {MSG_ACCOUNT_EXISTS, "exists"},
                                                               {MSG_LOGIN_BAD_PASSWORD, "refused"},
                                                               {MSG_LOGIN_DUPLICATE, "duplicate"},
                                                               {MSG_FEATURES_ANSWERED, "features"}};
    Texts texts;
    for (const BMessage& message : context.Posted()) {
        std::string text = "?";
        for (const auto& [what, kind] : kinds)
            if (message.what == what)
                text = kind;
        for (const char* field : {"user", "game_id", "channel", "message"})
            if (std::string value; message.FindString(field, &value))
                text += "|" + value;
        texts.push_back(text);
    }
    return texts;
}

const char* const kIncompatible =
    "Sorry, but this version of Tolvar v1.0 is not compatible with the server you are using, "
    "Halvik v1.32.  Please download a newer version.";
const char* const kCannotDetermine =
    "Sorry, but this version of Tolvar v1.0 can not determine if it is compatible with the server "
    "you are using.  Please download a newer version and/or the server.";

class Replies : public ::testing::Test
{
protected:
    void SetUp() override { MyGames::Instance()->ResetForTests(); }
    void TearDown() override { MyGames::Instance()->ResetForTests(); }
};

} // namespace

TEST_F(Replies, TheServerVersionDecidesWhetherTheClientStays)
{
    struct Case
    {
        std::string line;
        std::string stored; // what the context holds before the line
        Texts alerts;
    };
    const std::vector<Case> cases = {
        {"101 1.31 :Halvik chess server", "unknown", {}},
        {"101 1.32 :Halvik chess server", "unknown", {kIncompatible}},
        {"101 1.3100001 :x", "unknown", {""}},
        {"101 2 :x", "unknown", {""}},
        {"101 0.9 :x", "unknown", {}},
        {"101 beta :x", "unknown", {}},
        {"101 .5x :x", "unknown", {}},
        {"101 1.32", "unknown", {}}, // one argument: the stored version stays
        // An empty stored version alerts and resets; the reset stores
        // "unknown", which then passes the number check.
        {"101", "", {kCannotDetermine}},
    };
    for (const Case& c : cases) {
        RecordedAlerts recorded;
        FakeContext context;
        context.version = c.stored;
        context.Receive(c.line + "\r\n");
        EXPECT_EQ(context.resets, static_cast<int>(c.alerts.size())) << c.line;
        ASSERT_EQ(recorded.Alerts().size(), c.alerts.size()) << c.line;
        for (size_t i = 0; i < c.alerts.size(); ++i)
            if (!c.alerts[i].empty()) {
                EXPECT_EQ(recorded.Alerts()[i], (AlertShown{c.alerts[i], "Oh, well"})) << c.line;
            }
    }
    FakeContext context;
    context.Receive("101 1.2 :Halvik test server\r\n");
    EXPECT_EQ(context.version + "|" + context.description, "1.2|Halvik test server");
}

// What each reply does, in order: the messages it broadcasts and the calls
// on the windows. The user has started a game unless `fresh`; a window for
// game 7 is open when `window7`; `asked` is the game the user asked to watch.
TEST_F(Replies, EachReplysMessagesAndWindowCalls)
{
    struct Case
    {
        std::string lines;
        Texts posts = {};
        Texts calls = {};
        std::string user = "alice";
        bool window7 = false;
        std::string asked = {};
        bool fresh = false;
    };
    const std::vector<Case> cases = {
        {"102 bob :nice move\r\n123 bob 17 :gg  wp\r\n",
         {"game chat|bob|nice move", "game chat|bob|17|gg  wp"}},
        {"115 bob main :hello all\r\n121 bob :hi\r\n",
         {"public|bob|main|hello all", "public|bob|nil|hi"}},
        {"201 \r\n401 created\r\n402\r\n402 :bad name\r\n403 :no\r\n504\r\n",
         {"logged in", "created", "exists", "exists|bad name", "refused", "duplicate"}},
        {"118 12 1 0 bob :Open game\r\n118 13 0 1 carol\r\n",
         {"info|Game #12 is a challenge issued by bob (black)",
          "info|Game #13 is a challenge issued by carol (white)"},
         {"lobby InformAboutGame 12|bob||Open game", "lobby InformAboutGame 13||carol|"}},
        {"118 8 1 1 alice bob\r\n",
         {"info|Game #8 between bob (white) and alice (black) is now in progress"},
         {"newPlayedGameWindow 8 black", "8 Show",
          "8 SetStatus you are logged in as alice and playing as black",
          "lobby InformAboutGame 8|alice|bob|"}},
        // Only a user who started a game gets a window; an empty name (logged
        // out) must not match the empty seat of a challenge.
        {"118 7 0 1 alice :Quick\r\n",
         {"info|Game #7 is a challenge issued by alice (white)"},
         {"lobby InformAboutGame 7||alice|Quick"},
         "alice",
         false,
         "",
         true},
        {"118 9 0 1 bob\r\n",
         {"info|Game #9 is a challenge issued by bob (white)"},
         {"lobby InformAboutGame 9||bob|"},
         ""},
        {"119 5\r\n119 6 :White resigned\r\n",
         {"info|Game #5 has ended...", "info|Game #6 has ended...White resigned"},
         {"lobby RemoveGame 5", "lobby RemoveGame 6"}},
        // One window for a game the user asked to watch; a repeat updates it.
        {"120 9 bob carol :E2E4 E7E5\r\n120 9 bob dave :E2E4 E7E5\r\n120 10 x y :E2E4\r\n",
         {},
         {"newWatchedGameWindow 9 E2E4 E7E5", "9 SetWhitePlayer carol", "9 SetBlackPlayer bob",
          "9 Show", "9 SetWhitePlayer dave", "9 SetBlackPlayer bob"},
         "alice",
         false,
         "9"},
        {"406 7 :no such game\r\n406 8 :no such game\r\n",
         {},
         {"7 GameGone The server no longer knows game #7; no more moves can be made here."},
         "alice",
         true},
        {"114 7 x E2E4\r\n114 8 x E2E4\r\n", {}, {"7 MakeMove E2E4 sound"}, "alice", true},
        {"601 7 1\r\n601 7 0\r\n601 8 0\r\n",
         {},
         {"lobby RemoveGame 7", "7 SetWhoIsWinner aborted", "7 SetWinner Game Aborted by White.",
          "playGameAborted", "lobby RemoveGame 7", "7 SetWhoIsWinner aborted",
          "7 SetWinner Game Aborted by Black.", "playGameAborted", "lobby RemoveGame 8"},
         "alice",
         true},
        {"700 bob 1500\r\n701 carol 1650\r\n702 bob\r\n",
         {},
         {"lobby UserIn bob 1500", "lobby UserIn carol 1650 announce", "lobby UserOut bob"}},
        // The optional features' lines. A game's end reaches its window only
        // from a server that answered FEATURES; its result token is read.
        {"119 7 : White resigns. 0-1\r\n130 clock draw\r\n119 7 : White resigns. 0-1\r\n"
         "119 7 : Game aborted.\r\n119 7 : Draw agreed. 1/2-1/2\r\n119 7\r\n",
         {"info|Game #7 has ended... White resigns. 0-1", "features",
          "info|Game #7 has ended... White resigns. 0-1", "info|Game #7 has ended... Game aborted.",
          "info|Game #7 has ended... Draw agreed. 1/2-1/2", "info|Game #7 has ended..."},
         {"lobby RemoveGame 7", "lobby RemoveGame 7", "7 GameEnded White resigns.|black",
          "lobby RemoveGame 7", "7 GameEnded Game aborted.|aborted", "lobby RemoveGame 7",
          "7 GameEnded Draw agreed.|draw", "lobby RemoveGame 7"},
         "alice",
         true},
        {"131 7 3 2\r\n131 7 181 0\r\n131 7 x 2\r\n131 7 5\r\n132 7 60000 59900 1\r\n"
         "132 7 0 20 -\r\n132 7 1 2 2\r\n132 7 -5 2 1\r\n132 7 1 2\r\n132 8 1 1 1\r\n"
         "133 7 0 offer\r\n133 7 1 cancel\r\n133 7 2 offer\r\n133 7 1 maybe\r\n133 8 1 offer\r\n"
         "141 7 bob 60\r\n141 7 bob -1\r\n141 7 bob\r\n141 8 bob 9\r\n141 7 bob back\r\n",
         {},
         {"lobby SetTimeControl 7 3+2", "7 SetClocks 60000 59900 white", "7 SetClocks 0 20 none",
          "7 Draw black offer", "7 Draw white cancel", "7 PlayerAway bob 60",
          "7 PlayerAway bob -1"},
         "alice",
         true},
        // A rematch counts as a game the user joined: its 118 opens a window.
        {"134 7 1 offer\r\n134 7 0 decline\r\n134 7 1 new\r\n134 7 1 other 9\r\n"
         "134 7 1 new 12\r\n118 12 1 1 alice bob\r\n",
         {"info|Game #12 between bob (white) and alice (black) is now in progress"},
         {"7 Rematch white offer", "7 Rematch black decline", "7 Rematch white new 12",
          "newPlayedGameWindow 12 black", "12 Show",
          "12 SetStatus you are logged in as alice and playing as black",
          "lobby InformAboutGame 12|alice|bob|"},
         "alice",
         true,
         "",
         true},
        // Codes without an effect, unknown codes, and known codes with too
        // few arguments for their handlers.
        {"103 x\r\n104\r\n105\r\n110\r\n111\r\n112 a\r\n113 a b\r\n116 :x\r\n117\r\n404 no\r\n"
         "405\r\n406\r\n407\r\n408\r\n409\r\n410\r\n411 a\r\n999 x\r\nabc\r\n1a1 x\r\n"
         "102 bob\r\n114 7 x\r\n115 bob main\r\n118 7 1 0\r\n118 7 1 1 bob\r\n119\r\n"
         "120 7 bob alice\r\n121 bob\r\n123 bob 7\r\n601 7\r\n700 bob\r\n701 bob\r\n702\r\n",
         {},
         {},
         "alice",
         true,
         "7"},
    };
    for (const Case& c : cases) {
        MyGames::Instance()->ResetForTests();
        Features::Clear();
        if (!c.fresh)
            MyGames::Instance()->AddStarted();
        if (!c.asked.empty())
            MyGames::Instance()->AddWatchRequest(c.asked);
        RecordedAlerts recorded;
        FakeWindows ui;
        std::unique_ptr<FakeGameWindow> window7;
        if (c.window7)
            window7 = std::make_unique<FakeGameWindow>("7", cgc_create_game(), ui.log);
        FakeContext context;
        context.user = c.user;
        context.Receive(c.lines);
        EXPECT_EQ(Posts(context), c.posts) << c.lines;
        EXPECT_EQ(ui.log.Calls(), c.calls) << c.lines;
        EXPECT_TRUE(recorded.Alerts().empty());
        EXPECT_EQ(context.resets, 0);
    }
    Features::Clear();
}

// A window that cannot be made is not used.
TEST_F(Replies, AWindowThatCannotBeMadeIsNotUsed)
{
    FakeWindows ui;
    MyGames::Instance()->AddStarted();
    FakeContext context;
    ui.makeWindows = false;
    MyGames::Instance()->AddWatchRequest("10");
    context.Receive("118 11 0 1 alice\r\n120 10 bob carol :E2E4\r\n601 11 1\r\n");
    EXPECT_EQ(ui.log.Calls(),
              (Texts{"newPlayedGameWindow 11 white", "lobby InformAboutGame 11||alice|",
                     "newWatchedGameWindow 10 E2E4", "lobby RemoveGame 11"}));
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

// A kept line goes with Clear(), and the rest of a chunk with its connection.
TEST_F(Replies, AChunkEndsWithItsConnection)
{
    FakeContext context;
    context.Receive("201");
    context.commands.Clear();
    context.Receive("\r\n201");
    context.Receive(" \r\n");
    EXPECT_EQ(Posts(context), Texts{"logged in"});
    int asked = 0;
    // Asked before cutting and before each line: the third line is dropped.
    context.commands.HandleChunk("401\r\n402\r\n403\r\n", [&] { return ++asked <= 3; });
    context.commands.HandleChunk("201", [] { return false; });
    context.Receive(" \r\n");
    EXPECT_EQ(Posts(context), (Texts{"logged in", "created", "exists"}));
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
