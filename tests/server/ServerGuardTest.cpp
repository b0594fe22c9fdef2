// The server's defences around logging in: the hashing queue, the slowing
// down of guesses, unknown names that cost a hash, the cap on guests per
// address, and storage errors that are not wrong passwords.

#include "ServerFixture.h"

#include "server/EventLog.h"
#include "server/LoginThrottle.h"
#include "server/PasswordHash.h"

#include <sqlite3.h>

#include <algorithm>
#include <mutex>

using namespace tolvar::server;
using namespace tolvar::server::test;
using Clock = std::chrono::steady_clock;

namespace {

// A hash slow enough to measure, fast enough for a test: tens of milliseconds.
HashCost SlowHash()
{
    return {2, 16u << 20};
}

// Counts the log lines that contain `what`.
class LogCounter
{
public:
    explicit LogCounter(std::string what) : fWhat(std::move(what))
    {
        SetEventSink([this](const std::string& line) {
            std::lock_guard<std::mutex> guard(fLock);
            fCount += line.find(fWhat) != std::string::npos;
        });
    }
    ~LogCounter() { SetEventSink(nullptr); }
    int Count()
    {
        std::lock_guard<std::mutex> guard(fLock);
        return fCount;
    }

private:
    std::string fWhat;
    std::mutex fLock;
    int fCount = 0;
};

class Guard : public ServerFixture
{
protected:
    TestClient& From(const char* address)
    {
        fClients.push_back(std::make_unique<TestClient>(fServer->Port(), 0, address));
        TestClient& client = *fClients.back();
        EXPECT_EQ(client.Next(), "101 1.31 :Tolvar chess server");
        return client;
    }
};

class SlowHashing : public Guard
{
protected:
    void Adjust(ServerConfig& config) override
    {
        config.hashCost = SlowHash();
        config.hashThreads = 1;
        config.loginFirstDelay = std::chrono::milliseconds(1);
    }
};

} // namespace

TEST(LoginThrottle, DelaysDoubleFromTheThirdFailurePerAddressAndPerAccount)
{
    using namespace std::chrono_literals;
    LoginThrottle throttle(1s, 8s, 15min);
    auto t = Clock::now();
    auto wait = [&](const char* address, const char* account) {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   throttle.NotBefore(address, account, t) - t)
            .count();
    };
    // One address guessing at one account: free, free, then 1, 2, 4, 8, 8 s.
    const int delays[] = {0, 0, 1, 2, 4, 8, 8};
    for (int expected : delays) {
        throttle.Failed("a", "alice", t);
        EXPECT_EQ(wait("a", "alice"), expected);
    }
    EXPECT_EQ(wait("b", "alice"), 0) << "the owner elsewhere is not held back";
    EXPECT_EQ(wait("a", "bob"), 8) << "the guessing address is held back everywhere";
    throttle.Failed("b", "alice", t);
    EXPECT_EQ(wait("b", "alice"), 8) << "an address that failed on alice shares its delay";
    EXPECT_EQ(wait("b", "bob"), 0);

    throttle.Succeeded("alice");
    EXPECT_EQ(wait("b", "alice"), 0) << "a success forgets the account's failures";
    EXPECT_EQ(wait("a", "alice"), 8) << "but not the address's";

    t += 15min;
    EXPECT_EQ(wait("a", "alice"), 0) << "failures are forgotten after a while";
    throttle.Failed("a", "alice", t);
    EXPECT_EQ(wait("a", "alice"), 0) << "and counting starts over";

    // Too many addresses failing on one account hold everyone back.
    for (std::size_t i = 0; i <= LoginThrottle::kAddressesPerAccount; ++i)
        throttle.Failed("spread" + std::to_string(i), "carol", t);
    EXPECT_GT(wait("fresh", "carol"), 0);
}

