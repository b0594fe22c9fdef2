#include "server/ChessGame.h"

#include "cgc/cgc.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tolvar::server;

namespace {

Seat Player(const char* key)
{
    return Seat{key, key, 1, true};
}

// A running game: alice White, bob Black.
std::unique_ptr<ChessGame> Running()
{
    auto game = std::make_unique<ChessGame>(1, "test", Side::White, Player("alice"));
    game->Join(Player("bob"));
    return game;
}

// Plays moves that must all be accepted; returns the last verdict.
MoveVerdict PlayAll(ChessGame& game, std::initializer_list<const char*> moves)
{
    MoveVerdict verdict{0, {}};
    for (const char* move : moves) {
        verdict = game.Move(move);
        EXPECT_GE(verdict.code, 0) << move;
    }
    return verdict;
}

} // namespace

TEST(ChessGame, SeatsFillFromOpenToRunning)
{
    ChessGame game(7, "desc", Side::Black, Player("alice"));
    EXPECT_EQ(game.State(), GameState::Open);
    EXPECT_EQ(game.SeatOf(Side::Black).name, "alice");
    EXPECT_TRUE(game.SeatOf(Side::White).name.empty());
    EXPECT_EQ(game.Move("E2E4").code, CGC_NO_GAME) << "no moves before both seats are taken";

    EXPECT_FALSE(game.Join(Player("alice"))) << "nobody plays against themselves";
    EXPECT_TRUE(game.Join(Player("bob")));
    EXPECT_EQ(game.State(), GameState::Running);
    EXPECT_EQ(game.SeatOf(Side::White).name, "bob");
    EXPECT_EQ(game.SideOf("bob"), Side::White);
    EXPECT_EQ(game.SideOf("alice"), Side::Black);
    EXPECT_FALSE(game.SideOf("carol"));
    EXPECT_FALSE(game.Join(Player("carol"))) << "a running game is full";
}

TEST(ChessGame, TurnsAlternateAndRefusedMovesChangeNothing)
{
    auto owned = Running();
    ChessGame& game = *owned;
    EXPECT_EQ(game.ToMove(), Side::White);
    EXPECT_LT(game.Move("E2E5").code, 0);
    EXPECT_LT(game.Move("E7E5").code, 0) << "a black pawn while White is to move";
    EXPECT_EQ(game.Ply(), 0);
    EXPECT_EQ(game.Move("E2E4").move, "E2E4");
    EXPECT_EQ(game.ToMove(), Side::Black);
    EXPECT_FALSE(game.BothSidesMoved());
    EXPECT_EQ(game.Move("e7e5").move, "E7E5") << "lower case is raised";
    EXPECT_TRUE(game.BothSidesMoved());
    EXPECT_EQ(game.MoveList(), "E2E4 E7E5 ");
}

TEST(ChessGame, MovesAreRecordedAsApplied)
{
    struct Case
    {
        const char* what;
        std::initializer_list<const char*> before;
        const char* move;
        const char* applied;
    };
    const Case cases[] = {
        {"castling is rewritten to coordinates",
         {"E2E4", "E7E5", "G1F3", "B8C6", "F1C4", "G8F6"},
         "O-O",
         "E1G1"},
        {"a letter after an ordinary move is dropped", {}, "E2E4Q", "E2E4"},
        {"the black side castles queenside",
         {"D2D4", "D7D5", "C2C4", "B8C6", "B1C3", "C8F5", "G1F3", "D8D7", "E2E3"},
         "O-O-O",
         "E8C8"},
    };
    for (const Case& c : cases) {
        auto owned = Running();
        ChessGame& game = *owned;
        PlayAll(game, c.before);
        MoveVerdict verdict = game.Move(c.move);
        EXPECT_GE(verdict.code, 0) << c.what;
        EXPECT_EQ(verdict.move, c.applied) << c.what;
        EXPECT_EQ(game.Moves().back(), c.applied) << c.what;
    }
}

TEST(ChessGame, PromotionNeedsAndKeepsItsLetter)
{
    auto owned = Running();
    ChessGame& game = *owned;
    PlayAll(game, {"H2H4", "G7G5", "H4G5", "H7H6", "G5H6", "G8F6", "H6H7", "F6G8"});
    EXPECT_EQ(game.Move("H7G8").code, CGC_NEED_PROMOTION);
    MoveVerdict verdict = game.Move("H7G8N");
    EXPECT_GE(verdict.code, 0);
    EXPECT_EQ(verdict.move, "H7G8N");
}

TEST(ChessGame, OverlongOrEmptyTextIsRefusedBeforeTheEngine)
{
    auto owned = Running();
    ChessGame& game = *owned;
    EXPECT_EQ(game.Move("").code, CGC_ILLEGAL);
    EXPECT_EQ(game.Move("E2E4QQQQ").code, CGC_ILLEGAL);
    EXPECT_EQ(game.Ply(), 0);
}
