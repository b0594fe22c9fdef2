// What a transcript cannot show: the time password checks take, a reader
// that stops reading, the files the server keeps, and the pieces whose
// faults hide behind timing (output pacing, the login throttle) or behind a
// damaged database.

#include "ServerHarness.h"

#include "server/EventLog.h"
#include "server/LoginThrottle.h"
#include "server/OutputQueue.h"
#include "server/PasswordHash.h"
#include "server/ServerConfig.h"
#include "server/SqliteStorage.h"
#include "server/Storage.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <thread>

using namespace tolvar::server;
using namespace tolvar::server::test;

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
                                                  &fDatabase);
        fPort = fServer->WaitForPort();
        ASSERT_NE(fPort, 0) << fServer->Log();
    }
    // Connected, greeted and, with a name, logged in to a new account.
    Peer& Client(const std::string& name = {}, const std::string& from = {}, int window = 0)
    {
        Peer& peer = *fPeers.emplace_back(std::make_unique<Peer>(fPort, from, window));
        EXPECT_EQ(peer.Next(), "101 1.31 :Tolvar chess server");
        if (!name.empty()) {
            // Password checks may take seconds on a busy machine.
            peer.Send("CREATE " + name + " secret");
            EXPECT_EQ(peer.Next(30s), "401 :account " + name + " created");
            peer.Send("USER " + name + " secret");
            EXPECT_EQ(peer.Next(30s), "201 :welcome, " + name);
        }
        return peer;
    }

    TempDir fDir;
    TestDatabase fDatabase{fDir.File("s.db")};
    std::unique_ptr<ServerProcess> fServer;
    std::uint16_t fPort = 0;
    std::vector<std::unique_ptr<Peer>> fPeers;
};

std::string Line(std::size_t size, char fill)
{
    return std::string(size - 1, fill) + "\n";
}

// What one write of the queue sends.
std::string Take(OutputQueue& queue, OutputQueue::Clock::time_point now,
                 OutputQueue::Clock::duration* wait)
{
    std::string bytes;
    for (const OutputQueue::Piece& piece : queue.Take(now, wait))
        bytes += piece.View();
    return bytes;
}

} // namespace

TEST_F(Server, ChecksOfClosedConnectionsAreDroppedAndTheWaitingOnesBounded)
{
    Start(
        {"hash-cost=interactive", "hash-threads=1", "login-first-delay=1", "login-timeout=120000"});
    Client("alice");
    Client("bob");
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
        std::string answer = guess->Next(30s);
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
    // A crowd from many addresses guessing at one account turns no other
    // login away.
    for (int i = 1; i <= 40; ++i)
        Client({}, "127.0.1." + std::to_string(i)).Send("USER bob wrong");
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

TEST_F(Server, AReaderThatStopsIsCutOff)
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
}

TEST_F(Server, ServersSharingADatabaseKeepNamesAndGameIdsApart)
{
    if (!TestDatabase::Postgres())
        GTEST_SKIP() << "an SQLite file serves one server; shared only in PostgreSQL";
    Start({});
    ServerProcess second(TOLVAR_SERVER_BINARY, {}, fDir.File("second.log"), &fDatabase);
    Peer& alice = Client("alice");
    std::uint16_t first = fPort;
    fPort = second.WaitForPort();
    ASSERT_NE(fPort, 0) << second.Log();
    Peer& taken = Client();
    taken.Send("CREATE ALICE secret");
    EXPECT_EQ(taken.Next(30s), "402 :the name ALICE is taken");
    Peer& bob = Client("bob");
    // Challenges made on both at once, by turns: no id twice.
    std::set<std::string> ids;
    for (int i = 0; i < 3; ++i) {
        for (Peer* player : {&alice, &bob}) {
            player->Send("MAKE 1");
            std::string made = player->Next();
            ASSERT_EQ(made.rfind("118 ", 0), 0u) << made;
            EXPECT_TRUE(ids.insert(made.substr(4, made.find(' ', 4) - 4)).second) << made;
        }
    }
    fPort = first;
}

