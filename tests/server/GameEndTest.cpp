#include "server/GameEnd.h"

#include "cgc/cgc.h"

#include <gtest/gtest.h>

using namespace tolvar::server;

TEST(GameEnd, EngineVerdictsThatEndAGame)
{
    struct Case
    {
        int verdict;
        Side mover;
        Score score;
        const char* reason;
    };
    const Case cases[] = {
        {CGC_MATE, Side::White, Score::WhiteWins, "White mates. 1-0"},
        {CGC_MATE, Side::Black, Score::BlackWins, "Black mates. 0-1"},
        {CGC_STALEMATE, Side::White, Score::Draw, "Stalemate. 1/2-1/2"},
        {CGC_DRAW_FIFTY, Side::Black, Score::Draw, "Draw by the fifty-move rule. 1/2-1/2"},
        {CGC_DRAW_REPETITION, Side::White, Score::Draw, "Draw by threefold repetition. 1/2-1/2"},
        {CGC_DRAW_MATERIAL, Side::Black, Score::Draw, "Draw by insufficient material. 1/2-1/2"},
    };
    for (const Case& c : cases) {
        std::optional<GameEnd> end = EndOfMove(c.verdict, c.mover);
        ASSERT_TRUE(end) << c.verdict;
        EXPECT_EQ(end->score, c.score) << c.verdict;
        EXPECT_TRUE(end->rated);
        EXPECT_EQ(end->reason, c.reason);
    }
    for (int verdict : {CGC_MOVE_OK, CGC_CHECK})
        EXPECT_FALSE(EndOfMove(verdict, Side::White)) << verdict;
}

TEST(GameEnd, AbortsCountOnlyOnceBothSidesHaveMoved)
{
    GameEnd early = EndOfAbort(Side::White, false, false);
    EXPECT_FALSE(early.rated);
    EXPECT_EQ(early.reason, "White aborted before both sides had moved; no result.");

    GameEnd late = EndOfAbort(Side::White, true, false);
    EXPECT_TRUE(late.rated);
    EXPECT_EQ(late.score, Score::BlackWins);
    EXPECT_EQ(late.reason, "White aborted and loses. 0-1");

    GameEnd gone = EndOfAbort(Side::Black, true, true);
    EXPECT_EQ(gone.score, Score::WhiteWins);
    EXPECT_EQ(gone.reason, "Black left the server and loses. 1-0");
}
