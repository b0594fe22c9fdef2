// The real tolvar-server program where a transcript cannot look: the time
// password checks take, a reader that stops reading, random bytes, and the
// files it keeps (private, and passwords only hashed).

#include "ServerHarness.h"

#include "server/AccountStore.h"
#include "server/PasswordHash.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <random>

using namespace tolvar::server;
using namespace tolvar::server::test;
using Clock = std::chrono::steady_clock;

namespace {

class Server : public ::testing::Test
{
protected:
    void Start(const std::vector<std::string>& sets)
    {
        std::vector<std::string> arguments;
        for (const std::string& set : sets)
            arguments.insert(arguments.end(), {"--set", set});
        fServer = std::make_unique<ServerProcess>(TOLVAR_SERVER_BINARY, arguments, fDir.File("log"),
                                                  fDir.File("s.db"));
        fPort = fServer->WaitForPort();
        ASSERT_NE(fPort, 0) << fServer->Log();
    }
    // Connected, greeted and, with a name, logged in to a new account.
    Peer& Client(const std::string& name = {}, const std::string& from = {}, int window = 0)
    {
        Peer& peer = *fPeers.emplace_back(std::make_unique<Peer>(fPort, from, window));
        EXPECT_EQ(peer.Next(), "101 1.31 :Tolvar chess server");
        if (!name.empty()) {
            peer.Send("CREATE " + name + " secret");
            EXPECT_EQ(peer.Next(), "401 :account " + name + " created");
            peer.Send("USER " + name + " secret");
            EXPECT_EQ(peer.Next(), "201 :welcome, " + name);
        }
        return peer;
    }

    TempDir fDir;
    std::unique_ptr<ServerProcess> fServer;
    std::uint16_t fPort = 0;
    std::vector<std::unique_ptr<Peer>> fPeers;
};

} // namespace

TEST_F(Server, ChecksOfClosedConnectionsAreDroppedAndTheWaitingOnesBounded)
{
    Start({"hash-cost=interactive", "hash-threads=1", "login-first-delay=1"});
    Client("alice");
    // Logins that hang up at once must not hold up those that stay.
    for (int i = 0; i < 8; ++i)
        Peer(fPort, "127.0.0.3").Send("USER alice wrong");
    // More from one address than may wait: the rest are told to come back.
    std::vector<Peer*> crowd;
    for (int i = 0; i < 14; ++i)
        crowd.push_back(&Client({}, "127.0.0.4"));
    for (std::size_t i = 0; i < crowd.size(); ++i)
        crowd[i]->Send("USER ghost" + std::to_string(i) + " wrong");
    int busy = 0;
    for (Peer* guess : crowd) {
        std::string answer = guess->Next();
        busy += answer == "503 :server busy; try again later";
        if (answer.rfind("503", 0) != 0) {
            EXPECT_EQ(answer, "403 :unknown name or wrong password");
        }
    }
    // Four checks are under way with one hashing thread, four may wait, and
    // one may have ended while the lines came in.
    EXPECT_GE(busy, 14 - 4 - 4 - 1);
    crowd.back()->Send("GAMES");
    EXPECT_EQ(crowd.back()->Next(), "404 :log in first") << "a busy answer keeps the connection";
    Peer& owner = Client({}, "127.0.0.2");
    owner.Send("USER alice secret");
    EXPECT_EQ(owner.Next(), "504 :alice is already logged in");
    std::string log = fServer->Log();
    int failures = 0;
    for (std::size_t at = 0; (at = log.find("failed login as alice", at)) != std::string::npos;
         ++at)
        ++failures;
    EXPECT_LE(failures, 4) << "checks of connections that had closed were run";
}

