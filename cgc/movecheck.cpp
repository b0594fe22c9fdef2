#include <cstdlib>

#include "cgc/movecheck.h"

namespace {

typedef int (*validator)(game*, int, int, int, int, int);

struct validator_entry
{
    int name;
    validator check;
};

const validator_entry validators[] = {
    {CGC_KNIGHT, valid_knight},
    {CGC_BISHOP, valid_bishop},
    {CGC_ROOK, valid_rook},
    {CGC_QUEEN, valid_queen},
    {CGC_KING, valid_king},
    {CGC_PAWN, valid_pawn},
    {0, nullptr},
};

int sign(int value)
{
    return (value > 0) - (value < 0);
}

// Steps from the from-square towards the to-square, which must lie on a line
// with it: 1 when every square in between is empty.
int path_clear(game* g, int ff, int fr, int tf, int tr)
{
    int df = sign(tf - ff);
    int dr = sign(tr - fr);
    for (int f = ff + df, r = fr + dr; f != tf || r != tr; f += df, r += dr) {
        if (g->board[f][r] != CGC_EMPTY)
            return 0;
    }
    return 1;
}

} // namespace

int onboard(int file, int rank)
{
    return file >= 0 && file < 8 && rank >= 0 && rank < 8;
}

int check_promote(game* g, int ff, int fr, int, int, int promote)
{
    int colour = color(g->board[ff][fr]);
    if (promote == 0 && ((colour == CGC_WHITE && fr == 6) || (colour == CGC_BLACK && fr == 1)))
        return 0;
    return 1;
}

int valid_knight(game*, int ff, int fr, int tf, int tr, int)
{
    int df = std::abs(tf - ff);
    int dr = std::abs(tr - fr);
    return (df == 1 && dr == 2) || (df == 2 && dr == 1);
}

int valid_bishop(game* g, int ff, int fr, int tf, int tr, int)
{
    if (std::abs(tf - ff) != std::abs(tr - fr) || tf == ff)
        return 0;
    return path_clear(g, ff, fr, tf, tr);
}

int valid_rook(game* g, int ff, int fr, int tf, int tr, int)
{
    if ((tf != ff) == (tr != fr))
        return 0;
    return path_clear(g, ff, fr, tf, tr);
}

int valid_queen(game* g, int ff, int fr, int tf, int tr, int promote)
{
    return valid_rook(g, ff, fr, tf, tr, promote) || valid_bishop(g, ff, fr, tf, tr, promote);
}

int valid_king(game* g, int ff, int fr, int tf, int tr, int)
{
    int df = std::abs(tf - ff);
    if (df < 2 && std::abs(tr - fr) < 2)
        return 1;
    if (tr == fr && (df == 2 || df == 3))
        return check_castle(g, ff, fr, tf, tr);
    return 0;
}

int check_castle(game* g, int ff, int fr, int tf, int tr)
{
    unsigned char** b = g->board;
    int mover = g->turn;
    int back = mover == CGC_WHITE ? 0 : 7;
    // The rights imply a king on its home square in every game played from
    // the start; a record filled in by hand need not keep to that.
    if (tr != back || fr != back || ff != 4 || b[ff][fr] != (mover | CGC_KING))
        return 0;
    int king_side = tf == 6;
    if (!king_side && tf != 2)
        return 0;
    int between = (ff + tf) / 2;
    if (b[between][back] != CGC_EMPTY || b[tf][back] != CGC_EMPTY)
        return 0;
    if (!king_side && b[1][back] != CGC_EMPTY)
        return 0;
    if (b[king_side ? 7 : 0][back] != (mover | CGC_ROOK))
        return 0;
    int enemy = opponent(mover);
    if (!safe_from_color(g, between, back, enemy) || !safe_from_color(g, ff, fr, enemy))
        return 0;
    if (mover == CGC_WHITE)
        return king_side ? g->white_castle_king : g->white_castle_queen;
    return king_side ? g->black_castle_king : g->black_castle_queen;
}

int valid_pawn(game* g, int ff, int fr, int tf, int tr, int)
{
    unsigned char** b = g->board;
    int code = b[ff][fr];
    int forward, start, ep_rank;
    if (code == (CGC_WHITE | CGC_PAWN)) {
        forward = 1;
        start = 1;
        ep_rank = 5;
    } else if (code == CGC_PAWN) {
        forward = -1;
        start = 6;
        ep_rank = 2;
    } else {
        return 0;
    }
    int steps = (tr - fr) * forward;
    int df = std::abs(tf - ff);
    if (steps <= 0 || df > 1)
        return 0;
    if (df == 0) {
        if (b[tf][tr] != CGC_EMPTY)
            return 0;
        if (fr == start && steps == 2 && b[ff][fr + forward] == CGC_EMPTY)
            return 1;
        return steps == 1;
    }
    if (steps != 1)
        return 0;
    // En passant: the pawn that has just passed the target stands beside us.
    if (tr == ep_rank && tf == g->ep_file && b[tf][fr] == (opponent(color(code)) | CGC_PAWN))
        return 1;
    return b[tf][tr] != CGC_EMPTY;
}

int check_knight_attackers(game* g, int file, int rank, int* af, int* ar, int colour)
{
    int knight = colour | CGC_KNIGHT;
    for (const auto& jump : knight_jumps) {
        int f = file + jump[0];
        int r = rank + jump[1];
        if (onboard(f, r) && g->board[f][r] == knight) {
            if (af != nullptr && ar != nullptr) {
                *af = f;
                *ar = r;
            }
            return 1;
        }
    }
    return 0;
}

