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
    // Resigned once, then left.
    const std::vector<std::string> sent = e2e::SentLines(bob.LogPath());
    const auto resign = std::find(sent.begin(), sent.end(), "RESIGN 1 \r\n");
    EXPECT_TRUE(resign != sent.end() && std::find(resign + 1, sent.end(), *resign) == sent.end() &&
                std::find(resign, sent.end(), "ABORT 1 \r\n") != sent.end());
    ASSERT_TRUE(Eventually(bob, "the window to close",
                           [](const QJsonObject& s) { return GameWindowState(s, "1").isEmpty(); }));
}

TEST_F(Interrupted, TheServerGoingAwayBreaksTheConnectionAndALoginWorksOnceItIsBack)
{
    ClientProcess& alice = StartClient("alice");
    ClientProcess& bob = StartClient("bob");
    ASSERT_TRUE(LogIn(alice, "alice", "secret-a", true));
    ASSERT_TRUE(LogIn(bob, "bob", "secret-b", true));
    ASSERT_TRUE(StartGame(bob, alice, "white", "1"));
    ASSERT_TRUE(Move(bob, alice, "1", "D2", "D4"));

    fServer.Kill();
    for (ClientProcess* client : {&alice, &bob}) {
        ASSERT_TRUE(AnswerAlert(*client, kBroken, "Dang Nabit!"));
        ASSERT_TRUE(Eventually(*client, "a new login window", [](const QJsonObject& s) {
            return e2e::VisibleLogins(s) == 1 && s["user"].toString().isEmpty();
        }));
    }

    // The accounts survived the crash: a plain login works again.
    ASSERT_TRUE(StartServer());
    ASSERT_TRUE(LogIn(alice, "alice", "secret-a", false));
    ASSERT_TRUE(LogIn(bob, "bob", "secret-b", false));
    for (ClientProcess* client : {&alice, &bob}) {
        QJsonObject state = client->State();
        EXPECT_EQ(e2e::Rating(state, "alice"), "1500");
        EXPECT_EQ(e2e::Rating(state, "bob"), "1500");
        EXPECT_TRUE(e2e::OpenAlert(state).isEmpty());
        EXPECT_EQ(state["alerts"].toArray().size(), 1);
    }
    std::vector<std::string> sent = e2e::SentLines(alice.LogPath());
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "USER alice ****** \r\n"), 2);
    // The new connection works: chat goes round.
    ASSERT_TRUE(alice.Do("say back again"));
    ASSERT_TRUE(Eventually(bob, "alice's line", [](const QJsonObject& s) {
        return Contains(e2e::LobbyChat(s), "alice: back again");
    }));
}
