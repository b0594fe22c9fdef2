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
