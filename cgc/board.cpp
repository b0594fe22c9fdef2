#include <cstring>

#include "cgc/movecheck.h"

namespace {

// The row array and its squares share one allocation, rows first, so that a
// board is released with a single call.
struct board_block
{
    unsigned char* rows[8];
    unsigned char squares[64];
};

const unsigned char back_rank[8] = {CGC_ROOK, CGC_KNIGHT, CGC_BISHOP, CGC_QUEEN,
                                    CGC_KING, CGC_BISHOP, CGC_KNIGHT, CGC_ROOK};

// Black letters of the board text by piece type; White's are upper case.
const char piece_letters[] = "??pnbrqk";

} // namespace

cgc_board cgc_get_empty_board(void)
{
    auto* block = static_cast<board_block*>(cgc_alloc(sizeof(board_block)));
    if (block == nullptr)
        return nullptr;
    for (int file = 0; file < 8; ++file)
        block->rows[file] = block->squares + 8 * file;
    return block->rows;
}

int cgc_free_board(cgc_board board)
{
    // The row array is the start of the block.
    cgc_release(board);
    return 0;
}

void setup_board(cgc_board board)
{
    for (int file = 0; file < 8; ++file) {
        board[file][0] = back_rank[file] | CGC_WHITE;
        board[file][1] = CGC_PAWN | CGC_WHITE;
        for (int rank = 2; rank < 6; ++rank)
            board[file][rank] = CGC_EMPTY;
        board[file][6] = CGC_PAWN;
        board[file][7] = back_rank[file];
    }
}

game* new_gameslot(void)
{
    auto* g = static_cast<game*>(cgc_alloc(sizeof(game)));
    if (g == nullptr)
        return nullptr;
    g->board = cgc_get_empty_board();
    if (g->board == nullptr) {
        cgc_release(g);
        return nullptr;
    }
    for (cgc_position*& head : g->postab)
        head = nullptr;
    return g;
}

game* cgc_setup_table(void)
{
    game* g = new_gameslot();
    if (g == nullptr)
        return nullptr;
    g->white_joined = 0;
    g->black_joined = 0;
    setup_board(g->board);
    g->turn = CGC_WHITE;
    g->white_king_rank = 0;
    g->white_king_file = 4;
    g->black_king_rank = 7;
    g->black_king_file = 4;
    g->white_castle_king = 1;
    g->white_castle_queen = 1;
    g->black_castle_king = 1;
    g->black_castle_queen = 1;
    // The zero of a fresh record would name file A.
    g->ep_file = -1;
    g->quiet_moves = 0;
    std::strcpy(g->last_move, "none");
    return g;
}

int remove_game(game* g)
{
    if (g == nullptr)
        return 0;
    cgc_free_postab(g->postab);
    cgc_free_board(g->board);
    cgc_release(g);
    return 0;
}

int cgc_game_over(game* g)
{
    return remove_game(g);
}

int cgc_join_table(game* g, int colour)
{
    if (g == nullptr)
        return CGC_NO_GAME;
    if (colour == CGC_BLACK) {
        if (g->black_joined)
            return g->white_joined ? CGC_TABLE_FULL : CGC_SEAT_TAKEN;
        g->black_joined = 1;
    } else if (colour == CGC_WHITE) {
        if (g->white_joined)
            return g->black_joined ? CGC_TABLE_FULL : CGC_SEAT_TAKEN;
        g->white_joined = 1;
    }
    return 0;
}

int cgc_leave_game(game* g, int side)
{
    if (g == nullptr)
        return CGC_NO_GAME;
    if (side == 0)
        g->white_joined = 0;
    else if (side == 1)
        g->black_joined = 0;
    else
        return -1;
    return 0;
}

void cgc_fetch_board(cgc_board board, char* text)
{
    char* out = text;
    for (int rank = 7; rank >= 0; --rank) {
        for (int file = 0; file < 8; ++file) {
            int code = board[file][rank];
            int type = cgc_piece_type(code);
            char letter = '?';
            if (type == CGC_EMPTY)
                letter = '-';
            else if (type >= CGC_PAWN && type <= CGC_KING)
                letter = piece_letters[type] - (color(code) == CGC_WHITE ? 'a' - 'A' : 0);
            *out++ = letter;
        }
        *out++ = ' ';
    }
    *out = '\0';
}

int color(int code)
{
    return code == CGC_EMPTY ? -1 : (code & CGC_WHITE);
}

int cgc_piece_type(int code)
{
    return code & 0xBF;
}

game* cgc_create_game(void)
{
    return cgc_setup_table();
}

game* cgc_create_seated_game(void)
{
    game* g = cgc_setup_table();
    cgc_join_table(g, CGC_WHITE);
    cgc_join_table(g, CGC_BLACK);
    return g;
}

int cgc_join_game(game* g, int colour)
{
    return cgc_join_table(g, colour);
}

int cgc_quit_game(game* g, int side)
{
    return cgc_leave_game(g, side);
}

int cgc_free_game(game* g)
{
    return cgc_game_over(g);
}

int cgc_getboard(game* g, char* buffer)
{
    if (buffer == nullptr)
        return CGC_NO_GAME;
    if (g == nullptr) {
        buffer[0] = '\0';
        return CGC_NO_GAME;
    }
    cgc_fetch_board(g->board, buffer);
    return 0;
}

int cgc_getmlen(void)
{
    return CGC_MOVES_LENGTH;
}

char* cgc_getmlist(game* g, char* buffer)
{
    if (buffer == nullptr)
        return nullptr;
    if (g == nullptr) {
        buffer[0] = '\0';
        return buffer;
    }
    std::memcpy(buffer, g->moves, CGC_MOVES_LENGTH);
    // A caller may have filled the field to the brim.
    buffer[CGC_MOVES_LENGTH - 1] = '\0';
    return buffer;
}
