#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "EngineHelpers.h"
#include "cgc/movecheck.h"

namespace {

struct MoveRow
{
    const char* fen; // null: the initial position
    const char* move;
    int expected;
};

void PrintTo(const MoveRow& row, std::ostream* out)
{
    *out << (row.fen != nullptr ? row.fen : "initial") << " " << row.move;
}

int judge(const MoveRow& row)
{
    game* g = row.fen != nullptr ? game_from_fen(row.fen) : new_seated_game();
    if (g == nullptr)
        return 100;
    char text[16] = {};
    std::strncpy(text, row.move, sizeof text - 1);
    int result = cgc_make_move(g, text);
    cgc_free_game(g);
    return result;
}

class SingleMove : public testing::TestWithParam<MoveRow>
{
};

const MoveRow opening_rows[] = {
    {nullptr, "E2E4", CGC_MOVE_OK},     {nullptr, "G1F3", CGC_MOVE_OK},
    {nullptr, "E2E4QXYZ", CGC_MOVE_OK}, {nullptr, "E2E5", CGC_ILLEGAL},
    {nullptr, "E1E2", CGC_ILLEGAL},     {nullptr, "B1D2", CGC_ILLEGAL},
    {nullptr, "E2E2", CGC_ILLEGAL},     {nullptr, "A1A2", CGC_ILLEGAL},
    {nullptr, "E7E5", CGC_WRONG_SIDE},  {nullptr, "E3E4", CGC_WRONG_SIDE},
    {nullptr, "e2e4", CGC_ILLEGAL},     {nullptr, "E2E9", CGC_ILLEGAL},
    {nullptr, "E2", CGC_ILLEGAL},       {nullptr, "E", CGC_ILLEGAL},
    {nullptr, "", CGC_ILLEGAL},         {nullptr, "O-O", CGC_ILLEGAL},
    {nullptr, "O-O-O", CGC_ILLEGAL},
};
INSTANTIATE_TEST_SUITE_P(Opening, SingleMove, testing::ValuesIn(opening_rows));

const MoveRow piece_rule_rows[] = {
    // A piece pinned to its king may not leave the line of the pin.
    {"4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1", "E2D3", CGC_ILLEGAL},
    {"4k3/4r3/8/8/8/8/4R3/4K3 w - - 0 1", "E2E5", CGC_MOVE_OK},
    // Kings never stand side by side.
    {"8/8/8/3k4/8/3K4/8/8 w - - 0 1", "D3D4", CGC_ILLEGAL},
    {"8/8/8/3k4/8/3K4/8/8 w - - 0 1", "D3D2", CGC_DRAW_MATERIAL},
    // A pawn leaving its seventh rank needs a promotion piece, whatever its target.
    {"4r2k/4P3/8/8/8/8/7P/K7 w - - 0 1", "E7E8", CGC_NEED_PROMOTION},
    {"4r2k/4P3/8/8/8/8/7P/K7 w - - 0 1", "E7E8Q", CGC_ILLEGAL},
    {"4r2k/4P3/8/8/8/8/7P/K7 w - - 0 1", "E7D8", CGC_NEED_PROMOTION},
    {"4r2k/4P3/8/8/8/8/7P/K7 w - - 0 1", "E7D8Q", CGC_ILLEGAL},
    {"3r4/4P3/7k/8/8/8/7P/K7 w - - 0 1", "E7D8Q", CGC_MOVE_OK},
    {"3r4/4P3/7k/8/8/8/7P/K7 w - - 0 1", "E7E8X", CGC_NEED_PROMOTION},
    // En passant may not open the rank between the king and a rook.
    {"8/8/8/K2pP2r/8/8/8/7k w - d6 0 1", "E5D6", CGC_ILLEGAL},
    {"8/8/8/K2pP3/8/8/8/7k w - d6 0 1", "E5D6", CGC_MOVE_OK},
    {"8/8/8/K2pP3/8/8/8/7k w - - 0 1", "E5D6", CGC_ILLEGAL},
};
INSTANTIATE_TEST_SUITE_P(PieceRules, SingleMove, testing::ValuesIn(piece_rule_rows));

const MoveRow castling_rows[] = {
    {"4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1G1", CGC_MOVE_OK},
    {"4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1C1", CGC_MOVE_OK},
    // Through, into and out of check.
    {"4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1G1", CGC_ILLEGAL},
    {"4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1C1", CGC_MOVE_OK},
    {"4k1r1/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1G1", CGC_ILLEGAL},
    {"3rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1C1", CGC_ILLEGAL},
    {"2r1k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1C1", CGC_ILLEGAL},
    {"4r2k/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1G1", CGC_ILLEGAL},
    {"4r2k/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1C1", CGC_ILLEGAL},
    // The square next to the queen-side rook may be attacked.
    {"1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1C1", CGC_MOVE_OK},
    // Rights, blockers and the rook itself.
    {"4k3/8/8/8/8/8/8/R3K2R w K - 0 1", "E1C1", CGC_ILLEGAL},
    {"4k3/8/8/8/8/8/8/R3K2R w K - 0 1", "E1G1", CGC_MOVE_OK},
    {"4k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1", "E1C1", CGC_ILLEGAL},
    {"4k3/8/8/8/8/8/8/R3K3 w KQ - 0 1", "E1G1", CGC_ILLEGAL},
    {"4k3/8/8/8/8/8/8/R3K1NR w KQ - 0 1", "E1G1", CGC_ILLEGAL},
    {"r3k2r/8/8/8/8/8/8/4K3 b kq - 0 1", "E8G8", CGC_MOVE_OK},
    {"r3k2r/8/8/8/8/8/8/4K3 b kq - 0 1", "O-O-O", CGC_MOVE_OK},
    {"r3k2r/8/8/8/8/8/8/4K3 b kq - 0 1", "E1G1", CGC_WRONG_SIDE},
};
INSTANTIATE_TEST_SUITE_P(Castling, SingleMove, testing::ValuesIn(castling_rows));

} // namespace

