#include "ServerFixture.h"

#include <thread>

using namespace tolvar::server;
using namespace tolvar::server::test;

namespace {

class Abort : public ServerFixture
{
protected:
    // alice White, bob Black in game 1, carol watching; `plies` moves made.
    void StartGame(int plies)
    {
        alice = &Player("alice");
        bob = &Player("bob");
        carol = &Player("carol");
        alice->Send("MAKE 1");
        bob->Send("PLAY 1");
        for (TestClient* c : {alice, bob, carol}) {
            ASSERT_EQ(c->Next(), "118 1 0 1 alice");
            ASSERT_EQ(c->Next(), "118 1 1 1 bob alice");
        }
        carol->Send("OBSERVE 1 on");
        ASSERT_EQ(carol->Next(), "120 1 bob alice :");
        const char* moves[] = {"E2E4", "E7E5", "G1F3"};
        for (int i = 0; i < plies; ++i) {
            (i % 2 == 0 ? alice : bob)->Send(std::string("MOVE 1 ") + moves[i]);
            for (TestClient* c : {alice, bob, carol})
                ASSERT_EQ(c->Next(), "114 1 " + std::to_string(i + 1) + " " + moves[i]);
        }
    }

    TestClient* alice = nullptr;
    TestClient* bob = nullptr;
    TestClient* carol = nullptr;
};

} // namespace

TEST_F(Abort, BeforeBothSidesMovedTheGameEndsWithoutResult)
{
    StartGame(1);
    bob->Send("ABORT 1");
    for (TestClient* c : {bob, alice, carol})
        EXPECT_EQ(c->Next(), "601 1 0") << "Black aborted";
    for (TestClient* c : {alice, bob, carol}) {
        EXPECT_EQ(c->Next(), "119 1 : Black aborted before both sides had moved; no result.");
        EXPECT_TRUE(c->Silent()) << "no rating changes";
    }
    alice->Send("MOVE 1 E7E5");
    EXPECT_EQ(alice->Next(), "407 :game 1 is over");
}

TEST_F(Abort, AfterBothSidesMovedItIsALossForTheSideThatAborted)
{
    StartGame(2);
    alice->Send("ABORT 1");
    for (TestClient* c : {alice, bob, carol})
        EXPECT_EQ(c->Next(), "601 1 1") << "White aborted";
    for (TestClient* c : {alice, bob, carol}) {
        EXPECT_EQ(c->Next(), "119 1 : White aborted and loses. 0-1");
        EXPECT_EQ(c->Next(), "700 alice 1484");
        EXPECT_EQ(c->Next(), "700 bob 1516");
    }
}

TEST_F(Abort, APlayerWhoDisconnectsAbortsAndLeaves)
{
    StartGame(3);
    bob->Close();
    Forget(*bob);
    for (TestClient* c : {alice, carol}) {
        EXPECT_EQ(c->Next(), "601 1 0");
        EXPECT_EQ(c->Next(), "702 bob");
        EXPECT_EQ(c->Next(), "119 1 : Black left the server and loses. 1-0");
        // Only the player still online is listed again.
        EXPECT_EQ(c->Next(), "700 alice 1516");
        EXPECT_TRUE(c->Silent());
    }
    // The rating stays with the account: bob comes back at 1484.
    Player("bob", 1484, false);
}

TEST_F(Abort, AWithdrawnChallengeAndADepartedCreatorEndTheirGames)
{
    TestClient& alice = Player("alice");
    TestClient& bob = Player("bob");
    alice.Send("MAKE 0");
    bob.Send("MAKE 1");
    for (TestClient* c : {&alice, &bob}) {
        EXPECT_EQ(c->Next(), "118 1 1 0 alice");
        EXPECT_EQ(c->Next(), "118 2 0 1 bob");
    }
    alice.Send("ABORT 1");
    EXPECT_EQ(alice.Next(), "601 1 0");
    EXPECT_EQ(alice.Next(), "119 1 : Challenge withdrawn.");
    EXPECT_EQ(bob.Next(), "119 1 : Challenge withdrawn.");

    bob.Close();
    Forget(bob);
    EXPECT_EQ(alice.Next(), "119 2 : Challenge withdrawn.");
    EXPECT_EQ(alice.Next(), "702 bob");
    alice.Send("GAMES");
    EXPECT_TRUE(alice.Silent());
}

TEST_F(Abort, AWatcherWhoDisconnectsOnlyLeaves)
{
    StartGame(2);
    carol->Close();
    Forget(*carol);
    EXPECT_EQ(alice->Next(), "702 carol");
    EXPECT_EQ(bob->Next(), "702 carol");
    alice->Send("MOVE 1 G1F3");
    EXPECT_EQ(alice->Next(), "114 1 3 G1F3");
    EXPECT_EQ(bob->Next(), "114 1 3 G1F3");
}

namespace {
class QuietGames : public ServerFixture
{
protected:
    void Adjust(ServerConfig& config) override
    {
        config.finishedGameIdle = std::chrono::milliseconds(1000);
    }
};
} // namespace

TEST_F(QuietGames, AFinishedGameIsForgottenOnceNobodyChatsInIt)
{
    TestClient& alice = Player("alice");
    TestClient& bob = Player("bob");
    alice.Send("MAKE 1");
    ASSERT_TRUE(bob.SkipTo("118 1 0 1 alice").has_value());
    bob.Send("PLAY 1");
    ASSERT_TRUE(alice.SkipTo("118 1 1 1 bob alice").has_value());
    const char* fools[] = {"F2F3", "E7E5", "G2G4", "D8H4"};
    for (int i = 0; i < 4; ++i) {
        (i % 2 == 0 ? alice : bob).Send(std::string("MOVE 1 ") + fools[i]);
        ASSERT_TRUE(alice.SkipTo("114 1 " + std::to_string(i + 1)).has_value());
    }
    ASSERT_EQ(alice.Next(), "119 1 : Black mates. 0-1");
    ASSERT_TRUE(alice.SkipTo("700 bob").has_value());
    // Chat keeps it, past the idle time counted from its end.
    for (int i = 0; i < 2; ++i) {
        std::this_thread::sleep_for(500ms);
        bob.Send("GAMEMSG 1 :gg");
        EXPECT_EQ(alice.Next(), "123 bob 1 :gg");
    }
    std::this_thread::sleep_for(1500ms);
    bob.Send("GAMEMSG 1 :still there?");
    EXPECT_TRUE(bob.SkipTo("406 1 :no such game").has_value());
    alice.Send("MAKE 1");
    EXPECT_TRUE(alice.SkipTo("118 2 0 1 alice").has_value());
}
