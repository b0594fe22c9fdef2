#include <cstring>

#include <gtest/gtest.h>

#include "EngineHelpers.h"
#include "cgc/movecheck.h"

namespace {

const char* initial_text =
    "rnbqkbnr pppppppp -------- -------- -------- -------- PPPPPPPP RNBQKBNR ";

} // namespace

TEST(Board, NewRecordHoldsTheInitialPosition)
{
    game* g = cgc_create_game();
    ASSERT_NE(g, nullptr);
    char text[CGC_BOARD_TEXT_LENGTH + 8];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(cgc_getboard(g, text), 0);
    EXPECT_STREQ(text, initial_text);
    EXPECT_EQ(std::strlen(text), 72u);

    EXPECT_EQ(g->turn, CGC_WHITE);
    EXPECT_STREQ(g->last_move, "none");
    EXPECT_EQ(g->quiet_moves, 0);
    EXPECT_EQ(g->ep_file, -1);
    EXPECT_EQ(g->white_joined + g->black_joined, 0);
    EXPECT_EQ(g->white_castle_king + g->white_castle_queen + g->black_castle_king +
                  g->black_castle_queen,
              4);
    EXPECT_EQ(g->white_king_file, 4);
    EXPECT_EQ(g->white_king_rank, 0);
    EXPECT_EQ(g->black_king_file, 4);
    EXPECT_EQ(g->black_king_rank, 7);
    EXPECT_EQ(g->board[3][0], 0x46); // White queen on D1
    EXPECT_EQ(g->board[4][7], CGC_KING);
    EXPECT_EQ(cgc_free_game(g), 0);
    EXPECT_EQ(cgc_free_game(nullptr), 0);
}

TEST(Board, SeatsFillAndEmpty)
{
    game* g = cgc_create_game();
    EXPECT_EQ(cgc_join_game(g, CGC_WHITE), 0);
    EXPECT_EQ(cgc_join_game(g, CGC_WHITE), CGC_SEAT_TAKEN);
    EXPECT_EQ(cgc_join_game(g, 5), 0);
    EXPECT_EQ(g->black_joined, 0);
    EXPECT_EQ(cgc_join_game(g, CGC_BLACK), 0);
    EXPECT_EQ(cgc_join_game(g, CGC_BLACK), CGC_TABLE_FULL);
    EXPECT_EQ(cgc_join_game(g, CGC_WHITE), CGC_TABLE_FULL);

    EXPECT_EQ(cgc_quit_game(g, 2), -1);
    EXPECT_EQ(cgc_quit_game(g, 1), 0);
    EXPECT_EQ(g->black_joined, 0);
    EXPECT_EQ(g->white_joined, 1);
    char move[8] = "E2E4";
    EXPECT_EQ(cgc_make_move(g, move), CGC_NOT_SEATED);
    EXPECT_EQ(cgc_join_game(g, CGC_BLACK), 0);
    EXPECT_EQ(cgc_quit_game(g, 0), 0);
    EXPECT_EQ(g->white_joined, 0);
    EXPECT_EQ(cgc_join_game(g, CGC_BLACK), CGC_SEAT_TAKEN);
    cgc_free_game(g);

    EXPECT_EQ(cgc_join_game(nullptr, CGC_WHITE), CGC_NO_GAME);
    EXPECT_EQ(cgc_make_move(nullptr, move), CGC_NO_GAME);
}

TEST(Board, MoveListIsEmptyAndStaysEmpty)
{
    game* g = new_seated_game();
    EXPECT_EQ(cgc_getmlen(), 1024);
    std::vector<char> buffer(cgc_getmlen(), 'x');
    EXPECT_EQ(cgc_getmlist(g, buffer.data()), buffer.data());
    EXPECT_STREQ(buffer.data(), "");
    play(g, {"E2E4", "E7E5"});
    buffer.assign(buffer.size(), 'x');
    cgc_getmlist(g, buffer.data());
    EXPECT_STREQ(buffer.data(), "");
    cgc_free_game(g);
}

TEST(Board, BoardTextShowsEveryPieceWhereItStands)
{
    game* g = game_from_fen("4k3/8/2n5/8/3Q4/8/5p2/R3K2R b KQ - 0 1");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(board_text(g), "----k--- -------- --n----- -------- ---Q---- -------- -----p-- "
                             "R---K--R ");
    cgc_free_game(g);
}

TEST(Board, ColourAndPieceType)
{
    EXPECT_EQ(color(CGC_EMPTY), -1);
    EXPECT_EQ(color(0x47), CGC_WHITE);
    EXPECT_EQ(color(CGC_KING), CGC_BLACK);
    EXPECT_EQ(cgc_piece_type(0x45), CGC_ROOK);
    EXPECT_EQ(cgc_piece_type(CGC_PAWN), CGC_PAWN);
    EXPECT_EQ(bishop_type(0, 0), 1); // A1 is dark
    EXPECT_EQ(bishop_type(5, 0), 0); // F1 is light
    EXPECT_EQ(bishop_type(2, 7), 0); // C8 is light
}

TEST(PositionTable, HashFollowsTheMultiplyBy31Rule)
{
    EXPECT_EQ(cgc_hash(""), 0u);
    EXPECT_EQ(cgc_hash("a"), 1u);
    EXPECT_EQ(cgc_hash("ab"), 9u);
    // 3365317824 after wrapping at 32 bits.
    EXPECT_EQ(cgc_hash(initial_text), 0u);
}

TEST(PositionTable, CountsRepeatsAndKeepsChainNeighboursApart)
{
    cgc_position* table[CGC_POSTAB_SIZE] = {};
    cgc_position* first = cgc_add_pos(table, initial_text);
    cgc_add_pos(table, initial_text);
    cgc_position* third = cgc_add_pos(table, initial_text);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third, first);
    EXPECT_EQ(third->count, 3);

    // "a" and "m" share chain 1.
    cgc_position* a = cgc_add_pos(table, "a");
    cgc_position* m = cgc_add_pos(table, "m");
    cgc_add_pos(table, "m");
    EXPECT_NE(a, m);
    EXPECT_EQ(a->count, 1);
    EXPECT_EQ(m->count, 2);
    EXPECT_EQ(table[1], m);

    cgc_free_postab(table);
    for (cgc_position* head : table)
        EXPECT_EQ(head, nullptr);
}
