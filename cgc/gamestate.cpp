#include <climits>
#include <cstdlib>
#include <cstring>

#include "cgc/movecheck.h"

namespace {

// Nonzero when a piece of `side` may land on the square by the piece rules
// alone: empty, or holding an opposing piece other than the king.
int open_target(int code, int side)
{
    return code == CGC_EMPTY || (color(code) != side && cgc_piece_type(code) != CGC_KING);
}

// The pawn on (f, r) of `side` has a legal move: a step or two ahead or a
// capture to either side, as valid_pawn judges them.
int pawn_has_move(game* g, int f, int r, int side)
{
    int ahead = side == CGC_WHITE ? 1 : -1;
    const int targets[4][2] = {
        {f, r + ahead}, {f, r + 2 * ahead}, {f - 1, r + ahead}, {f + 1, r + ahead}};
    for (const auto& to : targets) {
        if (onboard(to[0], to[1]) && open_target(g->board[to[0]][to[1]], side) &&
            valid_pawn(g, f, r, to[0], to[1], 0) && king_safe_after(g, f, r, to[0], to[1]))
            return 1;
    }
    return 0;
}

// The knight on (f, r) of `side` has a legal jump.
int knight_has_move(game* g, int f, int r, int side)
{
    for (const auto& jump : knight_jumps) {
        int tf = f + jump[0];
        int tr = r + jump[1];
        if (onboard(tf, tr) && open_target(g->board[tf][tr], side) &&
            king_safe_after(g, f, r, tf, tr))
            return 1;
    }
    return 0;
}

// A sliding piece on (f, r) has a legal move along rays first..last.
int slider_has_move(game* g, int f, int r, int side, int first, int last)
{
    unsigned char** b = g->board;
    for (int ray = first; ray <= last; ++ray) {
        int df = ray_steps[ray][0];
        int dr = ray_steps[ray][1];
        for (int tf = f + df, tr = r + dr; onboard(tf, tr); tf += df, tr += dr) {
            int code = b[tf][tr];
            if (!open_target(code, side))
                break;
            if (king_safe_after(g, f, r, tf, tr))
                return 1;
            if (code != CGC_EMPTY)
                break;
        }
    }
    return 0;
}

// A right is lost for good when anything leaves or lands on its rook's corner.
void clear_corner_right(game* g, int file, int rank)
{
    if (rank == 0 && file == 0)
        g->white_castle_queen = 0;
    else if (rank == 0 && file == 7)
        g->white_castle_king = 0;
    else if (rank == 7 && file == 0)
        g->black_castle_queen = 0;
    else if (rank == 7 && file == 7)
        g->black_castle_king = 0;
}

// Nonzero when the side to move can legally capture en passant now.
int en_passant_possible(game* g)
{
    int ep = g->ep_file;
    if (ep < 0 || ep > 7)
        return 0;
    int side = g->turn;
    int from_rank = side == CGC_WHITE ? 4 : 3;
    int to_rank = side == CGC_WHITE ? 5 : 2;
    if (g->board[ep][to_rank] != CGC_EMPTY)
        return 0;
    for (int f = ep - 1; f <= ep + 1; f += 2) {
        if (onboard(f, from_rank) && g->board[f][from_rank] == (side | CGC_PAWN) &&
            valid_pawn(g, f, from_rank, ep, to_rank, 0) &&
            king_safe_after(g, f, from_rank, ep, to_rank))
            return 1;
    }
    return 0;
}

// The colourless code named by the fifth character of a move text, or 0.
int promotion_piece(char letter)
{
    switch (letter) {
    case 'Q':
        return CGC_QUEEN;
    case 'N':
        return CGC_KNIGHT;
    case 'B':
        return CGC_BISHOP;
    case 'R':
        return CGC_ROOK;
    default:
        return 0;
    }
}

// The verdict on the position after a move, the move already counted.
int judge_position(game* g)
{
    int kf = g->turn == CGC_WHITE ? g->white_king_file : g->black_king_file;
    int kr = g->turn == CGC_WHITE ? g->white_king_rank : g->black_king_rank;
    int result = CGC_MOVE_OK;
    int state = cgc_check_state(g, kf, kr);
    if (state != CGC_NO_CHECK) {
        result = state;
    } else {
        if (cgc_is_stale(g, kf, kr))
            result = CGC_STALEMATE;
        if (!cgc_has_sufficient(g, CGC_WHITE) && !cgc_has_sufficient(g, CGC_BLACK))
            result = CGC_DRAW_MATERIAL;
    }
    // Mate ends the game on the spot; the fifty-move rule only stops a game
    // that could go on.
    if (g->quiet_moves == 100 && result != CGC_MATE)
        result = CGC_DRAW_FIFTY;
    char key[CGC_POSITION_KEY_LENGTH + 1];
    position_key(g, key);
    // Without memory for a new entry the position goes uncounted; the game
    // itself is unharmed.
    cgc_position* entry = cgc_add_pos(g->postab, key);
    if (entry != nullptr && entry->count > 2)
        result = CGC_DRAW_REPETITION;
    return result;
}

} // namespace

