// A whole game between two client programs through the real server, with a
// third client watching from the middle: every move made by clicking the
// piece and its target, one of them queued as a premove,
// castling on both wings, en passant, an under-promotion, a check and a
// mate; then the result, the sounds and the new ratings in every client.

#include "EndToEnd.h"

#include "cgc/pgn.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

using e2e::Board;
using e2e::GameWindowState;
using e2e::Text;

namespace {

struct Ply
{
    const char* from;
    const char* to;
    const char* promotion; // the piece chosen in the promotion dialog, or null
};

// 1. e4 Nf6 2. e5 d5 3. exd6 (en passant) g6 4. dxc7 Qd7 5. cxb8=N Rxb8
// 6. d4 Bg7 7. Nc3 O-O 8. Bf4 Ra8 9. Qd2 a6 10. O-O-O b5 11. Bh6 Bxh6
// 12. Qxh6 b4 13. Nf3 bxc3 14. Ng5 cxb2+ 15. Kb1 Ng4 16. Qxh7 mate.
const Ply kGame[] = {
    {"E2", "E4", nullptr},  {"G8", "F6", nullptr}, {"E4", "E5", nullptr}, {"D7", "D5", nullptr},
    {"E5", "D6", nullptr},  {"G7", "G6", nullptr}, {"D6", "C7", nullptr}, {"D8", "D7", nullptr},
    {"C7", "B8", "knight"}, {"A8", "B8", nullptr}, {"D2", "D4", nullptr}, {"F8", "G7", nullptr},
    {"B1", "C3", nullptr},  {"E8", "G8", nullptr}, {"C1", "F4", nullptr}, {"B8", "A8", nullptr},
    {"D1", "D2", nullptr},  {"A7", "A6", nullptr}, {"E1", "C1", nullptr}, {"B7", "B5", nullptr},
    {"F4", "H6", nullptr},  {"G7", "H6", nullptr}, {"D2", "H6", nullptr}, {"B5", "B4", nullptr},
    {"G1", "F3", nullptr},  {"B4", "C3", nullptr}, {"F3", "G5", nullptr}, {"C3", "B2", nullptr},
    {"C1", "B1", nullptr},  {"F6", "G4", nullptr}, {"H6", "H7", nullptr},
};
constexpr int kPlies = sizeof kGame / sizeof kGame[0];
// The watcher comes in after Black has castled.
constexpr int kWatchFrom = 14;
// The one check before the mate: 14... cxb2+.
constexpr int kCheckPly = 28;
// Black queues 2... d5 while White is still to play 2. e5.
constexpr int kPremovePly = 4;

// Worked out by hand from the moves above (rank 8 first, one blank after
// each rank).
const std::string kAfterCastling =
    "-rb--rk- pp-qppbp -----np- -------- ---P---- --N----- PPP--PPP R-BQKBNR ";
const std::string kFinal =
    "r-b--rk- ---qpp-Q p-----p- ------N- ---P--n- -------- PpP--PPP -K-R-B-R ";

// The move text the board sends: the squares, then the promotion letter.
std::string MoveText(const Ply& ply)
{
    std::string text = std::string(ply.from) + ply.to;
    if (ply.promotion == nullptr)
        return text;
    const std::string piece = ply.promotion;
    return text + (piece == "knight" ? "N" : piece == "bishop" ? "B" : piece == "rook" ? "R" : "Q");
}

std::vector<std::string> MovesSent(const std::string& logPath)
{
    std::vector<std::string> moves;
    for (const std::string& line : e2e::SentLines(logPath))
        if (line.rfind("MOVE ", 0) == 0)
            moves.push_back(line);
    return moves;
}

std::vector<std::string> Repeat(const std::string& sound, int count)
{
    return std::vector<std::string>(static_cast<size_t>(count), sound);
}

std::vector<std::string> Sounds(const QJsonObject& state)
{
    return e2e::Texts(state["sounds"]);
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The moves of a PGN text: everything after the blank line below the tags.
std::string Movetext(const std::string& pgn)
{
    const size_t start = pgn.find("\n\n");
    return start == std::string::npos ? std::string() : pgn.substr(start + 2);
}

// Each game is accepted by pgn-extract without a warning, and our own
// reader replays it as the moves that were dragged.
void ExpectReadable(const std::vector<std::string>& pgns)
{
    const std::string base = testing::TempDir() + "e2e-pgn-" + std::to_string(getpid());
    std::ofstream(base + ".pgn") << [&] {
        std::string all;
        for (const std::string& pgn : pgns)
            all += pgn + "\n";
        return all;
    }();
    const int status = std::system(("PATH=\"$PATH:/usr/games\" pgn-extract -s --nobadresults -l " +
                                    base + ".log -o /dev/null " + base + ".pgn")
                                       .c_str());
    EXPECT_EQ(status, 0);
    std::ifstream log(base + ".log");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}), "");
    for (const char* suffix : {".pgn", ".log"})
        std::remove((base + suffix).c_str());
    std::vector<std::string> dragged;
    for (const Ply& ply : kGame)
        dragged.push_back(MoveText(ply));
    for (const std::string& pgn : pgns) {
        cgc_pgn_game game;
        std::string problem;
        size_t offset = 0;
        EXPECT_EQ(cgc_read_pgn(pgn, &offset, &game, &problem), 1) << problem;
        EXPECT_EQ(game.moves, dragged);
    }
}

} // namespace

