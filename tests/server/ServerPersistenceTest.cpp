#include "ServerFixture.h"

#include "server/AccountStore.h"

using namespace tolvar::server;
using namespace tolvar::server::test;

using Persistence = ServerFixture;

TEST_F(Persistence, AccountsRatingsAndGameIdsOutliveARestartRunningGamesDoNot)
{
    {
        TestClient& alice = Player("alice");
        TestClient& bob = Player("bob");
        alice.Send("MAKE 1");
        bob.Send("PLAY 1");
        for (TestClient* c : {&alice, &bob}) {
            ASSERT_EQ(c->Next(), "118 1 0 1 alice");
            ASSERT_EQ(c->Next(), "118 1 1 1 bob alice");
        }
        const char* fools[] = {"F2F3", "E7E5", "G2G4", "D8H4"};
        for (int i = 0; i < 4; ++i) {
            (i % 2 == 0 ? alice : bob).Send(std::string("MOVE 1 ") + fools[i]);
            ASSERT_EQ(alice.Next(), "114 1 " + std::to_string(i + 1) + " " + fools[i]);
        }
        ASSERT_EQ(alice.Next(), "119 1 : Black mates. 0-1");
        EXPECT_EQ(alice.Next(), "700 alice 1484");
        EXPECT_EQ(alice.Next(), "700 bob 1516");
        // A game left running when the server goes down.
        ASSERT_TRUE(bob.SkipTo("700 bob").has_value());
        bob.Send("MAKE 0 :unfinished");
        ASSERT_TRUE(alice.SkipTo("118 2 1 0 bob").has_value());
        alice.Send("PLAY 2");
        ASSERT_TRUE(alice.SkipTo("118 2 1 1 bob alice").has_value());
    }
    Restart();

    TestClient& bob = Player("bob", 1516, false);
    Player("alice", 1484, false);
    bob.Send("GAMES");
    EXPECT_TRUE(bob.Silent()) << "games in progress are gone";
    bob.Send("MAKE 1");
    EXPECT_EQ(bob.Next(), "118 2 0 1 bob") << "ids go on after the highest stored game";

    TestClient& guest = Guest();
    guest.Send("CREATE ALICE x");
    EXPECT_EQ(guest.Next(), "402 :the name ALICE is taken");
}

TEST_F(Persistence, OnlyHashesAreStored)
{
    Player("alice");
    Restart();
    std::string error;
    auto store = AccountStore::Open(fConfig.databasePath, &error);
    ASSERT_TRUE(store) << error;
    Account alice;
    ASSERT_EQ(store->FindAccount("alice", &alice), AccountStore::Found::Yes);
    EXPECT_EQ(alice.passwordHash.rfind("$argon2id$", 0), 0u);
    EXPECT_EQ(alice.passwordHash.find("secret"), std::string::npos);
}