int cgc_make_move(game* g, char* move)
{
    return cgc_handle_move(g, move);
}

int cgc_handle_move(game* g, char* move)
{
    if (g == nullptr)
        return CGC_NO_GAME;
    if (move == nullptr)
        return CGC_ILLEGAL;
    int white = g->turn == CGC_WHITE;
    if (std::strcmp(move, "O-O") == 0)
        std::strcpy(move, white ? "E1G1" : "E8G8");
    else if (std::strcmp(move, "O-O-O") == 0)
        std::strcpy(move, white ? "E1C1" : "E8C8");

    // Stop at the terminator: a missing character decodes as NUL, which lies
    // off the board like every other character outside "A".."H" and "1".."8".
    signed char text[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < 5 && move[i] != '\0'; ++i)
        text[i] = static_cast<signed char>(move[i]);
    int ff = text[0] - 'A';
    int fr = text[1] - '1';
    int tf = text[2] - 'A';
    int tr = text[3] - '1';
    int promote = promotion_piece(text[4]);

    int verdict = cgc_valid_move(g, ff, fr, tf, tr, promote);
    if (verdict != 1)
        return verdict;
    cgc_register_move(g, move, ff, fr, tf, tr);
    cgc_do_move(g, ff, fr, tf, tr, promote);
    CGC_ASSERT_POSITION(g);
    if (g->quiet_moves < INT_MAX)
        ++g->quiet_moves;
    return judge_position(g);
}

void cgc_register_move(game* g, const char* move, int ff, int fr, int tf, int tr)
{
    unsigned char** b = g->board;
    if (cgc_piece_type(b[ff][fr]) == CGC_PAWN || b[tf][tr] != CGC_EMPTY) {
        // No earlier position can come back after a pawn move or a capture.
        cgc_free_postab(g->postab);
        g->quiet_moves = 0;
    }
    int i = 0;
    for (; i < 7 && move[i] != '\0'; ++i)
        g->last_move[i] = move[i];
    for (; i < 8; ++i)
        g->last_move[i] = '\0';
}

int cgc_do_move(game* g, int ff, int fr, int tf, int tr, int promote)
{
    unsigned char** b = g->board;
    int mover = g->turn;
    unsigned char piece = b[ff][fr];
    int new_ep = -1;
    switch (cgc_piece_type(piece)) {
    case CGC_KING:
        if (std::abs(tf - ff) > 1) {
            // Castling: the rook jumps from its corner to the king's other side.
            int rook_from = tf == 2 ? 0 : 7;
            int rook_to = tf == 2 ? 3 : 5;
            b[rook_to][tr] = static_cast<unsigned char>(mover | CGC_ROOK);
            b[rook_from][tr] = CGC_EMPTY;
        }
        if (mover == CGC_WHITE) {
            g->white_king_file = static_cast<uint8_t>(tf);
            g->white_king_rank = static_cast<uint8_t>(tr);
            g->white_castle_king = 0;
            g->white_castle_queen = 0;
        } else {
            g->black_king_file = static_cast<uint8_t>(tf);
            g->black_king_rank = static_cast<uint8_t>(tr);
            g->black_castle_king = 0;
            g->black_castle_queen = 0;
        }
        break;
    case CGC_PAWN:
        if (tr == 0 || tr == 7)
            piece = static_cast<unsigned char>(mover | (promote != 0 ? promote : CGC_QUEEN));
        if (std::abs(tr - fr) == 2)
            new_ep = tf;
        // A sideways step onto an empty square takes the pawn that passed it.
        if (tf != ff && b[tf][tr] == CGC_EMPTY)
            b[tf][fr] = CGC_EMPTY;
        break;
    default:
        break;
    }
    clear_corner_right(g, ff, fr);
    clear_corner_right(g, tf, tr);
    b[tf][tr] = piece;
    b[ff][fr] = CGC_EMPTY;
    g->ep_file = new_ep;
    g->turn = opponent(mover);
    return 1;
}

int cgc_check_state(game* g, int kf, int kr)
{
    if (!onboard(kf, kr))
        return CGC_NO_CHECK;
    int af, ar;
    if (!find_attacker(g, kf, kr, &af, &ar))
        return CGC_NO_CHECK;
    return has_legal_move(g) ? CGC_CHECK : CGC_MATE;
}