class WholeGame : public EndToEnd
{
protected:
    // Clicks the ply's piece and target on the mover's board (choosing the
    // promotion piece when asked) and waits until every board shows the
    // same new position with the other side to move. With `click` false
    // the move was queued before and only the wait remains; with `wait`
    // false only the clicks are made.
    testing::AssertionResult Play(int index, const std::vector<ClientProcess*>& boards,
                                  bool click = true, bool wait = true)
    {
        const Ply& ply = kGame[index];
        ClientProcess& mover = index % 2 == 0 ? *fAlice : *fBob;
        const std::string before = click ? Board(mover.State(true), "1") : std::string();
        const std::string move = std::string("move 1 ") + ply.from + " " + ply.to;
        QJsonObject reply =
            click ? mover.Command(move) : QJsonObject{{"ok", true}, {"picked", true}};
        if (!reply["ok"].toBool() || !reply["picked"].toBool())
            return testing::AssertionFailure()
                   << "ply " << index + 1 << ": " << move << " failed: " << e2e::Describe(reply);
        if (!wait)
            return testing::AssertionSuccess();
        if (ply.promotion != nullptr) {
            testing::AssertionResult asked =
                Eventually(mover, "the promotion dialog",
                           [](const QJsonObject& s) { return s["promotion"].toBool(); });
            if (!asked)
                return asked;
            if (!mover.Do(std::string("promote ") + ply.promotion))
                return testing::AssertionFailure() << "could not choose " << ply.promotion;
        }
        const bool last = index + 1 == kPlies;
        const std::string next = last ? "white" : index % 2 == 0 ? "black" : "white";
        for (ClientProcess* client : boards) {
            testing::AssertionResult shown =
                Eventually(*client, "ply " + std::to_string(index + 1), [&](const QJsonObject& s) {
                    const QJsonObject window = GameWindowState(s, "1");
                    const std::string board = Text(window["board"]);
                    return (!click || board != before) && board == Board(mover.State(true), "1") &&
                           Text(window["turn"]) == next;
                });
            if (!shown)
                return shown;
        }
        return testing::AssertionSuccess();
    }

    void PlayToMateWithAWatcherFromTheMiddle();

    ClientProcess* fAlice = nullptr;
    ClientProcess* fBob = nullptr;
};

TEST_F(WholeGame, PlayedToMateWithAWatcherFromTheMiddle)
{
    PlayToMateWithAWatcherFromTheMiddle();
}

// The same game with each of the three on a node of their own: what the
// clients see does not depend on it.
TEST_F(WholeGame, AcrossThreeNodes)
{
    ASSERT_TRUE(StartCluster(3));
    PlayToMateWithAWatcherFromTheMiddle();
}