TEST_P(SingleMove, Verdict)
{
    EXPECT_EQ(judge(GetParam()), GetParam().expected);
}

TEST(Legality, CastlingTextsAreRewrittenInPlaceEvenWhenRefused)
{
    game* g = new_seated_game();
    char white_short[8] = "O-O";
    EXPECT_EQ(cgc_make_move(g, white_short), CGC_ILLEGAL);
    EXPECT_STREQ(white_short, "E1G1");
    play(g, {"E2E4"});
    char black_short[8] = "O-O";
    EXPECT_EQ(cgc_make_move(g, black_short), CGC_ILLEGAL);
    EXPECT_STREQ(black_short, "E8G8");
    char black_long[8] = "O-O-O";
    cgc_make_move(g, black_long);
    EXPECT_STREQ(black_long, "E8C8");
    char lower[8] = "o-o";
    EXPECT_EQ(cgc_make_move(g, lower), CGC_ILLEGAL);
    EXPECT_STREQ(lower, "o-o");
    cgc_free_game(g);

    g = game_from_fen("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
    char castle[8] = "O-O";
    EXPECT_EQ(cgc_make_move(g, castle), CGC_MOVE_OK);
    EXPECT_STREQ(g->last_move, "E1G1");
    EXPECT_EQ(g->board[5][0], CGC_WHITE | CGC_ROOK);
    EXPECT_EQ(g->board[7][0], CGC_EMPTY);
    EXPECT_EQ(g->white_king_file, 6);
    cgc_free_game(g);
}

TEST(Legality, EnPassantIsOfferedForOneMoveOnly)
{
    game* g = new_seated_game();
    EXPECT_EQ(play(g, {"E2E4", "A7A6", "E4E5", "D7D5"}), std::vector<int>(4, 0));
    EXPECT_EQ(g->ep_file, 3);
    game* later = new_seated_game();
    copy_position(later, g);

    EXPECT_EQ(play(g, {"E5D6"}), std::vector<int>{0});
    EXPECT_EQ(g->board[3][4], CGC_EMPTY); // the captured pawn on D5
    EXPECT_EQ(g->board[3][5], CGC_WHITE | CGC_PAWN);
    EXPECT_EQ(g->quiet_moves, 1);

    EXPECT_EQ(play(later, {"H2H3", "H7H6", "E5D6"}), (std::vector<int>{0, 0, CGC_ILLEGAL}));
    cgc_free_game(g);
    cgc_free_game(later);
}

TEST(Legality, RefusedMovesLeaveTheRecordUntouched)
{
    // A position with a pin, an en-passant chance, castling rights, a pawn on
    // its seventh rank and a filled position table.
    game* g = game_from_fen("r3k2r/1P1p4/8/b3P3/8/8/3B4/R3K1NR b KQkq - 0 1");
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(play(g, {"D7D5"}), std::vector<int>{0});
    std::vector<unsigned char> before = snapshot(g);
    for (const char* move : {"D2E3", "B7B8", "B7A8", "E1E3", "E5E4", "E1G2", "H1H9", "A8A7", "D5D4",
                             "C1C2", "O-O", "e5d6", "E5F6", "E5", ""}) {
        char text[8] = {};
        std::strncpy(text, move, sizeof text - 1);
        int result = cgc_make_move(g, text);
        EXPECT_LT(result, 0) << move;
        EXPECT_EQ(snapshot(g), before) << move;
    }
    cgc_free_game(g);
}

TEST(Legality, AttackAndOccupyModesDiffer)
{
    game* g = new_seated_game();
    int f = -1, r = -1;
    // No white piece attacks E4, but the E2 pawn can step onto it.
    EXPECT_EQ(check_attackers(g, 4, 3, &f, &r, CGC_WHITE, 0), 0);
    EXPECT_NE(check_attackers(g, 4, 3, &f, &r, CGC_WHITE, 1), 0);
    EXPECT_EQ(f, 4);
    EXPECT_EQ(r, 1);
    // The D2 and F2 pawns attack E3; the G1 knight attacks F3.
    EXPECT_NE(check_attackers(g, 4, 2, nullptr, nullptr, CGC_WHITE, 0), 0);
    EXPECT_NE(check_knight_attackers(g, 5, 2, &f, &r, CGC_WHITE), 0);
    EXPECT_EQ(f, 6);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(safe_from_color(g, 4, 4, CGC_WHITE), 1);
    cgc_free_game(g);
}

TEST(Legality, ArbitraryTextsNeverHarmTheRecord)
{
    std::mt19937 random(12345);
    game* start =
        game_from_fen("r1bqkbnr/ppp1p1pp/2n5/3pPp2/8/5N2/PPPP1PPP/RNBQKB1R w KQkq f6 0 4");
    game* g = new_seated_game();
    copy_position(g, start);
    const char alphabet[] = "ABCDEFGH12345678O-QRNBKabcx\x80\xff ";
    for (int round = 0; round < 20000; ++round) {
        char text[8] = {};
        int length = static_cast<int>(random() % 8);
        for (int i = 0; i < length; ++i)
            text[i] = alphabet[random() % (sizeof alphabet - 1)];
        std::vector<unsigned char> before = snapshot(g);
        int result = cgc_make_move(g, text);
        ASSERT_GE(result, -8);
        ASSERT_LE(result, CGC_MATE);
        if (result < 0)
            ASSERT_EQ(snapshot(g), before) << text;
        else
            copy_position(g, start);
    }
    cgc_free_game(g);
    cgc_free_game(start);
}
