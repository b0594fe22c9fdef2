#include "GameScripts.h"
#include "ServerFixture.h"

using namespace tolvar::server;
using namespace tolvar::server::test;

using GameFlow = ServerFixture;

namespace {
// Moves at machine speed would count as flooding.
class LongGame : public ServerFixture
{
protected:
    void Adjust(ServerConfig& config) override { config.floodLinesPerSecond = 0; }
};
} // namespace

TEST_F(GameFlow, ChallengeJoinWatchAndMove)
{
    TestClient& alice = Player("alice");
    TestClient& bob = Player("bob");
    TestClient& carol = Player("carol");

    alice.Send("MAKE 1 :Let's Play!");
    for (TestClient* c : {&alice, &bob, &carol})
        EXPECT_EQ(c->Next(), "118 1 0 1 alice :Let's Play!");

    carol.Send("OBSERVE 1 on");
    EXPECT_EQ(carol.Next(), "407 :only running games can be watched");

    bob.Send("PLAY 1");
    for (TestClient* c : {&alice, &bob, &carol})
        EXPECT_EQ(c->Next(), "118 1 1 1 bob alice :Let's Play!");

    alice.Send("MOVE 1 E2E4");
    EXPECT_EQ(alice.Next(), "114 1 1 E2E4");
    EXPECT_EQ(bob.Next(), "114 1 1 E2E4");
    EXPECT_TRUE(carol.Silent()) << "not watching yet";

    carol.Send("OBSERVE 1 on");
    EXPECT_EQ(carol.Next(), "120 1 bob alice :E2E4 ");

    bob.Send("MOVE 1 E7E5");
    for (TestClient* c : {&alice, &bob, &carol})
        EXPECT_EQ(c->Next(), "114 1 2 E7E5");

    carol.Send("OBSERVE 1 off");
    alice.Send("MOVE 1 G1F3");
    EXPECT_EQ(alice.Next(), "114 1 3 G1F3");
    EXPECT_EQ(bob.Next(), "114 1 3 G1F3");
    EXPECT_TRUE(carol.Silent());

    carol.Send("GAMES");
    EXPECT_EQ(carol.Next(), "118 1 1 1 bob alice :Let's Play!");
    EXPECT_TRUE(carol.Silent());
}

TEST_F(GameFlow, GamesListsOpenAndRunningGamesInEachForm)
{
    TestClient& alice = Player("alice");
    TestClient& bob = Player("bob");
    alice.Send("MAKE 0 :black for alice");
    alice.Send("MAKE 1");
    bob.Send("MAKE 1 :bob's");
    for (const char* line :
         {"118 1 1 0 alice :black for alice", "118 2 0 1 alice", "118 3 0 1 bob :bob's"}) {
        EXPECT_EQ(alice.Next(), line);
        EXPECT_EQ(bob.Next(), line);
    }
    bob.Send("PLAY 1");
    EXPECT_EQ(alice.Next(), "118 1 1 1 alice bob :black for alice");
    EXPECT_EQ(bob.Next(), "118 1 1 1 alice bob :black for alice");

    TestClient& carol = Player("carol");
    carol.Send("GAMES");
    EXPECT_EQ(carol.Next(), "118 1 1 1 alice bob :black for alice");
    EXPECT_EQ(carol.Next(), "118 2 0 1 alice");
    EXPECT_EQ(carol.Next(), "118 3 0 1 bob :bob's");
    EXPECT_TRUE(carol.Silent());
}

