// Ending games with two players and a watcher: on time, by resignation,
// by agreement, by abort, and a rematch. Game clocks run twenty times
// faster than real time: a minute's flag falls in three seconds.

#include "EndToEnd.h"

using e2e::GameWindowState;
using e2e::Text;
using e2e::Texts;

class Play : public EndToEnd
{
protected:
    Play() { fServerOptions = {"--set", "clock-scale=20"}; }

    testing::AssertionResult Watch(ClientProcess& watcher, const std::string& id)
    {
        if (!watcher.Do("select " + id) ||
            !Eventually(watcher, "watch",
                        [](auto& s) { return s["lobby"]["watchEnabled"].toBool(); }) ||
            !watcher.Do("click watch"))
            return testing::AssertionFailure() << "cannot watch " << id;
        return Eventually(watcher, "the window of " + id,
                          [&](auto& s) { return !GameWindowState(s, id).isEmpty(); });
    }

    // Waits until game `id` shows `test` in every client's window.
    testing::AssertionResult Everywhere(const std::string& id, const std::string& what,
                                        const std::function<bool(const QJsonObject&)>& test)
    {
        for (auto& client : fClients)
            if (auto seen = Eventually(*client, what,
                                       [&](auto& s) { return test(GameWindowState(s, id)); });
                !seen)
                return seen;
        return testing::AssertionSuccess();
    }

    testing::AssertionResult Ended(const std::string& id, const std::string& banner,
                                   const std::string& who)
    {
        return Everywhere(id, banner, [&](const QJsonObject& w) {
            return Text(w["banner"]) == banner && Text(w["whoIsWinner"]) == who;
        });
    }

    testing::AssertionResult Buttons(ClientProcess& player, const std::string& id,
                                     const std::vector<std::string>& buttons)
    {
        return Eventually(player, "the buttons", [&](auto& s) {
            return Texts(GameWindowState(s, id)["buttons"]) == buttons;
        });
    }
};

TEST_F(Play, FlagResignationDrawRematchAndAbortWithAWatcher)
{
    ClientProcess& alice = StartClient("alice");
    ClientProcess& bob = StartClient("bob");
    ClientProcess& carol = StartClient("carol");
    for (auto* client : {&alice, &bob, &carol})
        ASSERT_TRUE(LogIn(*client, client->Name(), "secret", true));

    // 1+0: the lobby lists the time control apart from the description;
    // after each side's first move White's clock runs, for all three, until
    // White's flag falls.
    ASSERT_TRUE(StartGame(alice, bob, "white", "1", "1+0"));
    const QJsonObject row = e2e::LobbyGame(carol.State(), "1");
    EXPECT_EQ(Text(row["time"]) + "|" + Text(row["description"]), "1+0|quick one");
    ASSERT_TRUE(Watch(carol, "1"));
    ASSERT_TRUE(Move(alice, bob, "1", "E2", "E4"));
    ASSERT_TRUE(Move(bob, alice, "1", "E7", "E5"));
    ASSERT_TRUE(Everywhere("1", "White's clock running", [](const QJsonObject& w) {
        return w["whiteClock"]["running"].toBool() && !w["blackClock"]["running"].toBool() &&
               Text(w["blackClock"]["text"]) == "01:00";
    }));
    ASSERT_TRUE(Ended("1", "White forfeits on time.", "black"));
    EXPECT_FALSE(GameWindowState(carol.State(), "1").contains("buttons"));

    // An untimed game shows no clocks; Abort goes once each side has moved;
    // Black resigns after the question.
    ASSERT_TRUE(StartGame(alice, bob, "white", "2"));
    ASSERT_TRUE(Watch(carol, "2"));
    ASSERT_TRUE(Buttons(bob, "2", {"resign", "draw", "abort"}));
    ASSERT_TRUE(Move(alice, bob, "2", "D2", "D4"));
    ASSERT_TRUE(Move(bob, alice, "2", "D7", "D5"));
    ASSERT_TRUE(Buttons(bob, "2", {"resign", "draw"}));
    EXPECT_FALSE(GameWindowState(bob.State(), "2").contains("whiteClock"));
    ASSERT_TRUE(bob.Do("game-button 2 resign"));
    ASSERT_TRUE(Eventually(bob, "the question", [](auto& s) {
        return Text(GameWindowState(s, "2")["question"]) == "Resign this game?";
    }));
    ASSERT_TRUE(bob.Do("answer 2 yes"));
    ASSERT_TRUE(Ended("2", "Black resigns.", "white"));

    // A draw offered by White, seen and accepted by Black.
    ASSERT_TRUE(StartGame(alice, bob, "white", "3", "3+2"));
    ASSERT_TRUE(Watch(carol, "3"));
    ASSERT_TRUE(alice.Do("game-button 3 draw"));
    ASSERT_TRUE(Buttons(alice, "3", {"resign", "draw-off", "abort"}));
    ASSERT_TRUE(Buttons(bob, "3", {"resign", "abort", "accept", "decline"}));
    EXPECT_EQ(Text(GameWindowState(bob.State(), "3")["note"]), "Draw offered");
    ASSERT_TRUE(bob.Do("game-button 3 accept"));
    ASSERT_TRUE(Ended("3", "Draw agreed.", "draw"));

    // A rematch: offered by Black, accepted by White; game 4 opens for both
    // with the colours swapped and the same time control.
    ASSERT_TRUE(bob.Do("game-button 3 rematch"));
    ASSERT_TRUE(Buttons(alice, "3", {"accept", "decline"}));
    ASSERT_TRUE(alice.Do("game-button 3 accept"));
    for (auto [player, colour] : {std::pair{&alice, "black"}, {&bob, "white"}})
        ASSERT_TRUE(Eventually(*player, "the rematch's window", [&](auto& s) {
            const QJsonObject w = GameWindowState(s, "4");
            return Text(w["colour"]) == colour && w["chatEnabled"].toBool() &&
                   Text(w["whiteClock"]["text"]) == "03:00";
        }));

    // Called off before the first move: no result.
    ASSERT_TRUE(Watch(carol, "4"));
    ASSERT_TRUE(bob.Do("game-button 4 abort"));
    ASSERT_TRUE(Ended("4", "Game aborted.", "aborted"));
}
