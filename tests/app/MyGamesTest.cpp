#include "app/MyGames.h"
#include "support/FakeWindows.h"

#include <gtest/gtest.h>

TEST(MyGames, TheRegistryMapsIdsToWindowsAndClosesThemAll)
{
    MyGames* games = MyGames::Instance();
    games->ResetForTests();
    CallLog log;
    EXPECT_EQ(games->GetGameReference("12"), nullptr);
    EXPECT_EQ(games->CountGames(), 0);

    // A second window under an id replaces the first.
    FakeGameWindow first("12", nullptr, log), second("12", nullptr, log);
    EXPECT_EQ(games->GetGameReference("12"), &second);
    FakeGameWindow a("1", nullptr, log), b("2", nullptr, log);
    EXPECT_EQ(games->GetGameReference("1"), &a);
    EXPECT_EQ(games->GetGameReference("11"), nullptr);
    EXPECT_EQ(games->CountGames(), 3);

    // Without an application loop a close request is handled at once; the
    // registry is empty whatever the windows do. A logout keeps the count of
    // games started.
    b.leaveOnClose = false;
    games->AddStarted();
    games->AddStarted();
    games->RemoveAllGames();
    EXPECT_EQ(games->CountGames(), 0);
    EXPECT_EQ(log.Calls(),
              (std::vector<std::string>{"1 QuitRequested", "12 QuitRequested", "2 QuitRequested"}));
    EXPECT_EQ(games->NumStarted(), 2);

    games->AddWatchRequest("9");
    EXPECT_FALSE(games->TakeWatchRequest("8"));
    EXPECT_TRUE(games->TakeWatchRequest("9"));
    EXPECT_FALSE(games->TakeWatchRequest("9"));
    games->AddWatchRequest("9");
    games->ClearWatchRequests();
    EXPECT_FALSE(games->TakeWatchRequest("9"));
    games->ResetForTests();
}
