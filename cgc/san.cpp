#include <cstdlib>
#include <cstring>

#include "cgc/movecheck.h"

namespace {

// Letters of the piece types in notation, by colourless code.
const char piece_letters[] = "??PNBRQK";

char* put_square(char* out, int file, int rank)
{
    *out++ = static_cast<char>('a' + file);
    *out++ = static_cast<char>('1' + rank);
    return out;
}

// '+' when the legal move gives check, '#' when it mates, else 0; judged as
// cgc_make_move judges it, on a copy of the position.
char check_mark(const game* g, const cgc_move* m)
{
    cgc_scratch scratch;
    copy_to_scratch(&scratch, g);
    game* after = &scratch.record;
    cgc_do_move(after, m->from_file, m->from_rank, m->to_file, m->to_rank, m->promote);
    bool white = after->turn == CGC_WHITE;
    int kf = white ? after->white_king_file : after->black_king_file;
    int kr = white ? after->white_king_rank : after->black_king_rank;
    if (!find_attacker(after, kf, kr, nullptr, nullptr))
        return 0;
    return has_legal_move(after) ? '+' : '#';
}

int piece_code(char letter)
{
    const char* found = std::strchr(piece_letters + 2, letter);
    return letter != '\0' && found != nullptr ? static_cast<int>(found - piece_letters) : 0;
}

bool is_file(char c)
{
    return c >= 'a' && c <= 'h';
}

bool is_rank(char c)
{
    return c >= '1' && c <= '8';
}

// What a SAN text asks for: castling, or a piece kind with its target and
// whatever part of its origin the text gives (-1 where it gives none).
struct san_request
{
    int castle_file = -1; // 6 king side, 2 queen side
    int piece = CGC_PAWN;
    int from_file = -1;
    int from_rank = -1;
    int to_file = -1;
    int to_rank = -1;
    int promote = 0;
};

bool parse(const char* text, san_request& request)
{
    char s[32];
    std::size_t n = std::strlen(text);
    if (n >= sizeof s)
        return false;
    std::memcpy(s, text, n + 1);
    // The check mark is recomputed, never trusted; annotation marks go too.
    while (n > 0 && std::strchr("!?+#", s[n - 1]) != nullptr)
        --n;
    if (n >= 4 && std::memcmp(s + n - 4, "e.p.", 4) == 0) {
        n -= 4;
        while (n > 0 && s[n - 1] == ' ')
            --n;
    }
    s[n] = '\0';
    if (std::strcmp(s, "O-O") == 0 || std::strcmp(s, "0-0") == 0) {
        request.castle_file = 6;
        return true;
    }
    if (std::strcmp(s, "O-O-O") == 0 || std::strcmp(s, "0-0-0") == 0) {
        request.castle_file = 2;
        return true;
    }
    if (n >= 2 && is_rank(s[n - 2]) && piece_code(s[n - 1]) >= CGC_KNIGHT &&
        piece_code(s[n - 1]) <= CGC_QUEEN) {
        request.promote = piece_code(s[--n]);
    } else if (n >= 3 && s[n - 2] == '=') {
        request.promote = piece_code(s[n - 1]);
        if (request.promote < CGC_KNIGHT || request.promote > CGC_QUEEN)
            return false;
        n -= 2;
    }
    if (n < 2 || !is_file(s[n - 2]) || !is_rank(s[n - 1]))
        return false;
    request.to_file = s[n - 2] - 'a';
    request.to_rank = s[n - 1] - '1';
    n -= 2;
    std::size_t i = 0;
    if (n > 0 && piece_code(s[0]) > CGC_PAWN) {
        request.piece = piece_code(s[0]);
        i = 1;
    }
    if (i < n && is_file(s[i]))
        request.from_file = s[i++] - 'a';
    if (i < n && is_rank(s[i]))
        request.from_rank = s[i++] - '1';
    bool capture = i < n && s[i] == 'x';
    if (capture)
        ++i;
    // A pawn capture names the file it leaves.
    if (request.piece == CGC_PAWN && capture && request.from_file < 0)
        return false;
    return i == n;
}

} // namespace

