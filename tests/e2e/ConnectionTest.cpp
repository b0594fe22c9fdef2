// Games that end before their time: a player closing the game window, and
// the server going away in the middle of a game.

#include "EndToEnd.h"

#include <algorithm>

using e2e::GameWindowState;
using e2e::Text;

namespace {

const std::string kBroken =
    "Your network connection to the Chess server has been broken.  You must re-login.";

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string LastSound(const QJsonObject& state)
{
    const std::vector<std::string> sounds = e2e::Texts(state["sounds"]);
    return sounds.empty() ? std::string() : sounds.back();
}

} // namespace

class Interrupted : public EndToEnd
{
protected:
    // `creator` offers a game of `colour` with the next number `id`; `joiner`
    // joins it; both windows show the game under way.
    testing::AssertionResult StartGame(ClientProcess& creator, ClientProcess& joiner,
                                       const std::string& colour, const std::string& id)
    {
        if (!creator.Do("click create"))
            return testing::AssertionFailure() << "create is not possible";
        testing::AssertionResult step =
            Eventually(creator, "the creation dialog",
                       [](const QJsonObject& s) { return s["chooseColour"].toBool(); });
        if (!step)
            return step;
        if (!creator.Do("choose-colour " + colour + " quick one"))
            return testing::AssertionFailure() << "no colour chosen";
        step = Eventually(joiner, "game " + id + " listed",
                          [&](const QJsonObject& s) { return !e2e::LobbyGame(s, id).isEmpty(); });
        if (!step)
            return step;
        if (!joiner.Do("select " + id))
            return testing::AssertionFailure() << "no row " << id;
        step = Eventually(joiner, "join enabled",
                          [](const QJsonObject& s) { return s["lobby"]["joinEnabled"].toBool(); });
        if (!step || !joiner.Do("click join"))
            return testing::AssertionFailure() << "cannot join " << id;
        for (ClientProcess* player : {&creator, &joiner}) {
            step = Eventually(*player, "game " + id + " under way", [&](const QJsonObject& s) {
                return GameWindowState(s, id)["chatEnabled"].toBool();
            });
            if (!step)
                return step;
        }
        return testing::AssertionSuccess();
    }

    // Drags a piece and waits until the other player's board shows the move.
    testing::AssertionResult Move(ClientProcess& mover, ClientProcess& other, const std::string& id,
                                  const std::string& from, const std::string& to)
    {
        const QJsonObject reply = mover.Command("drag " + id + " " + from + " " + to);
        if (!reply["ok"].toBool() || !reply["picked"].toBool())
            return testing::AssertionFailure() << "cannot drag " << from << to;
        const std::string moved = Text(GameWindowState(mover.State(true), id)["board"]);
        return Eventually(other, "the move " + from + to, [&](const QJsonObject& s) {
            return Text(GameWindowState(s, id)["board"]) == moved;
        });
    }
};

TEST_F(Interrupted, ClosingTheGameWindowAbortsTheGameForTheOtherPlayer)
{
    ClientProcess& alice = StartClient("alice");
    ClientProcess& bob = StartClient("bob");
    ASSERT_TRUE(LogIn(alice, "alice", "secret-a", true));
    ASSERT_TRUE(LogIn(bob, "bob", "secret-b", true));

    // Black leaves after both sides have moved: a loss for Black.
    ASSERT_TRUE(StartGame(alice, bob, "white", "1"));
    ASSERT_TRUE(Move(alice, bob, "1", "E2", "E4"));
    ASSERT_TRUE(Move(bob, alice, "1", "E7", "E5"));
    ASSERT_TRUE(bob.Do("close-game 1"));
    QJsonObject aborted;
    ASSERT_TRUE(alice.WaitFor(
        [](const QJsonObject& s) {
            return Text(GameWindowState(s, "1")["banner"]) == "Game Aborted by Black." &&
                   LastSound(s) == "game-aborted.wav" && e2e::Rating(s, "alice") == "1516" &&
                   e2e::Rating(s, "bob") == "1484" && s["lobby"]["gameCount"].toInt() == 0;
        },
        kWait, &aborted))
        << e2e::Describe(aborted);
    const QJsonObject window = GameWindowState(aborted, "1");
    EXPECT_EQ(Text(window["whoIsWinner"]), "aborted");
    EXPECT_TRUE(window["white"]["blinking"].toBool());
    EXPECT_TRUE(window["black"]["blinking"].toBool());
    EXPECT_TRUE(Contains(e2e::SentLines(bob.LogPath()), "ABORT 1 \r\n"));
    EXPECT_TRUE(GameWindowState(bob.State(), "1").isEmpty());
}

