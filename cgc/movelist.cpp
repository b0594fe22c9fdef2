#include <cstring>
#include <initializer_list>

#include "cgc/movecheck.h"

namespace {

// Collects moves up to the caller's capacity and counts all of them.
struct move_sink
{
    cgc_move* moves;
    int capacity;
    int count;
};

void add(move_sink& sink, int ff, int fr, int tf, int tr, int promote)
{
    if (sink.count < sink.capacity) {
        sink.moves[sink.count] = {static_cast<int8_t>(ff), static_cast<int8_t>(fr),
                                  static_cast<int8_t>(tf), static_cast<int8_t>(tr),
                                  static_cast<int8_t>(promote)};
    }
    ++sink.count;
}

// Hands one candidate to the engine's own judge, so that the list can never
// disagree with cgc_make_move; a promotion is tried with each piece.
void offer(game* g, move_sink& sink, int ff, int fr, int tf, int tr)
{
    if (!onboard(tf, tr))
        return;
    int verdict = cgc_valid_move(g, ff, fr, tf, tr, 0);
    if (verdict == 1) {
        add(sink, ff, fr, tf, tr, 0);
    } else if (verdict == CGC_NEED_PROMOTION) {
        for (int piece : {CGC_QUEEN, CGC_ROOK, CGC_BISHOP, CGC_KNIGHT}) {
            if (cgc_valid_move(g, ff, fr, tf, tr, piece) == 1)
                add(sink, ff, fr, tf, tr, piece);
        }
    }
}

// Every square the piece on (f, r) could reach by its kind's pattern; the
// judge then decides. Sliding pieces stop at the first occupied square.
void offer_piece(game* g, move_sink& sink, int f, int r)
{
    int code = g->board[f][r];
    int first_ray = 0, last_ray = -1;
    switch (cgc_piece_type(code)) {
    case CGC_PAWN: {
        int ahead = color(code) == CGC_WHITE ? 1 : -1;
        for (int df = -1; df <= 1; ++df)
            offer(g, sink, f, r, f + df, r + ahead);
        offer(g, sink, f, r, f, r + 2 * ahead);
        break;
    }
    case CGC_KNIGHT:
        for (const auto& jump : knight_jumps)
            offer(g, sink, f, r, f + jump[0], r + jump[1]);
        break;
    case CGC_KING:
        for (const auto& step : ray_steps)
            offer(g, sink, f, r, f + step[0], r + step[1]);
        offer(g, sink, f, r, f - 2, r);
        offer(g, sink, f, r, f + 2, r);
        break;
    case CGC_BISHOP:
        last_ray = 3;
        break;
    case CGC_ROOK:
        first_ray = 4;
        last_ray = 7;
        break;
    case CGC_QUEEN:
        last_ray = 7;
        break;
    default:
        break;
    }
    for (int ray = first_ray; ray <= last_ray; ++ray) {
        int df = ray_steps[ray][0];
        int dr = ray_steps[ray][1];
        for (int tf = f + df, tr = r + dr; onboard(tf, tr); tf += df, tr += dr) {
            offer(g, sink, f, r, tf, tr);
            if (g->board[tf][tr] != CGC_EMPTY)
                break;
        }
    }
}

bool may_list(game* g)
{
    return g != nullptr && g->white_joined && g->black_joined;
}

} // namespace

int cgc_legal_moves(game* g, cgc_move* moves, int capacity)
{
    if (!may_list(g))
        return 0;
    move_sink sink{moves, capacity, 0};
    for (int f = 0; f < 8; ++f) {
        for (int r = 0; r < 8; ++r) {
            if (color(g->board[f][r]) == g->turn)
                offer_piece(g, sink, f, r);
        }
    }
    return sink.count;
}

int cgc_piece_moves(game* g, int file, int rank, cgc_move* moves, int capacity)
{
    if (!may_list(g) || !onboard(file, rank) || color(g->board[file][rank]) != g->turn)
        return 0;
    move_sink sink{moves, capacity, 0};
    offer_piece(g, sink, file, rank);
    return sink.count;
}

void cgc_move_text(const cgc_move* move, char* text)
{
    text[0] = static_cast<char>('A' + move->from_file);
    text[1] = static_cast<char>('1' + move->from_rank);
    text[2] = static_cast<char>('A' + move->to_file);
    text[3] = static_cast<char>('1' + move->to_rank);
    int end = 4;
    if (move->promote >= CGC_KNIGHT && move->promote <= CGC_QUEEN)
        text[end++] = "???NBRQ"[move->promote];
    text[end] = '\0';
}

void copy_to_scratch(cgc_scratch* scratch, const game* g)
{
    std::memcpy(&scratch->record, g, sizeof(game));
    for (int f = 0; f < 8; ++f) {
        scratch->rows[f] = scratch->squares + 8 * f;
        std::memcpy(scratch->rows[f], g->board[f], 8);
    }
    scratch->record.board = scratch->rows;
    for (cgc_position*& head : scratch->record.postab)
        head = nullptr;
}
