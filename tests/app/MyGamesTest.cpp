#include "app/MyGames.h"
#include "app/GameWindowBase.h"

#include <gtest/gtest.h>

namespace {

// Without an application loop a window's messages are handled at once,
// which lets the test see the close request arrive.
struct FakeWindow : GameWindowBase
{
    explicit FakeWindow(std::string id) : fId(std::move(id)) {}
    int closeRequests = 0;
    bool removeSelf = true;
    bool QuitRequested() override
    {
        ++closeRequests;
        if (removeSelf)
            MyGames::Instance()->RemoveGameReference(fId);
        return true;
    }
    void Show() override {}
    std::string GameID() const override { return fId; }
    game* Game() const override { return nullptr; }
    void MakeMove(char*, bool) override {}
    void SetStatus(const std::string&) override {}
    void SetWinner(const std::string&) override {}
    void SetWhoIsWinner(const std::string&) override {}
    void SetWhitePlayer(const std::string&) override {}
    void SetBlackPlayer(const std::string&) override {}
    void GameGone(const std::string&) override {}
    std::string fId;
};

} // namespace

TEST(MyGames, LookupOfAnUnknownIdIsNullAndCreatesNothing)
{
    MyGames* games = MyGames::Instance();
    EXPECT_EQ(games->GetGameReference("12"), nullptr);
    EXPECT_EQ(games->CountGames(), 0);
}

TEST(MyGames, ASecondWindowUnderTheSameIdReplacesTheFirst)
{
    MyGames* games = MyGames::Instance();
    FakeWindow first("12"), second("12");
    games->AddGameReference("12", &first);
    games->AddGameReference("12", &second);
    EXPECT_EQ(games->GetGameReference("12"), &second);
    EXPECT_EQ(games->CountGames(), 1);
    games->RemoveGameReference("12");
    EXPECT_EQ(games->GetGameReference("12"), nullptr);
    games->RemoveGameReference("12"); // nothing left to remove
    EXPECT_EQ(games->CountGames(), 0);
}

TEST(MyGames, RemoveAllGamesAsksEveryWindowToCloseAndEmptiesAtOnce)
{
    MyGames* games = MyGames::Instance();
    FakeWindow a("1"), b("2"), c("10");
    games->AddGameReference("1", &a);
    games->AddGameReference("2", &b);
    games->AddGameReference("10", &c);
    games->RemoveAllGames();
    EXPECT_EQ(games->CountGames(), 0);
    EXPECT_EQ(a.closeRequests, 1);
    EXPECT_EQ(b.closeRequests, 1);
    EXPECT_EQ(c.closeRequests, 1);
    EXPECT_EQ(games->GetGameReference("2"), nullptr);
}

TEST(MyGames, StartedCounterOnlyGrows)
{
    MyGames* games = MyGames::Instance();
    EXPECT_EQ(games->NumStarted(), 0);
    games->AddStarted();
    games->AddStarted();
    FakeWindow a("5");
    games->AddGameReference("5", &a);
    games->RemoveAllGames(); // a logout does not reset the counter
    EXPECT_EQ(games->NumStarted(), 2);
}