TEST_F(SlowHashing, ChecksOfClosedConnectionsAreDroppedAndTheQueueIsBounded)
{
    Player("alice");
    LogCounter failures("failed login as alice");
    // Logins that hang up at once: none of them may hold up the queue.
    for (int i = 0; i < 8; ++i) {
        TestClient guess(fServer->Port(), 0, "127.0.0.3");
        guess.Send("USER alice wrong");
    }
    // More from one address than may wait: the rest are told to come back.
    std::vector<TestClient*> crowd;
    for (int i = 0; i < 10; ++i)
        crowd.push_back(&From("127.0.0.4"));
    for (std::size_t i = 0; i < crowd.size(); ++i)
        crowd[i]->Send("USER ghost" + std::to_string(i) + " wrong");
    int busy = 0;
    for (TestClient* guess : crowd) {
        std::string answer = guess->Next();
        busy += answer == "503 :server busy; try again later";
        if (answer != "503 :server busy; try again later") {
            EXPECT_EQ(answer, "403 :unknown name or wrong password");
        }
    }
    // Two checks are under way at a time with one hashing thread; one more
    // may have ended while the lines came in.
    EXPECT_GE(busy, 10 - 3 - fConfig.maxWaitingLoginsPerAddress);
    crowd.back()->Send("GAMES");
    EXPECT_EQ(crowd.back()->Next(), "404 :log in first") << "a busy answer keeps the connection";

    TestClient& honest = From("127.0.0.2");
    honest.Send("USER alice secret");
    EXPECT_EQ(honest.Next(), "504 :alice is already logged in");
    EXPECT_LE(failures.Count(), 2) << "checks of connections that had closed were run";
}

TEST_F(SlowHashing, AnUnknownNameTakesAsLongAsAWrongPassword)
{
    std::string hash = HashPassword("secret", SlowHash()).value();
    Clock::duration oneHash = Clock::duration::max();
    for (int i = 0; i < 3; ++i) {
        auto start = Clock::now();
        VerifyPassword(hash, "wrong");
        oneHash = std::min(oneHash, Clock::now() - start);
    }
    TestClient& guest = Guest();
    Clock::duration answer = Clock::duration::max();
    for (int i = 0; i < 3; ++i) {
        auto start = Clock::now();
        guest.Send("USER nobody" + std::to_string(i) + " wrong");
        ASSERT_EQ(guest.Next(), "403 :unknown name or wrong password");
        answer = std::min(answer, Clock::now() - start);
    }
    EXPECT_GE(answer, oneHash / 5) << "an unknown name was answered without a hash";
}

namespace {
class Guests : public Guard
{
protected:
    void Adjust(ServerConfig& config) override
    {
        config.maxGuestsPerAddress = 3;
        config.loginTimeout = std::chrono::milliseconds(400);
        config.loginFirstDelay = std::chrono::milliseconds(700);
    }
};
} // namespace

TEST_F(Guests, OneAddressCannotTakeEveryConnection)
{
    Player("alice"); // logged in: no longer a guest
    TestClient& first = Guest();
    Guest();
    Guest();
    TestClient extra(fServer->Port());
    EXPECT_EQ(extra.Next(), "404 :too many connections from your address; try again later");
    EXPECT_TRUE(extra.ClosedByServer());
    From("127.0.0.2");

    first.Send("CREATE bob secret");
    EXPECT_EQ(first.Next(), "401 :account bob created");
    first.Send("USER bob secret");
    EXPECT_EQ(first.Next(), "201 :welcome, bob");
    Guest(); // bob's place is free again
}

TEST_F(Guests, TheLoginTimeStopsWhileTheServerHoldsALoginBack)
{
    Player("alice");
    TestClient& guesser = Guest();
    for (int i = 0; i < 3; ++i) {
        guesser.Send("USER alice wrong" + std::to_string(i));
        EXPECT_EQ(guesser.Next(), "403 :unknown name or wrong password");
    }
    // Held back longer than the login time: the answer still comes, late.
    auto start = Clock::now();
    guesser.Send("USER alice wrong");
    TestClient& owner = From("127.0.0.2");
    owner.Send("USER alice secret");
    EXPECT_EQ(owner.Next(), "504 :alice is already logged in") << "not held back";
    EXPECT_EQ(guesser.Next(), "403 :unknown name or wrong password");
    EXPECT_GE(Clock::now() - start, fConfig.loginFirstDelay);
    EXPECT_EQ(guesser.Next(), "404 :no login in time; closing the connection");
}

using Storage = Guard;

TEST_F(Storage, AnUnreadableAccountTableIsNotAWrongPassword)
{
    Player("alice");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(fConfig.databasePath.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "ALTER TABLE accounts RENAME TO gone", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    TestClient& guest = Guest();
    guest.Send("USER alice secret");
    EXPECT_EQ(guest.Next(), "503 :the accounts cannot be read; try again later");
    guest.Send("USER alice secret");
    EXPECT_EQ(guest.Next(), "503 :the accounts cannot be read; try again later")
        << "not counted as a failed login, the connection goes on";
}