// Behind a load balancer, the client its PROXY header names counts for the
// limits by address; the line after the header is the client's. The
// balancer's own connections (to this node's address, or UNKNOWN) are
// greeted however full the server is; one without a header is closed.
TEST_F(Server, ABalancersClientsCountByTheAddressItNames)
{
    fServer = std::make_unique<ServerProcess>(
        TOLVAR_SERVER_BINARY,
        std::vector<std::string>{"--proxy-from", "127.0.0.1", "--set", "max-guests-per-address=1",
                                 "--set", "max-connections=3"},
        fDir.File("log"), &fDatabase);
    fPort = fServer->WaitForPort();
    ASSERT_NE(fPort, 0) << fServer->Log();
    const std::string greeting = "101 1.31 :Tolvar chess server";
    auto header = [](const std::string& from, int to) {
        return "PROXY TCP4 " + from + " 127.0.0.1 4000 " + std::to_string(to) + "\r\n";
    };
    Peer first(fPort), other(fPort), again(fPort), third(fPort), full(fPort), check(fPort),
        unknown(fPort), bare(fPort);
    first.SendRaw(header("10.0.0.7", 5000));
    EXPECT_EQ(first.Next(), greeting);
    // In two pieces, with the client's first line right behind it.
    std::string split = header("10.0.0.8", 5000) + "GAMES \r\n";
    other.SendRaw(split.substr(0, 16));
    std::this_thread::sleep_for(50ms);
    other.SendRaw(split.substr(16));
    EXPECT_EQ(other.Next(), greeting);
    EXPECT_EQ(other.Next(), "404 :log in first");
    again.SendRaw(header("10.0.0.7", 5000));
    EXPECT_EQ(again.Next(), "404 :too many connections from your address; try again later");
    third.SendRaw(header("10.0.0.9", 5000));
    EXPECT_EQ(third.Next(), greeting);
    full.SendRaw(header("10.0.0.10", 5000));
    EXPECT_EQ(full.Next(), "404 :server full; try again later");
    check.SendRaw(header("127.0.0.1", fPort));
    EXPECT_EQ(check.Next(), greeting);
    unknown.SendRaw("PROXY UNKNOWN\r\n");
    EXPECT_EQ(unknown.Next(), greeting);
    bare.Send("USER alice secret");
    EXPECT_EQ(bare.Next(), "<closed>");
    EXPECT_TRUE(fServer->Logged("connection from 10.0.0.7:4000")) << fServer->Log();
}

// A batch of changes to games in progress stored a second time, as when the
// answer to its commit was lost, leaves every game as if stored once. Of two
// servers taking the game up as they read it, one gets it.
TEST_F(Server, RunningChangesStoredTwiceCountOnceAndOneServerTakesAGameUp)
{
    ServerConfig config;
    const std::vector<std::string> where = fDatabase.Arguments();
    (where[0] == "--postgres" ? config.postgres : config.databasePath) = where[1];
    std::string error;
    std::unique_ptr<Storage> storage = OpenStorage(config, &error);
    ASSERT_TRUE(storage) << error;
    std::vector<StoredGame> stored;
    ASSERT_TRUE(storage->LoadRunningGames(&stored));
    StoredGame game;
    game.id = 7;
    game.whiteName = "alice";
    game.blackName = "bob";
    game.owner = "node1 1";
    using Kind = RunningChange::Kind;
    const std::vector<RunningChange> first = {
        {Kind::Start, game, {}, 0}, {Kind::Move, game, "E2E4", 1}, {Kind::Move, game, "E7E5", 2}};
    const std::vector<RunningChange> second = {{Kind::Move, game, "G1F3", 3}};
    for (const auto* batch : {&first, &first, &second, &second}) {
        ASSERT_TRUE(storage->StoreRunningChanges(*batch)) << storage->LastError();
    }
    ASSERT_TRUE(storage->LoadRunningGames(&stored));
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].moves, (std::vector<std::string>{"E2E4", "E7E5", "G1F3"}));
    std::vector<std::int64_t> taken;
    for (const char* owner : {"node2 5", "node3 9"}) {
        ASSERT_TRUE(storage->ClaimRunningGames(stored, owner, &taken)) << storage->LastError();
        EXPECT_EQ(taken,
                  (owner[4] == '2' ? std::vector<std::int64_t>{7} : std::vector<std::int64_t>{}));
    }
    ASSERT_TRUE(storage->LoadRunningGames(&stored));
    EXPECT_EQ(stored.back().owner, "node2 5");
}

