#include "ServerFixture.h"

#include <algorithm>
#include <thread>

using namespace tolvar::server;
using namespace tolvar::server::test;

namespace {

// Reads as the client does: at most 999 bytes per read with a 50 ms pause
// after each, keeping only the complete lines of each read (the client
// drops a partial last line and any read that begins with a line end).
std::vector<std::string> ReadLikeTheClient(TestClient& client, std::size_t wanted,
                                           std::vector<std::string>* chunks)
{
    std::vector<std::string> lines;
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (lines.size() < wanted && std::chrono::steady_clock::now() < deadline) {
        std::string chunk = client.ReadChunk(999, 1s);
        if (chunk.empty())
            break;
        chunks->push_back(chunk);
        std::size_t pos = 0;
        if (chunk[0] != '\n' && chunk[0] != '\r') {
            for (std::size_t lf; (lf = chunk.find('\n', pos)) != std::string::npos; pos = lf + 1)
                lines.push_back(chunk.substr(pos, lf - pos));
        }
        std::this_thread::sleep_for(50ms);
    }
    return lines;
}

class Pacing : public ServerFixture
{
protected:
    void Adjust(ServerConfig& config) override
    {
        // Wider than the default, so that a busy test machine cannot make
        // two bursts meet in one read of the reader below.
        config.paceInterval = std::chrono::milliseconds(200);
    }
};

using NoPacing = ServerFixture;

// Twenty chat lines of 120 bytes: 2400 bytes for every listener at once.
void Chatter(TestClient& talker, std::vector<std::string>* expected)
{
    for (int i = 0; i < 20; ++i) {
        std::string text = "line " + std::to_string(100 + i) + " " + std::string(93, '.');
        talker.Send("PUBLMSG :" + text);
        expected->push_back("115 alice lobby :" + text);
    }
}

} // namespace

TEST_F(Pacing, AClientThatReadsLikeOursGetsEveryLineOfABurst)
{
    TestClient& reader = Player("reader");
    TestClient& alice = Player("alice");
    std::vector<std::string> expected;
    Chatter(alice, &expected);
    std::vector<std::string> chunks;
    std::vector<std::string> lines = ReadLikeTheClient(reader, expected.size(), &chunks);
    EXPECT_EQ(lines, expected);
    EXPECT_GE(chunks.size(), 3u) << "2400 bytes need at least three reads";
    for (const std::string& chunk : chunks)
        EXPECT_EQ(chunk.back(), '\n') << "every write ends on a line end";
}

TEST_F(NoPacing, WithoutPacingSuchAClientLosesLines)
{
    // Shows what the pacing above is for.
    TestClient& reader = Player("reader");
    TestClient& alice = Player("alice");
    std::vector<std::string> expected;
    Chatter(alice, &expected);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(alice.Next(), expected[static_cast<std::size_t>(i)]);
    std::vector<std::string> chunks;
    std::vector<std::string> lines = ReadLikeTheClient(reader, expected.size(), &chunks);
    std::size_t intact = 0;
    for (const std::string& line : lines)
        intact += std::count(expected.begin(), expected.end(), line);
    EXPECT_LT(intact, expected.size());
}

namespace {
class Crowded : public ServerFixture
{
protected:
    void Adjust(ServerConfig& config) override { config.maxConnections = 3; }
};
} // namespace

TEST_F(Crowded, ConnectionsPastTheLimitAreTurnedAway)
{
    TestClient& alice = Player("alice");
    Guest();
    Guest();
    TestClient extra(fServer->Port());
    EXPECT_EQ(extra.Next(), "404 :server full; try again later");
    EXPECT_TRUE(extra.ClosedByServer());
    alice.Send("USERS");
    EXPECT_EQ(alice.Next(), "700 alice 1500");
}

namespace {
class BigLobby : public ServerFixture
{
protected:
    void Adjust(ServerConfig& config) override
    {
        config.maxQueuedBytes = 16 * 1024;
        config.maxOpenChallenges = 1000;
        config.maxGamesPerUser = 1000;
        config.floodLinesPerSecond = 0;
    }
};
} // namespace

TEST_F(BigLobby, ListsLongerThanTheOutputBoundStillReachTheClient)
{
    TestClient& alice = Player("alice");
    std::vector<std::string> games;
    for (int i = 1; i <= 300; ++i) {
        std::string description = std::to_string(i) + std::string(96, '.');
        alice.Send("MAKE 1 :" + description);
        games.push_back("118 " + std::to_string(i) + " 0 1 alice :" + description);
        ASSERT_EQ(alice.Next(), games.back());
    }
    TestClient& bob = Player("bob");
    bob.Send("GAMES");
    bob.Send("USERS");
    for (const std::string& line : games)
        ASSERT_EQ(bob.Next(), line);
    EXPECT_EQ(bob.Next(), "700 alice 1500");
    EXPECT_EQ(bob.Next(), "700 bob 1500");
    EXPECT_TRUE(bob.Silent());
}
