#include "ServerFixture.h"

using namespace tolvar::server;
using namespace tolvar::server::test;

using Chat = ServerFixture;

TEST_F(Chat, PublicLinesReachEveryoneLoggedInTheSenderToo)
{
    TestClient& guest = Guest();
    TestClient& alice = Player("alice");
    TestClient& bob = Player("bob");
    alice.Send("PUBLMSG :hello  there: all ");
    EXPECT_EQ(alice.Next(), "115 alice lobby :hello  there: all ");
    EXPECT_EQ(bob.Next(), "115 alice lobby :hello  there: all ");
    EXPECT_TRUE(guest.Silent()) << "guests hear no chat";
}

TEST_F(Chat, GameLinesReachThePlayersAndWatchersOnly)
{
    TestClient& alice = Player("alice");
    TestClient& bob = Player("bob");
    TestClient& carol = Player("carol");
    TestClient& dave = Player("dave");
    alice.Send("MAKE 1");
    bob.Send("PLAY 1");
    for (TestClient* c : {&alice, &bob, &carol, &dave}) {
        ASSERT_EQ(c->Next(), "118 1 0 1 alice");
        ASSERT_EQ(c->Next(), "118 1 1 1 bob alice");
    }
    carol.Send("OBSERVE 1 on");
    ASSERT_EQ(carol.Next(), "120 1 bob alice :");

    carol.Send("GAMEMSG 1 :nice opening");
    for (TestClient* c : {&alice, &bob, &carol})
        EXPECT_EQ(c->Next(), "123 carol 1 :nice opening");
    EXPECT_TRUE(dave.Silent());

    dave.Send("GAMEMSG 1 :let me in");
    EXPECT_EQ(dave.Next(), "407 :you neither play nor watch game 1");
    dave.Send("GAMEMSG 5 :hello");
    EXPECT_EQ(dave.Next(), "406 5 :no such game");
    EXPECT_TRUE(alice.Silent(100ms));
}

TEST_F(Chat, EmptyOverlongAndMalformedLinesAreRefused)
{
    TestClient& alice = Player("alice");
    struct Case
    {
        std::string line;
        const char* reply;
    };
    const Case cases[] = {
        {"PUBLMSG :", "407 :empty message"},
        {"PUBLMSG :" + std::string(401, 'x'), "407 :message longer than 400 bytes"},
        {"PUBLMSG hi", "404 :usage: PUBLMSG :text"},
        {"GAMEMSG :hi", "404 :usage: GAMEMSG id :text"},
    };
    for (const Case& c : cases) {
        alice.Send(c.line);
        EXPECT_EQ(alice.Next(), c.reply) << c.line.substr(0, 20);
    }
    alice.Send("PUBLMSG :" + std::string(400, 'x'));
    EXPECT_EQ(alice.Next(), "115 alice lobby :" + std::string(400, 'x'));
}