TEST_F(Server, AnUnknownNameTakesAsLongAsAWrongPassword)
{
    Start({"hash-cost=interactive"});
    std::string hash = HashPassword("secret", HashCost::Interactive()).value();
    Clock::duration oneHash = Clock::duration::max(), answer = oneHash;
    Peer& guest = Client();
    for (int i = 0; i < 2; ++i) {
        auto start = Clock::now();
        VerifyPassword(hash, "wrong");
        oneHash = std::min(oneHash, Clock::now() - start);
        start = Clock::now();
        guest.Send("USER nobody" + std::to_string(i) + " wrong");
        ASSERT_EQ(guest.Next(), "403 :unknown name or wrong password");
        answer = std::min(answer, Clock::now() - start);
    }
    EXPECT_GE(answer, oneHash / 5) << "an unknown name was answered without a hash";
}

TEST_F(Server, AReaderThatStopsIsCutOffAndNoiseNeverBringsTheServerDown)
{
    Start({"max-queued-bytes=16384", "flood-lines-per-second=0"});
    Peer& slow = Client("slow", {}, 4096); // a small window, and never read
    Peer& alice = Client("alice");
    const std::string text(390, 'z');
    std::string line;
    for (int batch = 0; batch < 400 && line != "702 slow"; ++batch) {
        for (int i = 0; i < 10; ++i)
            alice.Send("PUBLMSG :" + text);
        for (int i = 0; i < 10 && (line = alice.Next()) != "702 slow"; ++i)
            ASSERT_EQ(line, "115 alice lobby :" + text);
    }
    ASSERT_EQ(line, "702 slow");
    EXPECT_EQ(slow.Next(), "701 alice 1500");

    std::mt19937 random(1234);
    const char* starts[] = {"USER ", "CREATE ", "MAKE ", "PLAY ", "MOVE 1 ", "OBSERVE ", ""};
    for (int round = 0; round < 20; ++round) {
        Peer noise(fPort);
        for (int i = 0; i < 30; ++i) {
            std::string bytes = starts[random() % 7];
            for (int n = static_cast<int>(random() % 40); n > 0; --n)
                bytes += static_cast<char>(random() % 256);
            noise.SendRaw(bytes + (random() % 4 == 0 ? "\n" : " \r\n"));
        }
    }
    alice.Send("USERS");
    do
        line = alice.Next();
    while (line.rfind("115", 0) == 0);
    EXPECT_EQ(line, "700 alice 1500");
}

TEST_F(Server, ItsFilesArePrivateAndADatabaseItCannotWriteRefusesTheStart)
{
    ::chmod(fDir.Path().c_str(), 0755);
    // A log left readable by all, as a shell redirection makes it.
    std::ofstream(fDir.File("log")) << "old\n";
    ::chmod(fDir.File("log").c_str(), 0644);
    ServerProcess server(TOLVAR_SERVER_BINARY,
                         {"--port", "0", "--db", fDir.File("s.db"), "--log", fDir.File("log")},
                         fDir.File("log"));
    EXPECT_TRUE(server.Logged("listening on"));
    Peer alice(server.WaitForPort());
    alice.Send("CREATE alice secret");
    EXPECT_EQ(alice.Next(), "101 1.31 :Tolvar chess server");
    EXPECT_EQ(alice.Next(), "401 :account alice created");
    EXPECT_EQ(server.Stop(SIGTERM), 0);
    std::string error;
    Account stored;
    ASSERT_EQ(AccountStore::Open(fDir.File("s.db"), &error)->FindAccount("alice", &stored),
              AccountStore::Found::Yes);
    EXPECT_EQ(stored.passwordHash.rfind("$argon2id$", 0), 0u) << "only a hash is stored";
    for (const char* file : {"s.db", "log"}) {
        struct stat info
        {
        };
        ASSERT_EQ(::stat(fDir.File(file).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
    }
    ::chmod(fDir.File("s.db").c_str(), 0444);
    ServerProcess locked(TOLVAR_SERVER_BINARY, {"--port", "0", "--db", fDir.File("s.db")},
                         fDir.File("locked"), {}, true);
    EXPECT_EQ(locked.Stop(0), 1);
    EXPECT_TRUE(locked.Logged("cannot be written")) << locked.Log();
    EXPECT_EQ(ServerProcess(TOLVAR_SERVER_BINARY, {"--port", "x"}, fDir.File("x")).Stop(0), 2);
}
