// Games that end before their time: a player closing the game window, and
// the server going away in the middle of a game.

#include "EndToEnd.h"

#include <algorithm>

using e2e::GameWindowState;
using e2e::Text;

namespace {

const std::string kBroken =
    "Your network connection to the Chess server has been broken.  You must re-login.";

} // namespace

class Interrupted : public EndToEnd
{
};

TEST_F(Interrupted, ClosingTheGameWindowOfAGameUnderWayAsksToResign)
{
    ClientProcess& alice = StartClient("alice");
    ClientProcess& bob = StartClient("bob");
    ASSERT_TRUE(LogIn(alice, "alice", "secret-a", true));
    ASSERT_TRUE(LogIn(bob, "bob", "secret-b", true));

    // Black closes after both sides have moved: asked first, "No" keeps the
    // game; asked again, "Yes" resigns it and the window closes.
    ASSERT_TRUE(StartGame(alice, bob, "white", "1"));
    ASSERT_TRUE(Move(alice, bob, "1", "E2", "E4"));
    ASSERT_TRUE(Move(bob, alice, "1", "E7", "E5"));
    for (const char* answer : {"no", "yes"}) {
        ASSERT_TRUE(bob.Do("close-game 1"));
        ASSERT_TRUE(Eventually(bob, "the question", [](const QJsonObject& s) {
            return Text(GameWindowState(s, "1")["question"]) == "Resign this game?";
        }));
        ASSERT_TRUE(bob.Do(std::string("answer 1 ") + answer));
    }
    QJsonObject resigned;
    ASSERT_TRUE(alice.WaitFor(
        [](const QJsonObject& s) {
            return Text(GameWindowState(s, "1")["banner"]) == "Black resigns." &&
                   e2e::Rating(s, "alice") == "1516" && e2e::Rating(s, "bob") == "1484" &&
                   s["lobby"]["gameCount"].toInt() == 0;
        },
        kWait, &resigned))
        << e2e::Describe(resigned);
    // Resigned once, then left: the window closes and sends its ABORT.
    ASSERT_TRUE(Eventually(bob, "the window to close",
                           [](const QJsonObject& s) { return GameWindowState(s, "1").isEmpty(); }));
    std::vector<std::string> sent;
    ASSERT_TRUE(Eventually(bob, "the ABORT line", [&](const QJsonObject&) {
        sent = e2e::SentLines(bob.LogPath());
        return std::find(sent.begin(), sent.end(), "ABORT 1 \r\n") != sent.end();
    }));
    const auto resign = std::find(sent.begin(), sent.end(), "RESIGN 1 \r\n");
    EXPECT_TRUE(resign != sent.end() && std::find(resign + 1, sent.end(), *resign) == sent.end() &&
                std::find(resign, sent.end(), "ABORT 1 \r\n") != sent.end());
}

// What each player sees while the connection is away: the lobby counting
// down to the next attempt with its lists empty, the game window waiting
// with its buttons and chat off.
bool WaitingToResume(const QJsonObject& s)
{
    return e2e::LobbyStatus(s).rfind("connection lost \u2014 reconnecting in ", 0) == 0 &&
           s["lobby"]["stopTrying"].toBool() && s["lobby"]["gameCount"].toInt() == 0 &&
           s["lobby"]["playerCount"].toInt() == 0 &&
           Text(GameWindowState(s, "1")["status"]) == "Connection lost \u2014 waiting to resume" &&
           GameWindowState(s, "1")["buttons"].toArray().contains("resign-off") &&
           !GameWindowState(s, "1")["chatEnabled"].toBool();
}

// Back in the same window, with the lists filled again and no alert.
bool Resumed(const QJsonObject& s)
{
    return e2e::LobbyStatus(s) == "reconnected" && !s["lobby"]["stopTrying"].toBool() &&
           s["lobby"]["gameCount"].toInt() == 1 && s["lobby"]["playerCount"].toInt() == 2 &&
           s["games"].toArray().size() == 1 && s["alerts"].toArray().isEmpty() &&
           GameWindowState(s, "1")["buttons"].toArray().contains("resign") &&
           GameWindowState(s, "1")["chatEnabled"].toBool() &&
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
        return Text(GameWindowState(s, "1")["status"]).rfind("bob lost the connection; ", 0) == 0;
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