int check_attackers(game* g, int file, int rank, int* af, int* ar, int colour, int mode)
{
    if (check_knight_attackers(g, file, rank, af, ar, colour))
        return 1;
    unsigned char** b = g->board;
    for (int ray = 0; ray < 8; ++ray) {
        int df = ray_steps[ray][0];
        int dr = ray_steps[ray][1];
        int f = file + df;
        int r = rank + dr;
        for (int step = 1; onboard(f, r); ++step, f += df, r += dr) {
            int code = b[f][r];
            if (code == CGC_EMPTY)
                continue;
            if (code == CGC_BLOCKED || color(code) != colour)
                break;
            int found = 0;
            switch (cgc_piece_type(code)) {
            case CGC_PAWN:
                if (mode == 0) {
                    // A pawn attacks the two squares diagonally ahead of it;
                    // seen from the square, it stands one step behind.
                    int behind = colour == CGC_WHITE ? -1 : 1;
                    found = step == 1 && ray < 4 && dr == behind;
                } else {
                    found = valid_pawn(g, f, r, file, rank, 0);
                }
                break;
            case CGC_BISHOP:
                found = ray < 4;
                break;
            case CGC_ROOK:
                found = ray >= 4;
                break;
            case CGC_QUEEN:
                found = 1;
                break;
            case CGC_KING:
                found = step == 1;
                break;
            default:
                break;
            }
            if (found) {
                if (af != nullptr && ar != nullptr) {
                    *af = f;
                    *ar = r;
                }
                return 1;
            }
            break;
        }
    }
    return 0;
}

int safe_from_color(game* g, int file, int rank, int colour)
{
    return !check_attackers(g, file, rank, nullptr, nullptr, colour, 0);
}

int safe_square(game* g, int file, int rank)
{
    int enemy = color(g->board[file][rank]) == CGC_BLACK ? CGC_WHITE : CGC_BLACK;
    return safe_from_color(g, file, rank, enemy);
}

int find_attacker(game* g, int file, int rank, int* af, int* ar)
{
    int enemy = color(g->board[file][rank]) == CGC_BLACK ? CGC_WHITE : CGC_BLACK;
    return check_attackers(g, file, rank, af, ar, enemy, 0);
}

int king_safe_after(game* g, int ff, int fr, int tf, int tr)
{
    unsigned char** b = g->board;
    unsigned char piece = b[ff][fr];
    unsigned char target = b[tf][tr];
    int mover = color(piece);
    int kf, kr;
    if (cgc_piece_type(piece) == CGC_KING) {
        kf = tf;
        kr = tr;
    } else if (mover == CGC_WHITE) {
        kf = g->white_king_file;
        kr = g->white_king_rank;
    } else {
        kf = g->black_king_file;
        kr = g->black_king_rank;
    }
    // A pawn moving aside onto an empty square captures en passant: the
    // captured pawn beside it leaves the board too.
    bool en_passant = cgc_piece_type(piece) == CGC_PAWN && tf != ff && target == CGC_EMPTY;
    unsigned char passed = b[tf][fr];
    b[tf][tr] = piece;
    b[ff][fr] = CGC_EMPTY;
    if (en_passant)
        b[tf][fr] = CGC_EMPTY;
    int safe = onboard(kf, kr) && safe_from_color(g, kf, kr, opponent(mover));
    if (en_passant)
        b[tf][fr] = passed;
    b[ff][fr] = piece;
    b[tf][tr] = target;
    return safe;
}

int cgc_valid_move(game* g, int ff, int fr, int tf, int tr, int promote)
{
    if (g == nullptr)
        return CGC_NO_GAME;
    if (!onboard(ff, fr) || !onboard(tf, tr))
        return CGC_ILLEGAL;
    if (!g->white_joined || !g->black_joined)
        return CGC_NOT_SEATED;
    unsigned char** b = g->board;
    if (color(b[ff][fr]) != g->turn)
        return CGC_WRONG_SIDE;
    if (ff == tf && fr == tr)
        return CGC_ILLEGAL;
    if (color(b[tf][tr]) == g->turn)
        return CGC_ILLEGAL;
    // A king is never capturable in a position reached by legal moves; a
    // hand-filled record that offers one is refused rather than kingless.
    if (cgc_piece_type(b[tf][tr]) == CGC_KING)
        return CGC_ILLEGAL;
    if (promote != CGC_KNIGHT && promote != CGC_BISHOP && promote != CGC_ROOK &&
        promote != CGC_QUEEN)
        promote = 0;
    int type = cgc_piece_type(b[ff][fr]);
    const validator_entry* entry = validators;
    while (entry->name != 0 && entry->name != type)
        ++entry;
    // Only a hand-filled board can hold a piece without rules.
    if (entry->check == nullptr)
        return CGC_ILLEGAL;
    if (type == CGC_PAWN && !check_promote(g, ff, fr, tf, tr, promote))
        return CGC_NEED_PROMOTION;
    if (!entry->check(g, ff, fr, tf, tr, promote))
        return CGC_ILLEGAL;
    return king_safe_after(g, ff, fr, tf, tr) ? 1 : CGC_ILLEGAL;
}
