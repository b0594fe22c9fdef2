#include "ServerFixture.h"

using namespace tolvar::server;
using namespace tolvar::server::test;

using Login = ServerFixture;

TEST_F(Login, CreateThenLogInOnTheSameConnection)
{
    TestClient& alice = Guest();
    alice.Send("CREATE alice secret");
    EXPECT_EQ(alice.Next(), "401 :account alice created");
    alice.Send("USER alice secret");
    EXPECT_EQ(alice.Next(), "201 :welcome, alice");
    EXPECT_TRUE(alice.Silent()) << "no arrival line about oneself";
}

TEST_F(Login, AccountsThatCannotBeCreated)
{
    Player("alice");
    TestClient& guest = Guest();
    struct Case
    {
        const char* line;
        const char* reply;
    };
    const Case cases[] = {
        {"CREATE alice other", "402 :the name alice is taken"},
        {"CREATE ALICE other", "402 :the name ALICE is taken"},
        {"CREATE a pw", "402 :a name has 2 to 16 letters, digits, _ or -"},
        {"CREATE seventeen_letters pw", "402 :a name has 2 to 16 letters, digits, _ or -"},
        {"CREATE bad.name pw", "402 :a name has 2 to 16 letters, digits, _ or -"},
        {"CREATE carol", "402 :the password must not be empty"},
    };
    for (const Case& c : cases) {
        guest.Send(c.line);
        EXPECT_EQ(guest.Next(), c.reply) << c.line;
    }
    guest.Send("CREATE carol " + std::string(129, 'p'));
    EXPECT_EQ(guest.Next(), "402 :the password is longer than 128 bytes");
}

TEST_F(Login, RefusedLogins)
{
    Player("alice");
    TestClient& guest = Guest();
    guest.Send("USER alice wrong");
    EXPECT_EQ(guest.Next(), "403 :unknown name or wrong password");
    guest.Send("USER nobody secret");
    EXPECT_EQ(guest.Next(), "403 :unknown name or wrong password");
    guest.Send("USER alice secret");
    EXPECT_EQ(guest.Next(), "504 :alice is already logged in");
    guest.Send("USER Alice secret");
    EXPECT_EQ(guest.Next(), "504 :Alice is already logged in") << "names compare without case";
}

TEST_F(Login, TooManyFailedLoginsCloseTheConnection)
{
    Player("alice");
    TestClient& guest = Guest();
    for (int i = 0; i < fConfig.maxFailedLogins; ++i) {
        guest.Send("USER alice wrong");
        EXPECT_EQ(guest.Next(), "403 :unknown name or wrong password") << i;
    }
    EXPECT_TRUE(guest.ClosedByServer());
}

TEST_F(Login, PasswordsAreTakenAsTyped)
{
    TestClient& carol = Guest();
    carol.Send("CREATE carol two words: ok ");
    EXPECT_EQ(carol.Next(), "401 :account carol created");
    carol.Send("USER carol two words:");
    EXPECT_EQ(carol.Next(), "403 :unknown name or wrong password");
    carol.Send("USER carol two words: ok ");
    EXPECT_EQ(carol.Next(), "201 :welcome, carol");
}

TEST_F(Login, AConnectionShowsTheNameAsTypedAtLogin)
{
    TestClient& creator = Guest();
    creator.Send("CREATE Dave secret");
    EXPECT_EQ(creator.Next(), "401 :account Dave created");
    creator.Close();
    TestClient& dave = Guest();
    dave.Send("USER dave secret");
    EXPECT_EQ(dave.Next(), "201 :welcome, dave");
    dave.Send("USERS");
    EXPECT_EQ(dave.Next(), "700 dave 1500");
}

TEST_F(Login, EveryCommandButCreateAndUserWaitsForTheLogin)
{
    TestClient& guest = Guest();
    for (const char* line : {"GAMES", "USERS", "MAKE 1 :x", "PLAY 1", "OBSERVE 1 on", "MOVE 1 E2E4",
                             "GAMEMSG 1 :hi", "PUBLMSG :hi", "ABORT 1"}) {
        guest.Send(line);
        EXPECT_EQ(guest.Next(), "404 :log in first") << line;
    }
    guest.Send("HELLO");
    EXPECT_EQ(guest.Next(), "404 :unknown command HELLO");
}

TEST_F(Login, ArrivalsListsAndDepartures)
{
    TestClient& alice = Player("alice");
    TestClient& bob = Player("bob"); // alice hears 701 bob 1500
    alice.Send("USERS");
    EXPECT_EQ(alice.Next(), "700 alice 1500");
    EXPECT_EQ(alice.Next(), "700 bob 1500");
    bob.Send("CREATE x y");
    EXPECT_EQ(bob.Next(), "404 :already logged in");
    bob.Close();
    Forget(bob);
    EXPECT_EQ(alice.Next(), "702 bob");
    alice.Send("USERS");
    EXPECT_EQ(alice.Next(), "700 alice 1500");
    EXPECT_TRUE(alice.Silent());
}

TEST_F(Login, AGuestThatNeverLogsInIsDisconnected)
{
    fServer.reset();
    fConfig.loginTimeout = std::chrono::milliseconds(300);
    fServer = std::make_unique<TestServer>(fConfig);
    ASSERT_TRUE(fServer->Started());
    TestClient& idle = Guest();
    TestClient& alice = Player("alice");
    EXPECT_EQ(idle.Next(2s), "404 :no login in time; closing the connection");
    EXPECT_TRUE(idle.ClosedByServer());
    EXPECT_TRUE(alice.Silent(500ms)) << "a logged-in client may stay idle";
    alice.Send("USERS");
    EXPECT_EQ(alice.Next(), "700 alice 1500");
}
