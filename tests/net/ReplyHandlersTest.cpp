#include "FakeContext.h"
#include "FakeUi.h"
#include "RecordedAlerts.h"

#include "app/MessageCodes.h"
#include "app/MyGames.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

namespace {

using Calls = std::vector<std::string>;
using Fields = std::map<std::string, std::string>;

void ExpectMessage(const BMessage& message, uint32 what, const Fields& fields)
{
    EXPECT_EQ(message.what, what) << MessageCodeName(message.what);
    EXPECT_EQ(message.CountFields(), static_cast<int>(fields.size()));
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

} // namespace

TEST(ReplyHandlers, VersionCheck)
{
    struct Case {
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

TEST(ReplyHandlers, VersionStoredAndEmptyVersionAlertsOnce)
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

TEST(ReplyHandlers, ChatAndLoginRepliesPostTheirMessages)
{
    struct Case {
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

TEST(ReplyHandlers, RepliesWithoutEffectOrArgumentsChangeNothing)
{
    FakeUi ui;
    ui.Install();
    FakeGameWindow window("7", cgc_create_game(), ui.log);
    RecordedAlerts recorded;
    FakeContext context;
    const std::vector<std::string> lines = {
        "103 x", "104", "105", "110", "113 a b", "116 :x", "117", "404 nope", "405", "411 a",
        "999 x", "abc", "1a1 x",
        // Known codes with too few arguments.
        "102 bob", "114 7 x", "115 bob main", "118 7 1 0", "118 7 1 1 bob",
        "119", "120 7 bob alice", "121 bob", "123 bob 7", "601 7", "700 bob", "701 bob", "702",
    };
    for (const std::string& line : lines)
        context.Receive(line + "\r\n");
    EXPECT_TRUE(context.Posted().empty());
    EXPECT_TRUE(ui.log.Calls().empty());
    EXPECT_EQ(context.resets, 0);
    EXPECT_TRUE(recorded.Alerts().empty());
}

TEST(ReplyHandlers, ChallengeOfAnotherUserUpdatesTheLobbyOnly)
{
    FakeUi ui;
    ui.Install();
    MyGames::Instance()->AddStarted();
    FakeContext context;
    context.Receive("118 12 1 0 bob :Open game\r\n"
                    "118 13 0 1 carol\r\n");
    EXPECT_EQ(InfoTexts(context),
              (std::vector<std::string>{"Game #12 is a challenge issued by bob (black)",
                                        "Game #13 is a challenge issued by carol (white)"}));
    EXPECT_EQ(ui.log.Calls(), (Calls{"lobby InformAboutGame 12|bob||Open game",
                                     "lobby InformAboutGame 13||carol|"}));
}

TEST(ReplyHandlers, GameOfTheUserOpensOneWindowAndSeatsAsFlagged)
{
    FakeUi ui;
    ui.Install();
    MyGames::Instance()->AddStarted();
    FakeContext context;

    context.Receive("118 7 0 1 alice :Quick\r\n");
    EXPECT_EQ(ui.log.Calls(),
              (Calls{"newPlayedGameWindow 7 white", "7 Show",
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
    EXPECT_EQ(InfoTexts(context).back(),
              "Game #7 between alice (white) and bob (black) is now in progress");
}

TEST(ReplyHandlers, UserPlayingBlackGetsABlackWindow)
{
    FakeUi ui;
    ui.Install();
    MyGames::Instance()->AddStarted();
    FakeContext context;
    context.Receive("118 8 1 1 alice bob\r\n");
    EXPECT_EQ(ui.log.Calls(),
              (Calls{"newPlayedGameWindow 8 black", "8 Show",
                     "8 SetStatus you are logged in as alice and playing as black",
                     "lobby InformAboutGame 8|alice|bob|"}));
    ASSERT_EQ(ui.windows.size(), 1u);
    EXPECT_NE(ui.windows[0]->Game()->black_joined, 0);
    EXPECT_NE(ui.windows[0]->Game()->white_joined, 0);
}

TEST(ReplyHandlers, NoWindowUnlessTheUserStartedAGameAndIsLoggedIn)
{
    FakeUi ui;
    ui.Install();
    FakeContext context;
    context.Receive("118 7 0 1 alice :Quick\r\n");
    EXPECT_TRUE(ui.windows.empty());

    // Logged out: the empty name must not match the empty black seat.
    MyGames::Instance()->AddStarted();
    context.user.clear();
    context.Receive("118 9 0 1 bob\r\n");
    EXPECT_TRUE(ui.windows.empty());
    EXPECT_EQ(ui.log.Calls(),
              (Calls{"lobby InformAboutGame 7||alice|Quick", "lobby InformAboutGame 9||bob|"}));
}

TEST(ReplyHandlers, MissingHooksOrWindowsDoNothingMore)
{
    FakeUi ui;
    ui.Install();
    MyGames::Instance()->AddStarted();
    Hooks().newPlayedGameWindow = [](const std::string&, game*, int32) -> GameWindowBase* {
        return nullptr;
    };
    Hooks().newWatchedGameWindow = nullptr;
    FakeContext context;
    context.Receive("118 7 0 1 alice\r\n"
                    "120 9 bob carol :E2E4\r\n");
    EXPECT_EQ(ui.log.Calls(), (Calls{"lobby InformAboutGame 7||alice|"}));

    Hooks() = UiHooks{};
    context.Receive("118 7 0 1 alice\r\n"
                    "119 7\r\n"
                    "601 7 1\r\n"
                    "700 bob 1500\r\n");
    EXPECT_EQ(ui.log.Calls().size(), 1u);
}

TEST(ReplyHandlers, GameEnded)
{
    FakeUi ui;
    ui.Install();
    FakeContext context;
    context.Receive("119 5\r\n"
                    "119 6 :White resigned\r\n");
    EXPECT_EQ(InfoTexts(context), (std::vector<std::string>{"Game #5 has ended...",
                                                            "Game #6 has ended...White resigned"}));
    EXPECT_EQ(ui.log.Calls(), (Calls{"lobby RemoveGame 5", "lobby RemoveGame 6"}));
}

TEST(ReplyHandlers, WatchingAGameOpensASeatedWindow)
{
    FakeUi ui;
    ui.Install();
    FakeContext context;
    context.Receive("120 9 bob carol :E2E4 E7E5\r\n");
    EXPECT_EQ(ui.log.Calls(), (Calls{"newWatchedGameWindow 9 E2E4 E7E5", "9 SetWhitePlayer carol",
                                     "9 SetBlackPlayer bob", "9 Show"}));
    ASSERT_EQ(ui.windows.size(), 1u);
    EXPECT_NE(ui.windows[0]->Game()->black_joined, 0);
    EXPECT_NE(ui.windows[0]->Game()->white_joined, 0);
}

TEST(ReplyHandlers, MovesReachTheRegisteredWindowInAWritableBuffer)
{
    FakeUi ui;
    ui.Install();
    FakeGameWindow window("7", cgc_create_game(), ui.log);
    FakeContext context;

    context.Receive("114 7 x E2E4\r\n");
    EXPECT_EQ(std::string(window.lastMove, 8), std::string("E2E4\0\0\0\0", 8));
    context.Receive("114 7 x E7E8Q\r\n");
    EXPECT_EQ(std::string(window.lastMove, 8), std::string("E7E8Q\0\0\0", 8));
    context.Receive("114 7 x ABCDEFGHIJ\r\n");
    EXPECT_EQ(std::string(window.lastMove, 8), std::string("ABCDEFG\0", 8));
    context.Receive("114 8 x E2E4\r\n"); // no window for game 8
    EXPECT_EQ(ui.log.Calls(),
              (Calls{"7 MakeMove E2E4 sound", "7 MakeMove E7E8Q sound", "7 MakeMove ABCDEFG sound"}));
}

TEST(ReplyHandlers, AbortedGame)
{
    FakeUi ui;
    ui.Install();
    FakeGameWindow window("7", cgc_create_game(), ui.log);
    FakeContext context;
    context.Receive("601 7 1\r\n");
    context.Receive("601 7 0\r\n");
    context.Receive("601 8 0\r\n");
    EXPECT_EQ(ui.log.Calls(),
              (Calls{"lobby RemoveGame 7", "7 SetWhoIsWinner aborted",
                     "7 SetWinner Game Aborted by White.", "playGameAborted",
                     "lobby RemoveGame 7", "7 SetWhoIsWinner aborted",
                     "7 SetWinner Game Aborted by Black.", "playGameAborted",
                     "lobby RemoveGame 8"}));
}

TEST(ReplyHandlers, PlayersArriveAndLeave)
{
    FakeUi ui;
    ui.Install();
    FakeContext context;
    context.Receive("700 bob 1500\r\n701 carol 1650\r\n702 bob\r\n");
    EXPECT_EQ(ui.log.Calls(), (Calls{"lobby UserIn bob 1500", "lobby UserIn carol 1650 announce",
                                     "lobby UserOut bob"}));
}

TEST(CommandHandler, ClearDropsTheKeptLine)
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

TEST(CommandHandler, ChunkEndsOnceItsConnectionIsNoLongerCurrent)
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
TEST(ReplyHandlers, WindowWorkRunsOnTheGuiThread)
{
    int argc = 1;
    char arg0[] = "net_tests";
    char* argv[] = {arg0, nullptr};
    QCoreApplication app(argc, argv);
    FakeUi ui;
    ui.Install();
    MyGames::Instance()->AddStarted();
    FakeContext context;

    std::atomic<bool> done{false};
    std::thread speaker([&] {
        context.Receive("118 7 0 1 alice\r\n114 7 x E2E4\r\n601 7 1\r\n"
                        "120 9 bob carol :E2E4\r\n700 bob 1500\r\n");
        done = true;
        QMetaObject::invokeMethod(&app, [&] { app.quit(); }, Qt::QueuedConnection);
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
    ASSERT_FALSE(timedOut) << "watchdog expired";
    EXPECT_EQ(ui.log.Calls().size(), 14u);
    EXPECT_FALSE(ui.log.AnyOffGuiThread());
}