int cgc_write_san(game* g, const cgc_move* m, char* san)
{
    san[0] = '\0';
    if (g == nullptr)
        return CGC_NO_GAME;
    int ff = m->from_file, fr = m->from_rank, tf = m->to_file, tr = m->to_rank;
    int verdict = cgc_valid_move(g, ff, fr, tf, tr, m->promote);
    if (verdict != 1)
        return verdict;
    unsigned char** b = g->board;
    int code = b[ff][fr];
    int type = cgc_piece_type(code);
    bool capture = b[tf][tr] != CGC_EMPTY || (type == CGC_PAWN && tf != ff);
    char* out = san;
    if (type == CGC_KING && std::abs(tf - ff) == 2) {
        std::strcpy(out, tf == 2 ? "O-O-O" : "O-O");
        out += std::strlen(out);
    } else if (type == CGC_PAWN) {
        if (capture) {
            *out++ = static_cast<char>('a' + ff);
            *out++ = 'x';
        }
        out = put_square(out, tf, tr);
        if (tr == 0 || tr == 7) {
            *out++ = '=';
            *out++ = piece_letters[m->promote];
        }
    } else {
        *out++ = piece_letters[type];
        // Name the origin by file if that tells it from every other piece
        // of its kind that may go there, else by rank, else by both.
        bool rival = false, same_file = false, same_rank = false;
        for (int f = 0; f < 8; ++f) {
            for (int r = 0; r < 8; ++r) {
                if ((f != ff || r != fr) && b[f][r] == code &&
                    cgc_valid_move(g, f, r, tf, tr, 0) == 1) {
                    rival = true;
                    same_file = same_file || f == ff;
                    same_rank = same_rank || r == fr;
                }
            }
        }
        if (rival && (!same_file || same_rank))
            *out++ = static_cast<char>('a' + ff);
        if (rival && same_file)
            *out++ = static_cast<char>('1' + fr);
        if (capture)
            *out++ = 'x';
        out = put_square(out, tf, tr);
    }
    char mark = check_mark(g, m);
    if (mark != 0)
        *out++ = mark;
    *out = '\0';
    return 0;
}

int cgc_read_san(game* g, const char* san, cgc_move* move)
{
    if (g == nullptr)
        return CGC_NO_GAME;
    if (!g->white_joined || !g->black_joined)
        return CGC_NOT_SEATED;
    san_request want;
    if (san == nullptr || !parse(san, want))
        return CGC_ILLEGAL;
    // Every piece of the kind asked for, from where the text allows, is
    // offered to the engine's own judge.
    int side = g->turn;
    int back = side == CGC_WHITE ? 0 : 7;
    bool castle = want.castle_file >= 0;
    if (castle) {
        want = {want.castle_file, CGC_KING, 4, back, want.castle_file, back, 0};
    }
    int found = 0;
    bool unpromoted = false;
    for (int f = 0; f < 8; ++f) {
        for (int r = 0; r < 8; ++r) {
            if (g->board[f][r] != (side | want.piece) ||
                (want.from_file >= 0 && f != want.from_file) ||
                (want.from_rank >= 0 && r != want.from_rank))
                continue;
            // Castling is written only as such; without a file of origin, a
            // pawn steps straight ahead.
            if ((want.piece == CGC_KING && !castle && std::abs(want.to_file - f) == 2) ||
                (want.piece == CGC_PAWN && want.from_file < 0 && f != want.to_file))
                continue;
            int verdict = cgc_valid_move(g, f, r, want.to_file, want.to_rank, want.promote);
            bool promotion = want.piece == CGC_PAWN && (want.to_rank == 0 || want.to_rank == 7);
            // Any piece will do to learn whether the promotion itself is legal.
            unpromoted =
                unpromoted || (verdict == CGC_NEED_PROMOTION &&
                               cgc_valid_move(g, f, r, want.to_file, want.to_rank, CGC_QUEEN) == 1);
            if (verdict != 1 || (want.promote != 0 && !promotion))
                continue;
            *move = {static_cast<int8_t>(f), static_cast<int8_t>(r),
                     static_cast<int8_t>(want.to_file), static_cast<int8_t>(want.to_rank),
                     static_cast<int8_t>(want.promote)};
            ++found;
        }
    }
    if (found == 1)
        return 0;
    if (found > 1)
        return CGC_AMBIGUOUS;
    return unpromoted ? CGC_NEED_PROMOTION : CGC_ILLEGAL;
}
