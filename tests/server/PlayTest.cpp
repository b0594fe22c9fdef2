// Game clocks step by step; a database of the schema before timed games, opened.

#include "ServerHarness.h"

#include "server/GameClock.h"
#include "server/ProxyHeader.h"
#include "server/SqliteStorage.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace tolvar::server;
using tolvar::server::test::TempDir;

TEST(GameClock, FirstMovesFreeThenIncrementsAndTheDeadline)
{
    using Ms = std::chrono::milliseconds;
    const GameClock::Clock::time_point t0;
    struct Step
    {
        Side mover;
        int atMs;
        std::int64_t white, black;
        int running; // -1 none
    };
    const Step steps[] = {
        {Side::White, 1000, 60000, 60000, -1},
        {Side::Black, 5000, 60000, 60000, 1},
        {Side::White, 15000, 52000, 60000, 0},
        {Side::Black, 16000, 52000, 61000, 1},
    };
    for (int scale : {1, 100}) {
        GameClock clock(TimeControl{1, 2}, scale);
        int ply = 0;
        for (const Step& step : steps) {
            auto at = t0 + Ms(step.atMs) / scale;
            clock.Moved(step.mover, ++ply, at);
            EXPECT_EQ(clock.Left(Side::White, at), step.white) << scale << " " << ply;
            EXPECT_EQ(clock.Left(Side::Black, at), step.black) << scale << " " << ply;
            EXPECT_EQ(clock.Running() ? static_cast<int>(*clock.Running()) : -1, step.running);
        }
        auto deadline = t0 + Ms(16000 + 52000) / scale;
        EXPECT_EQ(clock.Deadline(), deadline) << scale;
        EXPECT_EQ(clock.Left(Side::White, deadline - Ms(1)), scale) << "running down";
        EXPECT_EQ(clock.Left(Side::White, deadline + Ms(5)), 0) << "never below zero";
        EXPECT_EQ(clock.MoveTimes(), "60000 60000 52000 61000");
        clock.Stop(deadline - Ms(10));
        EXPECT_FALSE(clock.Running());
        EXPECT_EQ(clock.Left(Side::White, deadline + Ms(5)), 10 * scale) << "stopped";
    }
}

TEST(AccountStore, AnEarlierDatabaseIsTakenOverWithItsGamesUntimed)
{
    TempDir dir;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("old.db").c_str(), &db), SQLITE_OK);
    const char* old = R"sql(
        CREATE TABLE accounts (id INTEGER PRIMARY KEY, name TEXT NOT NULL, name_key TEXT NOT NULL
            UNIQUE, password_hash TEXT NOT NULL, rating INTEGER NOT NULL, created_at INTEGER);
        CREATE TABLE games (id INTEGER PRIMARY KEY, white_id INTEGER, black_id INTEGER, result TEXT,
            reason TEXT, moves TEXT, white_rating_before INTEGER, black_rating_before INTEGER,
            white_rating_after INTEGER, black_rating_after INTEGER, ended_at INTEGER);
        INSERT INTO accounts VALUES (1, 'alice', 'a', 'h', 1500, 0), (2, 'bob', 'b', 'h', 1500, 0);
        INSERT INTO games VALUES (7, 1, 2, '1-0', 'mate', '', 1500, 1500, 1516, 1484, 0);
        CREATE TABLE running_games (id INTEGER PRIMARY KEY, description TEXT NOT NULL, white_id
            INTEGER NOT NULL, white_name TEXT NOT NULL, black_id INTEGER NOT NULL, black_name TEXT
            NOT NULL, moves TEXT NOT NULL, minutes INTEGER NOT NULL, seconds INTEGER NOT NULL,
            white_ms INTEGER NOT NULL, black_ms INTEGER NOT NULL);
        INSERT INTO running_games VALUES (9, '', 1, 'alice', 2, 'bob', 'E2E4 ', 0, 0, 0, 0);
        PRAGMA user_version=1;)sql";
    ASSERT_EQ(sqlite3_exec(db, old, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    for (int opening = 0; opening < 2; ++opening) {
        std::string error;
        auto store = SqliteStorage::Open(dir.File("old.db"), &error);
        ASSERT_TRUE(store) << error;
        auto kept = store->FindGame(7);
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->minutes + kept->seconds, 0);
        EXPECT_EQ(kept->moveTimes, "");
        // A game in progress of then is nobody's, and can be taken up.
        std::vector<StoredGame> running;
        std::vector<std::int64_t> taken;
        ASSERT_TRUE(store->LoadRunningGames(&running)) << store->LastError();
        ASSERT_EQ(running.size(), 1u);
        EXPECT_EQ(running[0].owner, opening == 0 ? "" : "node1 1");
        ASSERT_TRUE(store->ClaimRunningGames(running, "node1 1", &taken));
        EXPECT_EQ(taken, std::vector<std::int64_t>{9});
        if (opening == 1)
            continue;
        FinishedGame timed;
        timed.id = 8, timed.whiteId = 2, timed.blackId = 1, timed.whiteScore = 0.0;
        timed.reason = "White forfeits on time. 0-1";
        timed.minutes = 3;
        timed.seconds = 2;
        timed.moveTimes = "180000 180000";
        ASSERT_TRUE(store->RecordGame(timed)) << store->LastError();
        auto stored = store->FindGame(8);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->reason, timed.reason);
        EXPECT_EQ(std::tie(stored->minutes, stored->seconds, stored->moveTimes),
                  std::tie(timed.minutes, timed.seconds, timed.moveTimes));
    }
}

TEST(ProxyHeader, NamesTheClientOrNobodyOrIsRefused)
{
    struct Row
    {
        const char* line;
        bool ok;
        const char* address; // nullptr: the balancer's own connection
        int port;
    };
    const Row rows[] = {
        {"PROXY TCP4 203.0.113.7 192.0.2.1 51234 5000", true, "203.0.113.7", 51234},
        {"PROXY TCP6 2001:db8::7 2001:db8::1 443 5000", true, "2001:db8::7", 443},
        {"PROXY UNKNOWN", true, nullptr, 0},
        {"PROXY UNKNOWN 1.2.3.4 5.6.7.8 1 2", true, nullptr, 0},
        {"PROXY TCP6 203.0.113.7 192.0.2.1 1 2", false, nullptr, 0},
        {"PROXY TCP4 203.0.113.7 192.0.2.1 65536 5000", false, nullptr, 0},
        {"PROXY TCP4 203.0.113.7 192.0.2.1 1 x", false, nullptr, 0},
        {"PROXY TCP4 203.0.113 192.0.2.1 1 2", false, nullptr, 0},
        {"PROXY TCP4 203.0.113.7 nowhere 1 2", false, nullptr, 0},
        {"PROXY TCP4 203.0.113.7 192.0.2.1 1", false, nullptr, 0},
        {"USER alice secret", false, nullptr, 0},
    };
    for (const Row& row : rows) {
        std::optional<ProxiedPeer> peer;
        EXPECT_EQ(ParseProxyHeader(row.line, &peer), row.ok) << row.line;
        ASSERT_EQ(peer.has_value(), row.address != nullptr) << row.line;
        if (peer) {
            EXPECT_EQ(std::tie(peer->address, peer->port), std::tie(row.address, row.port))
                << row.line;
        }
    }
}
