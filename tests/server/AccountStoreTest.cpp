#include "server/AccountStore.h"

#include "TestServer.h"

#include <gtest/gtest.h>

using namespace tolvar::server;
using tolvar::server::test::TempDir;

namespace {

FinishedGame Game(std::int64_t id, std::int64_t white, std::int64_t black)
{
    FinishedGame game;
    game.id = id;
    game.whiteId = white;
    game.blackId = black;
    game.result = "0-1";
    game.reason = "Black mates. 0-1";
    game.moves = "F2F3 E7E5 G2G4 D8H4 ";
    game.whiteBefore = 1500;
    game.blackBefore = 1500;
    game.whiteAfter = 1484;
    game.blackAfter = 1516;
    return game;
}

} // namespace

TEST(AccountStore, NamesAreUniqueWithoutRegardToCase)
{
    TempDir dir;
    std::string error;
    auto store = AccountStore::Open(dir.File("s.db"), &error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->CreateAccount("Alice", "hash-a", 1500), AccountStore::Created::Yes);
    EXPECT_EQ(store->CreateAccount("alice", "hash-b", 1500), AccountStore::Created::NameTaken);
    EXPECT_EQ(store->CreateAccount("ALICE", "hash-c", 1500), AccountStore::Created::NameTaken);

    std::optional<Account> found = store->FindAccount("aLiCe");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "Alice") << "the name keeps the spelling it was created with";
    EXPECT_EQ(found->passwordHash, "hash-a");
    EXPECT_EQ(found->rating, 1500);
    EXPECT_FALSE(store->FindAccount("bob"));
}

TEST(AccountStore, AGameAndBothRatingsAreStoredTogether)
{
    TempDir dir;
    std::string error;
    auto store = AccountStore::Open(dir.File("s.db"), &error);
    ASSERT_TRUE(store) << error;
    store->CreateAccount("alice", "h", 1500);
    store->CreateAccount("bob", "h", 1500);
    std::int64_t alice = store->FindAccount("alice")->id;
    std::int64_t bob = store->FindAccount("bob")->id;
    EXPECT_EQ(store->HighestGameId(), 0);

    ASSERT_TRUE(store->RecordGame(Game(17, alice, bob))) << store->LastError();
    EXPECT_EQ(store->FindAccount("alice")->rating, 1484);
    EXPECT_EQ(store->FindAccount("bob")->rating, 1516);
    EXPECT_EQ(store->HighestGameId(), 17);
    std::optional<FinishedGame> stored = store->FindGame(17);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->moves, "F2F3 E7E5 G2G4 D8H4 ");
    EXPECT_EQ(stored->result, "0-1");

    // A game that cannot be stored (its id is taken) changes no rating.
    FinishedGame clash = Game(17, alice, bob);
    clash.whiteAfter = 1000;
    clash.blackAfter = 2000;
    EXPECT_FALSE(store->RecordGame(clash));
    EXPECT_EQ(store->FindAccount("alice")->rating, 1484);
    EXPECT_EQ(store->FindAccount("bob")->rating, 1516);

    // Nor does one naming an account that does not exist.
    EXPECT_FALSE(store->RecordGame(Game(18, alice, 999)));
    EXPECT_EQ(store->FindAccount("alice")->rating, 1484);
    EXPECT_FALSE(store->FindGame(18));
}

TEST(AccountStore, EverythingIsThereAfterReopening)
{
    TempDir dir;
    std::string error;
    {
        auto store = AccountStore::Open(dir.File("s.db"), &error);
        ASSERT_TRUE(store) << error;
        store->CreateAccount("alice", "h1", 1500);
        store->CreateAccount("bob", "h2", 1500);
        ASSERT_TRUE(store->RecordGame(
            Game(5, store->FindAccount("alice")->id, store->FindAccount("bob")->id)));
    }
    auto store = AccountStore::Open(dir.File("s.db"), &error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->FindAccount("alice")->rating, 1484);
    EXPECT_EQ(store->FindAccount("bob")->passwordHash, "h2");
    EXPECT_EQ(store->HighestGameId(), 5);
}

TEST(AccountStore, OpeningFailsWithAReason)
{
    TempDir dir;
    std::string error;
    EXPECT_FALSE(AccountStore::Open(dir.File("missing/dir/s.db"), &error));
    EXPECT_FALSE(error.empty());
}