int king_has_move(game* g, int kf, int kr)
{
    unsigned char** b = g->board;
    unsigned char king = b[kf][kr];
    int side = color(king);
    // Off its square, the king no longer shields the squares behind it from
    // a sliding attacker.
    b[kf][kr] = CGC_EMPTY;
    int found = 0;
    for (const auto& step : ray_steps) {
        int f = kf + step[0];
        int r = kr + step[1];
        if (onboard(f, r) && open_target(b[f][r], side) &&
            safe_from_color(g, f, r, opponent(side))) {
            found = 1;
            break;
        }
    }
    b[kf][kr] = king;
    return found;
}

int has_legal_move(game* g)
{
    int side = g->turn;
    int kf = side == CGC_WHITE ? g->white_king_file : g->black_king_file;
    int kr = side == CGC_WHITE ? g->white_king_rank : g->black_king_rank;
    // Castling is never the only legal move: it needs the king's neighbour
    // on that wing empty and safe, and the king out of check.
    if (onboard(kf, kr) && g->board[kf][kr] == (side | CGC_KING) && king_has_move(g, kf, kr))
        return 1;
    unsigned char** b = g->board;
    for (int f = 0; f < 8; ++f) {
        for (int r = 0; r < 8; ++r) {
            int code = b[f][r];
            if (color(code) != side)
                continue;
            int found = 0;
            switch (cgc_piece_type(code)) {
            case CGC_PAWN:
                found = pawn_has_move(g, f, r, side);
                break;
            case CGC_KNIGHT:
                found = knight_has_move(g, f, r, side);
                break;
            case CGC_BISHOP:
                found = slider_has_move(g, f, r, side, 0, 3);
                break;
            case CGC_ROOK:
                found = slider_has_move(g, f, r, side, 4, 7);
                break;
            case CGC_QUEEN:
                found = slider_has_move(g, f, r, side, 0, 7);
                break;
            default:
                break;
            }
            if (found)
                return 1;
        }
    }
    return 0;
}

int cgc_is_stale(game* g, int, int)
{
    return !has_legal_move(g);
}

int cgc_has_sufficient(game* g, int colour)
{
    // Per side: pawns, rooks or queens; knights; bishops by square colour.
    struct material
    {
        int heavy = 0;
        int knights = 0;
        int bishops[2] = {0, 0};
    } own, other;
    unsigned char** b = g->board;
    for (int f = 0; f < 8; ++f) {
        for (int r = 0; r < 8; ++r) {
            int code = b[f][r];
            if (code == CGC_EMPTY)
                continue;
            material& side = color(code) == colour ? own : other;
            switch (cgc_piece_type(code)) {
            case CGC_PAWN:
            case CGC_ROOK:
            case CGC_QUEEN:
                if (&side == &own)
                    return 1;
                side.heavy = 1;
                break;
            case CGC_KNIGHT:
                ++side.knights;
                break;
            case CGC_BISHOP:
                ++side.bishops[bishop_type(f, r)];
                break;
            default:
                break;
            }
        }
    }
    // The position is dead exactly when it holds no pawn, rook or queen and
    // either one knight and no bishop, or no knight and bishops on one square
    // colour only. These tests give 0 for both colours exactly then.
    int own_bishops = own.bishops[0] + own.bishops[1];
    int other_pieces = other.heavy + other.knights + other.bishops[0] + other.bishops[1];
    if (own.knights >= 2)
        return 1;
    if (own.knights == 1)
        return own_bishops > 0 || other_pieces > 0;
    if (own_bishops == 0)
        return 0;
    if (own.bishops[0] > 0 && own.bishops[1] > 0)
        return 1;
    if (other.knights > 0)
        return 1;
    int own_shade = own.bishops[1] > 0 ? 1 : 0;
    return other.bishops[1 - own_shade] > 0;
}

int bishop_type(int file, int rank)
{
    return (file % 2) == (rank % 2) ? 1 : 0;
}

void position_key(game* g, char* key)
{
    cgc_fetch_board(g->board, key);
    key[72] = g->turn == CGC_WHITE ? 'w' : 'b';
    key[73] = g->white_castle_king ? 'K' : '-';
    key[74] = g->white_castle_queen ? 'Q' : '-';
    key[75] = g->black_castle_king ? 'k' : '-';
    key[76] = g->black_castle_queen ? 'q' : '-';
    key[77] = en_passant_possible(g) ? static_cast<char>('a' + g->ep_file) : '-';
    key[78] = '\0';
}
