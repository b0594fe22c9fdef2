#include <cstdio>
#include <cstdlib>

#include "cgc/movecheck.h"

namespace {

bool holds(const game* g, int file, int rank, int code)
{
    return g->board[file][rank] == code;
}

// A castling right needs its king and its rook on their home squares.
bool right_fits(const game* g, int right, int colour, int rook_file)
{
    int back = colour == CGC_WHITE ? 0 : 7;
    return !right ||
           (holds(g, 4, back, colour | CGC_KING) && holds(g, rook_file, back, colour | CGC_ROOK));
}

} // namespace

const char* position_fault(const game* g)
{
    if (g->turn != CGC_WHITE && g->turn != CGC_BLACK)
        return "no side to move";
    int kings[2] = {0, 0};
    for (int f = 0; f < 8; ++f) {
        for (int r = 0; r < 8; ++r) {
            int code = g->board[f][r];
            int type = cgc_piece_type(code);
            if (code != CGC_EMPTY && (type < CGC_PAWN || type > CGC_KING))
                return "a square holds no piece code";
            if (type == CGC_PAWN && (r == 0 || r == 7))
                return "a pawn on the first or last rank";
            if (type == CGC_KING)
                ++kings[color(code) == CGC_WHITE];
        }
    }
    if (kings[0] != 1 || kings[1] != 1)
        return "not one king of each colour";
    if (!onboard(g->white_king_file, g->white_king_rank) ||
        !onboard(g->black_king_file, g->black_king_rank) ||
        !holds(g, g->white_king_file, g->white_king_rank, CGC_WHITE | CGC_KING) ||
        !holds(g, g->black_king_file, g->black_king_rank, CGC_KING))
        return "a king is not where the record says";
    if (!right_fits(g, g->white_castle_king, CGC_WHITE, 7) ||
        !right_fits(g, g->white_castle_queen, CGC_WHITE, 0) ||
        !right_fits(g, g->black_castle_king, CGC_BLACK, 7) ||
        !right_fits(g, g->black_castle_queen, CGC_BLACK, 0))
        return "a castling right without its king or rook at home";
    int ep = g->ep_file;
    if (ep != -1) {
        // The side that has just moved stepped a pawn two squares on that file.
        int mover = opponent(g->turn);
        int forward = mover == CGC_WHITE ? 1 : -1;
        int start = mover == CGC_WHITE ? 1 : 6;
        if (ep < 0 || ep > 7 || !holds(g, ep, start + 2 * forward, mover | CGC_PAWN) ||
            !holds(g, ep, start + forward, CGC_EMPTY) || !holds(g, ep, start, CGC_EMPTY))
            return "an en-passant file without a pawn that has just stepped two squares";
    }
    return nullptr;
}

void assert_position(const game* g)
{
    const char* fault = position_fault(g);
    if (fault == nullptr)
        return;
    char text[CGC_BOARD_TEXT_LENGTH + 1];
    cgc_fetch_board(g->board, text);
    std::fprintf(stderr, "cgc: inconsistent position after %s: %s\n  %s\n", g->last_move, fault,
                 text);
    std::abort();
}