void WholeGame::PlayToMateWithAWatcherFromTheMiddle()
{
    fAlice = &StartClient("alice");
    fBob = &StartClient("bob");
    ClientProcess& carol = StartClient("carol");
    ClientProcess& alice = *fAlice;
    ClientProcess& bob = *fBob;
    ASSERT_TRUE(LogIn(alice, "alice", "white-pieces", true));
    ASSERT_TRUE(LogIn(bob, "bob", "black-pieces", true));
    ASSERT_TRUE(LogIn(carol, "carol", "just-looking", true));

    // Alice offers a game as White; Bob joins it from his lobby.
    ASSERT_TRUE(alice.Do("click create"));
    ASSERT_TRUE(Eventually(alice, "the creation dialog",
                           [](const QJsonObject& s) { return s["chooseColour"].toBool(); }));
    ASSERT_TRUE(alice.Do("choose-colour white A friendly game"));
    ASSERT_TRUE(Eventually(bob, "the challenge",
                           [](const QJsonObject& s) { return !e2e::LobbyGame(s, "1").isEmpty(); }));
    ASSERT_TRUE(bob.Do("select 1"));
    ASSERT_TRUE(Eventually(bob, "join enabled", [](const QJsonObject& s) {
        return s["lobby"]["joinEnabled"].toBool();
    }));
    ASSERT_TRUE(bob.Do("click join"));
    for (ClientProcess* player : {&alice, &bob}) {
        ASSERT_TRUE(Eventually(*player, "the game under way", [](const QJsonObject& s) {
            const QJsonObject window = GameWindowState(s, "1");
            return Text(window["title"]) == "alice v. bob" && window["chatEnabled"].toBool();
        }));
    }
    EXPECT_TRUE(Contains(e2e::SentLines(bob.LogPath()), "PLAY 1 \r\n"));
    EXPECT_EQ(Text(GameWindowState(bob.State(), "1")["colour"]), "black");
    ASSERT_TRUE(Eventually(carol, "the running game in the lobby", [](const QJsonObject& s) {
        const QJsonObject row = e2e::LobbyGame(s, "1");
        return Text(row["white"]) == "alice" && Text(row["black"]) == "bob" &&
               Text(row["description"]) == "A friendly game";
    }));

    for (int i = 0; i < kWatchFrom; ++i) {
        if (i + 2 != kPremovePly) {
            ASSERT_TRUE(Play(i, {&alice, &bob})) << "ply " << i + 1;
            continue;
        }
        // Bob queues his move while Alice thinks; it goes when hers arrives.
        const Ply& queued = kGame[i + 1];
        ASSERT_TRUE(bob.Do(std::string("move 1 ") + queued.from + " " + queued.to));
        EXPECT_EQ(Text(GameWindowState(bob.State(true), "1")["premove"]),
                  std::string(queued.from) + queued.to);
        ASSERT_TRUE(Play(i, {&alice, &bob}, true, false)) << "ply " << i + 1;
        ASSERT_TRUE(Play(++i, {&alice, &bob}, false)) << "premove, ply " << i + 1;
        EXPECT_EQ(Text(GameWindowState(bob.State(true), "1")["premove"]), "");
    }
    EXPECT_EQ(Board(alice.State(), "1"), kAfterCastling);

    // Carol watches: the moves so far are replayed on her board.
    ASSERT_TRUE(carol.Do("select 1"));
    ASSERT_TRUE(Eventually(carol, "watch enabled", [](const QJsonObject& s) {
        return s["lobby"]["watchEnabled"].toBool();
    }));
    ASSERT_TRUE(carol.Do("click watch"));
    QJsonObject watched;
    ASSERT_TRUE(carol.WaitFor(
        [](const QJsonObject& s) { return !GameWindowState(s, "1").isEmpty(); }, kWait, &watched));
    const QJsonObject watching = GameWindowState(watched, "1");
    const QJsonObject playing = GameWindowState(alice.State(), "1");
    EXPECT_EQ(Text(watching["colour"]), "observer");
    EXPECT_EQ(Text(watching["board"]), kAfterCastling);
    EXPECT_EQ(Text(watching["turn"]), "white");
    EXPECT_EQ(watching["lastFrom"], playing["lastFrom"]);
    EXPECT_EQ(watching["lastTo"], playing["lastTo"]);
    EXPECT_EQ(Sounds(watched), std::vector<std::string>{"piece-moved.wav"});
    EXPECT_TRUE(Contains(e2e::SentLines(carol.LogPath()), "OBSERVE 1 on \r\n"));
    EXPECT_TRUE(Contains(e2e::ReceivedLines(carol.LogPath()),
                         "120 1 bob alice :E2E4 G8F6 E4E5 D7D5 E5D6 G7G6 D6C7 D8D7 C7B8N A8B8 "
                         "D2D4 F8G7 B1C3 E8G8 "));

    // Game chat reaches both players and the watcher.
    ASSERT_TRUE(alice.Do("game-say 1 good luck"));
    ASSERT_TRUE(Eventually(alice, "alice's own line", [](const QJsonObject& s) {
        return e2e::HasLine(GameWindowState(s, "1")["chat"], "alice: good luck");
    }));
    ASSERT_TRUE(bob.Do("game-say 1 thanks, you too"));
    ASSERT_TRUE(carol.Do("game-say 1 enjoy the game"));
    for (ClientProcess* client : {&alice, &bob, &carol}) {
        ASSERT_TRUE(Eventually(*client, "the three chat lines", [](const QJsonObject& s) {
            const QJsonValue chat = GameWindowState(s, "1")["chat"];
            return e2e::HasLine(chat, "alice: good luck") &&
                   e2e::HasLine(chat, "bob: thanks, you too") &&
                   e2e::HasLine(chat, "carol: enjoy the game");
        }));
        // Game chat stays out of the lobby.
        EXPECT_FALSE(Contains(e2e::LobbyChat(client->State()), "carol: enjoy the game"));
    }
    EXPECT_TRUE(Contains(e2e::SentLines(carol.LogPath()), "GAMEMSG 1 :enjoy the game \r\n"));

    // Alice looks two moves back while Bob plays on: her view stays where
    // she put it, her board takes no move, and End brings the game back.
    const int kStepAt = kWatchFrom + 3;
    for (int i = kWatchFrom; i < kStepAt; ++i)
        ASSERT_TRUE(Play(i, {&alice, &bob, &carol})) << "ply " << i + 1;
    ASSERT_TRUE(alice.Do("step 1 back"));
    ASSERT_TRUE(alice.Do("step 1 back"));
    ASSERT_TRUE(Play(kStepAt, {&alice, &bob, &carol}));
    QJsonObject stepped = GameWindowState(alice.State(), "1");
    EXPECT_EQ(stepped["shown"].toInt(), kStepAt - 2);
    EXPECT_EQ(Text(stepped["shownBoard"]), "earlier");
    EXPECT_NE(Text(stepped["stepping"]).find("New move"), std::string::npos);
    EXPECT_FALSE(alice.Command("drag 1 F4 H6")["picked"].toBool());
    ASSERT_TRUE(alice.Do("step 1 end"));
    stepped = GameWindowState(alice.State(), "1");
    EXPECT_EQ(stepped["shown"].toInt(), kStepAt + 1);
    EXPECT_EQ(Text(stepped["stepping"]), "");
    for (int i = kStepAt + 1; i < kPlies; ++i)
        ASSERT_TRUE(Play(i, {&alice, &bob, &carol})) << "ply " << i + 1;

    // Mate: the same result on every board, with the new ratings in every
    // lobby (1500 against 1500 with K = 32: 1516 and 1484).
    for (ClientProcess* client : {&alice, &bob, &carol}) {
        QJsonObject end;
        ASSERT_TRUE(client->WaitFor(
            [](const QJsonObject& s) {
                return e2e::Rating(s, "alice") == "1516" && e2e::Rating(s, "bob") == "1484" &&
                       s["lobby"]["gameCount"].toInt() == 0 &&
                       Contains(e2e::LobbyChat(s), "System: Game #1 has ended... White mates. 1-0");
            },
            kWait, &end))
            << client->Name() << e2e::Describe(end);
        const QJsonObject window = GameWindowState(end, "1");
        EXPECT_EQ(Text(window["board"]), kFinal) << client->Name();
        EXPECT_EQ(Text(window["banner"]), "White Mates.") << client->Name();
        EXPECT_EQ(Text(window["winner"]), "White Mates.") << client->Name();
        EXPECT_EQ(Text(window["whoIsWinner"]), "white") << client->Name();
        EXPECT_TRUE(window["white"]["blinking"].toBool()) << client->Name();
        EXPECT_FALSE(window["black"]["blinking"].toBool()) << client->Name();
        EXPECT_EQ(window["white"]["strength"].toInt(), 31) << client->Name();
        EXPECT_EQ(window["black"]["strength"].toInt(), 30) << client->Name();
        EXPECT_EQ(e2e::Rating(end, "carol"), "1500") << client->Name();
    }

    // What each client played: a sound for every move applied, the check
    // and the mate in their place; the players also heard the game start.
    std::vector<std::string> heard{"event:Tolvar Game Started"};
    for (int ply = 1; ply <= kPlies; ++ply)
        heard.push_back(ply == kPlies      ? "checkmate.wav"
                        : ply == kCheckPly ? "check.wav"
                                           : "piece-moved.wav");
    EXPECT_EQ(Sounds(alice.State()), heard);
    EXPECT_EQ(Sounds(bob.State()), heard);
    std::vector<std::string> watcherHeard =
        Repeat("piece-moved.wav", 1 + kCheckPly - 1 - kWatchFrom);
    watcherHeard.push_back("check.wav");
    for (int ply = kCheckPly + 1; ply < kPlies; ++ply)
        watcherHeard.push_back("piece-moved.wav");
    watcherHeard.push_back("checkmate.wav");
    EXPECT_EQ(Sounds(carol.State()), watcherHeard);

    // On the wire: each player sent his own moves as clicked, castling as
    // the king's move and the promotion with its letter.
    std::vector<std::string> white, black;
    for (int i = 0; i < kPlies; ++i)
        (i % 2 == 0 ? white : black).push_back("MOVE 1 " + MoveText(kGame[i]) + " \r\n");
    EXPECT_EQ(MovesSent(alice.LogPath()), white);
    EXPECT_EQ(MovesSent(bob.LogPath()), black);
    EXPECT_TRUE(Contains(e2e::ReceivedLines(carol.LogPath()), "114 1 19 E1C1"));
    EXPECT_TRUE(Contains(e2e::ReceivedLines(bob.LogPath()), "114 1 9 C7B8N"));

    // PGN from both players and the watcher: the same moves, which
    // pgn-extract accepts without a word and our reader plays back.
    std::vector<std::string> pgns;
    for (ClientProcess* client : {&alice, &bob, &carol})
        pgns.push_back(Text(client->Command("copy-pgn 1")["pgn"]));
    EXPECT_EQ(Movetext(pgns[0]), Movetext(pgns[1]));
    EXPECT_EQ(Movetext(pgns[0]), Movetext(pgns[2]));
    EXPECT_NE(pgns[0].find("[Result \"1-0\"]"), std::string::npos);
    ExpectReadable(pgns);

    // Closing a finished game still tells the server the player has left it.
    ASSERT_TRUE(alice.Do("close-game 1"));
    ASSERT_TRUE(Eventually(alice, "the window closed",
                           [](const QJsonObject& s) { return GameWindowState(s, "1").isEmpty(); }));
    EXPECT_TRUE(Contains(e2e::SentLines(alice.LogPath()), "ABORT 1 \r\n"));

    // The game again from "My Games...", for review only.
    ASSERT_TRUE(alice.Do("my-games"));
    ASSERT_TRUE(Eventually(alice, "the archive", [](const QJsonObject& s) {
        return s["archives"][0]["rows"].toArray().size() == 1;
    }));
    ASSERT_TRUE(alice.Do("open-archived 0"));
    ASSERT_TRUE(Eventually(alice, "the game for review", [](const QJsonObject& s) {
        return GameWindowState(s, "1")["review"].toBool();
    }));
    const QJsonObject review = GameWindowState(alice.State(), "1");
    EXPECT_EQ(Text(review["board"]), kFinal);
    EXPECT_EQ(review["moves"], GameWindowState(bob.State(), "1")["moves"]);
    EXPECT_EQ(Movetext(Text(alice.Command("copy-pgn 1")["pgn"])), Movetext(pgns[0]));

    // Quitting closes the watcher's window first, which stops the watching.
    EXPECT_TRUE(carol.Quit());
    EXPECT_TRUE(Contains(e2e::SentLines(carol.LogPath()), "OBSERVE 1 off \r\n"));
}
