#include "server/AccountStore.h"
#include "server/EventLog.h"

#include "TestServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace tolvar::server;
using tolvar::server::test::TempDir;

namespace {

std::optional<Account> Find(AccountStore& store, const char* name)
{
    Account account;
    if (store.FindAccount(name, &account) != AccountStore::Found::Yes)
        return std::nullopt;
    return account;
}

FinishedGame Game(std::int64_t id, std::int64_t white, std::int64_t black, double whiteScore)
{
    FinishedGame game;
    game.id = id;
    game.whiteId = white;
    game.blackId = black;
    game.result = "-";
    game.reason = "test";
    game.moves = "F2F3 E7E5 G2G4 D8H4 ";
    game.whiteScore = whiteScore;
    return game;
}

void Overwrite(const std::string& path, long offset, const std::string& bytes)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(offset);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

TEST(AccountStore, NamesAreUniqueWithoutRegardToCaseAndTheFileIsPrivate)
{
    TempDir dir;
    std::string error;
    auto store = AccountStore::Open(dir.File("s.db"), &error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->CreateAccount("Alice", "hash-a", 1500), AccountStore::Created::Yes);
    EXPECT_EQ(store->CreateAccount("alice", "hash-b", 1500), AccountStore::Created::NameTaken);
    EXPECT_EQ(store->CreateAccount("ALICE", "hash-c", 1500), AccountStore::Created::NameTaken);

    std::optional<Account> found = Find(*store, "aLiCe");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "Alice") << "the name keeps the spelling it was created with";
    EXPECT_EQ(found->passwordHash, "hash-a");
    Account none;
    EXPECT_EQ(store->FindAccount("bob", &none), AccountStore::Found::No);

    struct stat info
    {
    };
    ASSERT_EQ(::stat(dir.File("s.db").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AccountStore, EachGameRatesFromTheStoredRatingsAndFailuresChangeNothing)
{
    TempDir dir;
    std::string error;
    {
        auto store = AccountStore::Open(dir.File("s.db"), &error);
        ASSERT_TRUE(store) << error;
        store->CreateAccount("alice", "h", 1500);
        store->CreateAccount("bob", "h", 1500);
        std::int64_t alice = Find(*store, "alice")->id;
        std::int64_t bob = Find(*store, "bob")->id;
        EXPECT_EQ(store->HighestGameId(), 0);

        FinishedGame first = Game(17, alice, bob, 0.0);
        ASSERT_TRUE(store->RecordGame(first)) << store->LastError();
        EXPECT_EQ(first.whiteAfter, 1484);
        EXPECT_EQ(first.blackAfter, 1516);
        // Bob, now stronger, is White and draws: he loses a point and a half.
        FinishedGame second = Game(18, bob, alice, 0.5);
        ASSERT_TRUE(store->RecordGame(second)) << store->LastError();
        EXPECT_EQ(second.whiteBefore, 1516);
        EXPECT_EQ(second.whiteAfter, 1515);
        EXPECT_EQ(second.blackAfter, 1485);

        FinishedGame clash = Game(17, alice, bob, 1.0); // the id is taken
        EXPECT_FALSE(store->RecordGame(clash));
        FinishedGame stranger = Game(19, alice, 999, 1.0); // no such account
        EXPECT_FALSE(store->RecordGame(stranger));
    }
    auto store = AccountStore::Open(dir.File("s.db"), &error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(Find(*store, "alice")->rating, 1485);
    EXPECT_EQ(Find(*store, "bob")->rating, 1515);
    EXPECT_EQ(store->HighestGameId(), 18);
    EXPECT_EQ(store->FindGame(17)->moves, "F2F3 E7E5 G2G4 D8H4 ");
    EXPECT_FALSE(store->FindGame(19));
}

TEST(AccountStore, ADatabaseItCannotKeepIsRefusedWithAReason)
{
    TempDir dir;
    std::string error;
    {
        auto store = AccountStore::Open(dir.File("good.db"), &error);
        ASSERT_TRUE(store) << error;
        for (int i = 0; i < 3; ++i)
            store->CreateAccount("user" + std::to_string(i), "h", 1500);
    }
    EXPECT_FALSE(AccountStore::Open(dir.File("missing/dir/s.db"), &error));

    std::ofstream(dir.File("text.db")) << "not a database at all, not even close to one.....";
    EXPECT_FALSE(AccountStore::Open(dir.File("text.db"), &error));
    EXPECT_NE(error.find("not a database"), std::string::npos) << error;

    // A page in the middle of the accounts overwritten: the header is fine.
    std::filesystem::copy_file(dir.File("good.db"), dir.File("torn.db"));
    Overwrite(dir.File("torn.db"), 4096, std::string(2 * 4096, '\x7f'));
    EXPECT_FALSE(AccountStore::Open(dir.File("torn.db"), &error));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;

    if (::geteuid() != 0) { // the superuser writes anything
        std::filesystem::copy_file(dir.File("good.db"), dir.File("locked.db"));
        ::chmod(dir.File("locked.db").c_str(), 0400);
        EXPECT_FALSE(AccountStore::Open(dir.File("locked.db"), &error));
        EXPECT_NE(error.find("cannot be written"), std::string::npos) << error;
    }

    // An empty file becomes a new database, and the log says so.
    std::ofstream(dir.File("empty.db")).flush();
    std::vector<std::string> log;
    SetEventSink([&](const std::string& line) { log.push_back(line); });
    auto store = AccountStore::Open(dir.File("empty.db"), &error);
    SetEventSink(nullptr);
    EXPECT_TRUE(store) << error;
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("is empty"), std::string::npos) << log[0];
}