TEST_F(Server, APostgresDatabaseThatCannotBeWrittenRefusesTheStart)
{
    if (!TestDatabase::Postgres())
        GTEST_SKIP() << "for an SQLite file, see ServerFiles";
    ASSERT_EQ(fDatabase.Run("DO $$ BEGIN EXECUTE format('ALTER DATABASE %I SET"
                            " default_transaction_read_only = on', current_database()); END $$"),
              "");
    ServerProcess locked(TOLVAR_SERVER_BINARY, {}, fDir.File("locked"), &fDatabase);
    EXPECT_EQ(locked.Stop(0), 1);
    EXPECT_TRUE(locked.Logged("cannot be written")) << locked.Log();
}

TEST(ServerFiles, ArePrivateAndADatabaseThatCannotBeWrittenRefusesTheStart)
{
    TempDir dir;
    ::chmod(dir.Path().c_str(), 0755);
    // A log left readable by all, as a shell redirection makes it.
    std::ofstream(dir.File("log")) << "old\n";
    ::chmod(dir.File("log").c_str(), 0644);
    ServerProcess server(TOLVAR_SERVER_BINARY,
                         {"--port", "0", "--db", dir.File("s.db"), "--log", dir.File("log")},
                         dir.File("log"));
    Peer alice(server.WaitForPort());
    alice.Send("CREATE alice secret");
    EXPECT_EQ(alice.Next(), "101 1.31 :Tolvar chess server");
    EXPECT_EQ(alice.Next(), "401 :account alice created");
    EXPECT_EQ(server.Stop(SIGTERM), 0);
    std::string error;
    Account stored;
    ASSERT_EQ(SqliteStorage::Open(dir.File("s.db"), &error)->FindAccount("alice", &stored),
              SqliteStorage::Found::Yes);
    EXPECT_EQ(stored.passwordHash.rfind("$argon2id$", 0), 0u) << "only a hash is stored";
    for (const char* file : {"s.db", "log"}) {
        struct stat info
        {
        };
        ASSERT_EQ(::stat(dir.File(file).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
    }
    ::chmod(dir.File("s.db").c_str(), 0444);
    ServerProcess locked(TOLVAR_SERVER_BINARY, {"--port", "0", "--db", dir.File("s.db")},
                         dir.File("locked"), nullptr, true);
    EXPECT_EQ(locked.Stop(0), 1);
    EXPECT_TRUE(locked.Logged("cannot be written")) << locked.Log();
}

TEST(ServerFiles, ADamagedDatabaseIsRefusedWithAReasonAndAnEmptyOneIsLogged)
{
    TempDir dir;
    std::string error;
    SqliteStorage::Open(dir.File("good.db"), &error)->CreateAccount("alice", "h", 1500);
    EXPECT_FALSE(SqliteStorage::Open(dir.File("missing/dir/s.db"), &error));
    std::ofstream(dir.File("text.db")) << "not a database at all, not even close to one.....";
    EXPECT_FALSE(SqliteStorage::Open(dir.File("text.db"), &error));
    EXPECT_NE(error.find("not a database"), std::string::npos) << error;
    // The pages after the first overwritten: the header is fine.
    std::filesystem::copy_file(dir.File("good.db"), dir.File("torn.db"));
    std::fstream(dir.File("torn.db"), std::ios::in | std::ios::out | std::ios::binary)
        .seekp(4096)
        .write(std::string(2 * 4096, '\x7f').data(), 2 * 4096);
    EXPECT_FALSE(SqliteStorage::Open(dir.File("torn.db"), &error));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;

    std::ofstream(dir.File("empty.db")).flush();
    std::vector<std::string> log;
    SetEventSink([&](const std::string& line) { log.push_back(line); });
    EXPECT_TRUE(SqliteStorage::Open(dir.File("empty.db"), &error)) << error;
    SetEventSink(nullptr);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("is empty"), std::string::npos) << log[0];
}

TEST(OutputQueue, PacedWritesHoldWholeLinesAndTheBoundCountsWhatWaits)
{
    OutputQueue queue(999, 100ms, 2100);
    auto t0 = OutputQueue::Clock::now();
    OutputQueue::Clock::duration wait;
    // Own lines and a piece of shared text, 300 bytes a line.
    auto shared = std::make_shared<const std::string>(Line(300, 'b') + Line(300, 'c'));
    ASSERT_TRUE(queue.Push(Line(300, 'a')));
    ASSERT_TRUE(queue.Push(OutputQueue::Piece{shared, 0, shared->size()}));
    ASSERT_TRUE(queue.Push(Line(300, 'd')));
    EXPECT_FALSE(queue.Push(Line(1000, 'x'))) << "beyond the bound";
    ASSERT_TRUE(queue.Push(OutputQueue::Piece{shared, 300, shared->size()}));
    EXPECT_EQ(Take(queue, t0, &wait), Line(300, 'a') + Line(300, 'b') + Line(300, 'c'));
    EXPECT_TRUE(Take(queue, t0 + 40ms, &wait).empty());
    EXPECT_EQ(wait, 60ms) << "room again when the first write leaves the interval";
    ASSERT_TRUE(queue.Push(Line(1500, 'e'))) << "what was taken no longer counts";
    EXPECT_EQ(Take(queue, t0 + 100ms, &wait), Line(300, 'd') + Line(300, 'c'));
    EXPECT_TRUE(Take(queue, t0 + 150ms, &wait).empty());
    EXPECT_EQ(Take(queue, t0 + 200ms, &wait), Line(1500, 'e'))
        << "a line longer than a burst goes alone once the interval is clear";
    EXPECT_TRUE(queue.Empty());
}

TEST(LoginThrottle, DelaysDoubleFromTheThirdFailurePerAddressAndPerAccount)
{
    LoginThrottle throttle(1s, 8s, 15min);
    auto t = LoginThrottle::Clock::now();
    auto wait = [&](const char* address, const char* account) {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   throttle.NotBefore(address, account, t) - t)
            .count();
    };
    // One address guessing at one account: free, free, then 1, 2, 4, 8, 8 s.
    for (int expected : {0, 0, 1, 2, 4, 8, 8}) {
        throttle.Failed("a", "alice", t);
        EXPECT_EQ(wait("a", "alice"), expected);
    }
    EXPECT_EQ(wait("b", "alice"), 0) << "the owner elsewhere is not held back";
    EXPECT_EQ(wait("a", "bob"), 8) << "the guessing address is held back everywhere";
    throttle.Failed("b", "alice", t);
    EXPECT_EQ(wait("b", "alice"), 8) << "an address that failed on alice shares its delay";
    throttle.Succeeded("home", "carol");
    throttle.Succeeded("b", "alice");
    EXPECT_EQ(wait("b", "alice"), 0) << "a success forgets the account's failures";
    EXPECT_EQ(wait("a", "alice"), 8) << "but not the address's";
    t += 15min;
    EXPECT_EQ(wait("a", "alice"), 0) << "failures are forgotten after a while";
    // Too many addresses failing on one account hold everyone back, but
    // where the owner logged in before.
    for (std::size_t i = 0; i <= LoginThrottle::kAddressesPerAccount; ++i)
        throttle.Failed("spread" + std::to_string(i), "carol", t);
    EXPECT_GT(wait("fresh", "carol"), 0);
    EXPECT_EQ(wait("home", "carol"), 0);
}