TEST_F(GameFlow, RequestsThatAreRefused)
{
    TestClient& alice = Player("alice");
    TestClient& bob = Player("bob");
    TestClient& carol = Player("carol");
    alice.Send("MAKE 1");
    EXPECT_EQ(alice.Next(), "118 1 0 1 alice");
    EXPECT_EQ(bob.Next(), "118 1 0 1 alice");
    EXPECT_EQ(carol.Next(), "118 1 0 1 alice");

    struct Case
    {
        TestClient* who;
        const char* line;
        const char* reply;
    };
    const Case beforeJoin[] = {
        {&alice, "PLAY 1", "407 :you already play in game 1"},
        {&alice, "MOVE 1 E2E4", "407 :game 1 has not started"},
        {&bob, "PLAY 9", "406 9 :no such game"},
        {&bob, "PLAY x1", "406 x1 :no such game"},
        {&bob, "PLAY", "404 :usage: PLAY id"},
        {&bob, "MAKE 2 :x", "404 :usage: MAKE colour :description (0 Black, 1 White)"},
        {&bob, "MAKE", "404 :usage: MAKE colour :description (0 Black, 1 White)"},
        {&bob, "OBSERVE 1 maybe", "404 :usage: OBSERVE id on|off"},
        {&bob, "OBSERVE 1 off", "407 :you are not watching game 1"},
        {&bob, "MOVE 1", "404 :usage: MOVE id move"},
    };
    for (const Case& c : beforeJoin) {
        c.who->Send(c.line);
        EXPECT_EQ(c.who->Next(), c.reply) << c.line;
    }

    bob.Send("PLAY 1");
    for (TestClient* c : {&alice, &bob, &carol})
        EXPECT_EQ(c->Next(), "118 1 1 1 bob alice");

    const Case running[] = {
        {&carol, "PLAY 1", "407 :game 1 is full"},
        {&bob, "OBSERVE 1 on", "407 :you play in game 1"},
        {&carol, "MOVE 1 E2E4", "407 :you do not play in game 1"},
        {&bob, "MOVE 1 E7E5", "405 1 E7E5 :not your turn"},
        {&alice, "MOVE 1 E2E5", "405 1 E2E5 :illegal move"},
        {&alice, "MOVE 1 E3E4", "405 1 E3E4 :no piece of yours on that square"},
        {&alice, "MOVE 1 E2E4E2E4", "405 1 E2E4E2E4 :illegal move"},
        {&carol, "ABORT 1", "407 :you do not play in game 1"},
    };
    for (const Case& c : running) {
        c.who->Send(c.line);
        EXPECT_EQ(c.who->Next(), c.reply) << c.line;
    }
    carol.Send("OBSERVE 1 on");
    EXPECT_EQ(carol.Next(), "120 1 bob alice :");
    carol.Send("OBSERVE 1 on");
    EXPECT_EQ(carol.Next(), "407 :you already watch game 1");
    for (TestClient* c : {&alice, &bob, &carol})
        EXPECT_TRUE(c->Silent(100ms));
}

TEST_F(GameFlow, LimitsOnChallengesAndDescriptions)
{
    TestClient& alice = Player("alice");
    for (int i = 1; i <= fConfig.maxOpenChallenges; ++i) {
        alice.Send("MAKE 1");
        EXPECT_EQ(alice.Next(), "118 " + std::to_string(i) + " 0 1 alice");
    }
    alice.Send("MAKE 0");
    EXPECT_EQ(alice.Next(), "407 :at most 3 open challenges");
    alice.Send("ABORT 1");
    EXPECT_EQ(alice.Next(), "601 1 1");
    EXPECT_EQ(alice.Next(), "119 1 : Challenge withdrawn.");
    alice.Send("MAKE 0 :" + std::string(fConfig.maxDescriptionBytes + 1, 'd'));
    EXPECT_EQ(alice.Next(), "407 :description longer than 100 bytes");
    alice.Send("MAKE 0 :" + std::string(fConfig.maxDescriptionBytes, 'd'));
    EXPECT_EQ(alice.Next(), "118 4 1 0 alice :" + std::string(100, 'd'));
}

TEST_F(LongGame, AWatcherOfALongGameGetsEveryMoveInLinesTheClientCanRead)
{
    std::vector<std::string> moves = WanderingGame(260, 7);
    ASSERT_EQ(moves.size(), 260u) << "the generator found no long game";

    TestClient& alice = Player("alice");
    TestClient& bob = Player("bob");
    TestClient& carol = Player("carol");
    alice.Send("MAKE 1");
    bob.Send("PLAY 1");
    for (TestClient* c : {&alice, &bob, &carol}) {
        ASSERT_EQ(c->Next(), "118 1 0 1 alice");
        ASSERT_EQ(c->Next(), "118 1 1 1 bob alice");
    }
    for (std::size_t i = 0; i < moves.size(); ++i) {
        TestClient& mover = i % 2 == 0 ? alice : bob;
        mover.Send("MOVE 1 " + moves[i]);
        std::string echo = "114 1 " + std::to_string(i + 1) + " " + moves[i];
        ASSERT_EQ(alice.Next(), echo);
        ASSERT_EQ(bob.Next(), echo);
    }

    carol.Send("OBSERVE 1 on");
    std::string first = carol.Next();
    EXPECT_LE(first.size() + 1, 999u);
    ASSERT_EQ(first.rfind("120 1 bob alice :", 0), 0u) << first;
    std::string list = first.substr(17);
    std::vector<std::string> seen;
    for (std::size_t pos = 0; pos < list.size();) {
        std::size_t blank = list.find(' ', pos);
        ASSERT_NE(blank, std::string::npos) << "every move is followed by a blank";
        seen.push_back(list.substr(pos, blank - pos));
        pos = blank + 1;
    }
    ASSERT_LT(seen.size(), moves.size()) << "the list was expected to overflow one line";
    while (seen.size() < moves.size()) {
        std::string line = carol.Next();
        std::string expected =
            "114 1 " + std::to_string(seen.size() + 1) + " " + moves[seen.size()];
        ASSERT_EQ(line, expected);
        seen.push_back(moves[seen.size()]);
    }
    EXPECT_EQ(seen, moves);
    EXPECT_TRUE(carol.Silent(100ms));
}
