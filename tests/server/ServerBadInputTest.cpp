#include "ServerFixture.h"

#include <sys/socket.h>

#include <random>
#include <thread>

using namespace tolvar::server;
using namespace tolvar::server::test;
using namespace std::string_literals;

using BadInput = ServerFixture;

TEST_F(BadInput, AnOverlongLineIsRefusedAndTheConnectionGoesOn)
{
    TestClient& alice = Player("alice");
    alice.SendRaw("PUBLMSG :" + std::string(2000, 'x') + " \r\n");
    EXPECT_EQ(alice.Next(), "404 :line longer than 1024 bytes");
    alice.Send("PUBLMSG :short");
    EXPECT_EQ(alice.Next(), "115 alice lobby :short");
}

TEST_F(BadInput, BytesThatAreNotTextAreNeverRelayed)
{
    TestClient& alice = Player("alice");
    TestClient& bob = Player("bob");
    const std::string lines[] = {
        "PUBLMSG :one\rtwo",        "PUBLMSG :nul\0inside"s, "PUBLMSG :\x1b[2Jclear",
        "PUBLMSG :bad \xff byte",   "PUBLMSG :cut \xe2\x99", "PUBLMSG :c1 \xc2\x9b",
        "MAKE 1 :tab\tdescription", "USER \x01\x02",
    };
    for (const std::string& line : lines) {
        alice.Send(line);
        EXPECT_EQ(alice.Next(), "404 :line is not text");
    }
    EXPECT_TRUE(bob.Silent());
    alice.Send("PUBLMSG :caf\xc3\xa9 ok");
    EXPECT_EQ(bob.Next(), "115 alice lobby :caf\xc3\xa9 ok");
}

TEST_F(BadInput, AFloodingClientIsClosedAndOthersCarryOn)
{
    TestClient& alice = Player("alice");
    TestClient& bob = Player("bob");
    std::string burst;
    for (int i = 0; i < fConfig.floodBurstLines + 40; ++i)
        burst += "GAMES \r\n";
    bob.SendRaw(burst);
    EXPECT_TRUE(bob.SkipTo("404 :too many lines; closing the connection").has_value());
    EXPECT_TRUE(bob.ClosedByServer());
    Forget(bob);
    EXPECT_EQ(alice.Next(), "702 bob");
    alice.Send("USERS");
    EXPECT_EQ(alice.Next(), "700 alice 1500");
}

TEST_F(BadInput, RandomBytesNeverBringTheServerDown)
{
    TestClient& alice = Player("alice");
    std::mt19937 random(1234);
    const char* starts[] = {"USER ",    "CREATE ",     "MAKE ",     "PLAY ",  "MOVE 1 ",
                            "OBSERVE ", "GAMEMSG 1 :", "PUBLMSG :", "ABORT ", ""};
    for (int round = 0; round < 20; ++round) {
        TestClient noise(fServer->Port());
        ASSERT_TRUE(noise.Connected());
        for (int line = 0; line < 30; ++line) {
            std::string bytes = starts[random() % 10];
            int length = static_cast<int>(random() % 40);
            for (int i = 0; i < length; ++i)
                bytes += static_cast<char>(random() % 256);
            bytes += random() % 4 == 0 ? "\n" : " \r\n";
            noise.SendRaw(bytes);
        }
    }
    // Another logged-in client full of noise.
    TestClient& bob = Player("bob");
    for (int line = 0; line < 40; ++line) {
        std::string bytes = starts[random() % 10];
        for (int i = 0; i < 20; ++i)
            bytes += static_cast<char>(' ' + random() % 95);
        bob.Send(bytes);
    }
    alice.Send("USERS");
    EXPECT_TRUE(alice.SkipTo("700 alice").has_value());
}

TEST_F(BadInput, TheClientsLinesAreTakenPieceByPiece)
{
    TestClient& alice = Guest();
    alice.SendRaw("CREATE al");
    std::this_thread::sleep_for(50ms);
    alice.SendRaw("ice secret \r");
    std::this_thread::sleep_for(50ms);
    alice.SendRaw("\nUSER alice secret \r\nUSERS \r\n");
    EXPECT_EQ(alice.Next(), "401 :account alice created");
    EXPECT_EQ(alice.Next(), "201 :welcome, alice");
    EXPECT_EQ(alice.Next(), "700 alice 1500") << "a line sent during the login waits for it";
}

namespace {

class SlowReader : public ServerFixture
{
protected:
    void Adjust(ServerConfig& config) override
    {
        config.maxQueuedBytes = 16 * 1024;
        config.floodLinesPerSecond = 0;
    }
};

} // namespace

TEST_F(SlowReader, IsDisconnectedWhenItsQueueOverflows)
{
    // A client with a tiny receive window that never reads.
    fClients.push_back(std::make_unique<TestClient>(fServer->Port(), 4096));
    TestClient& slow = *fClients.back();
    ASSERT_EQ(slow.Next(), "101 1.31 :Tolvar chess server");
    slow.Send("CREATE slow secret");
    ASSERT_EQ(slow.Next(), "401 :account slow created");
    slow.Send("USER slow secret");
    ASSERT_EQ(slow.Next(), "201 :welcome, slow");
    fLoggedIn.push_back(&slow);
    TestClient& alice = Player("alice");
    Forget(slow);

    const std::string text(390, 'z');
    bool gone = false;
    for (int batch = 0; batch < 400 && !gone; ++batch) {
        for (int i = 0; i < 10; ++i)
            alice.Send("PUBLMSG :" + text);
        for (int i = 0; i < 10 && !gone; ++i) {
            std::string line = alice.Next();
            if (line == "702 slow")
                gone = true;
            else
                ASSERT_EQ(line, "115 alice lobby :" + text);
        }
    }
    ASSERT_TRUE(gone) << "the slow reader was never dropped";
    alice.Send("USERS");
    std::string line;
    while ((line = alice.Next()).rfind("115 ", 0) == 0) {
    }
    EXPECT_EQ(line, "700 alice 1500");
}