// What each player sees while the connection is away: the lobby counting
// down to the next attempt with its lists empty, the game window waiting.
bool WaitingToResume(const QJsonObject& s)
{
    return e2e::LobbyStatus(s).rfind("connection lost \u2014 reconnecting in ", 0) == 0 &&
           s["lobby"]["stopTrying"].toBool() && s["lobby"]["gameCount"].toInt() == 0 &&
           s["lobby"]["playerCount"].toInt() == 0 &&
           Text(GameWindowState(s, "1")["status"]) == "Connection lost \u2014 waiting to resume";
}

// Back in the same window, with the lists filled again and no alert.
bool Resumed(const QJsonObject& s)
{
    return e2e::LobbyStatus(s) == "reconnected" && !s["lobby"]["stopTrying"].toBool() &&
           s["lobby"]["gameCount"].toInt() == 1 && s["lobby"]["playerCount"].toInt() == 2 &&
           s["games"].toArray().size() == 1 && s["alerts"].toArray().isEmpty() &&
           (Text(GameWindowState(s, "1")["status"]) == "game resumed" ||
            Text(GameWindowState(s, "1")["status"]).find(" is back") != std::string::npos);
}

TEST_F(Interrupted, AGameGoesOnInTheSameWindowsAfterACrashOfTheServerAndACutConnection)
{
    ClientProcess& alice = StartClient("alice");
    ClientProcess& bob = StartClient("bob");
    ASSERT_TRUE(LogIn(alice, "alice", "secret-a", true));
    ASSERT_TRUE(LogIn(bob, "bob", "secret-b", true));
    ASSERT_TRUE(StartGame(bob, alice, "white", "1"));
    ASSERT_TRUE(Move(bob, alice, "1", "D2", "D4"));

    fServer.Kill();
    for (ClientProcess* client : {&alice, &bob})
        ASSERT_TRUE(Eventually(*client, "waiting to resume", WaitingToResume));
    ASSERT_TRUE(StartServer());
    for (ClientProcess* client : {&alice, &bob})
        ASSERT_TRUE(Eventually(*client, "the game resumed", Resumed));
    ASSERT_TRUE(Move(alice, bob, "1", "D7", "D5"));

    // Only bob's connection breaks: alice is told, and both play on once he is back.
    ASSERT_TRUE(bob.Do("cut"));
    ASSERT_TRUE(Eventually(alice, "bob's absence", [](const QJsonObject& s) {
        return Text(GameWindowState(s, "1")["status"]) == "bob lost the connection; 60 s to return";
    }));
    ASSERT_TRUE(Eventually(bob, "the game resumed", Resumed));
    ASSERT_TRUE(Eventually(alice, "bob's return", [](const QJsonObject& s) {
        return Text(GameWindowState(s, "1")["status"]) == "bob is back";
    }));
    ASSERT_TRUE(Move(bob, alice, "1", "C2", "C4"));
    std::vector<std::string> sent = e2e::SentLines(bob.LogPath());
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "USER bob ****** \r\n"), 3);
}

TEST_F(Interrupted, APlayerWhoStopsTryingLosesTheGameOnceTheGracePeriodIsOver)
{
    fServer.Stop();
    ASSERT_TRUE(StartServer({"--grace-seconds", "10"}));
    ClientProcess& alice = StartClient("alice");
    ClientProcess& bob = StartClient("bob");
    ASSERT_TRUE(LogIn(alice, "alice", "secret-a", true));
    ASSERT_TRUE(LogIn(bob, "bob", "secret-b", true));
    ASSERT_TRUE(StartGame(bob, alice, "white", "1"));
    ASSERT_TRUE(Move(bob, alice, "1", "D2", "D4"));
    ASSERT_TRUE(Move(alice, bob, "1", "D7", "D5"));

    fServer.Kill();
    ASSERT_TRUE(Eventually(alice, "waiting to resume", WaitingToResume));
    ASSERT_TRUE(alice.Do("click stop-trying"));
    ASSERT_TRUE(AnswerAlert(alice, kBroken, "Dang Nabit!"));
    ASSERT_TRUE(Eventually(alice, "a new login window", [](const QJsonObject& s) {
        return e2e::VisibleLogins(s) == 1 && s["user"].toString().isEmpty();
    }));
    ASSERT_TRUE(StartServer({"--grace-seconds", "10"}));
    ASSERT_TRUE(Eventually(bob, "the game resumed", [](const QJsonObject& s) {
        return Text(GameWindowState(s, "1")["status"]).rfind("alice lost the connection; ", 0) == 0;
    }));
    ASSERT_TRUE(Eventually(bob, "alice's loss", [](const QJsonObject& s) {
        return Text(GameWindowState(s, "1")["banner"]) == "Game Aborted by Black." &&
               e2e::Rating(s, "bob") == "1516";
    }));
}
