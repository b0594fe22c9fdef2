// What the perft oracle cannot show: seats, refusal codes and their order, the
// reading of move texts, castling's special conditions, the record after a
// move, and the draw rules.
#include <algorithm>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "EngineHelpers.h"

namespace {

struct MoveRow
{
    const char* fen;     // "startpos"; "unseated": the initial position, seats free
    const char* moves;   // move texts separated by blanks; "+W", "+B", "+5" join
                         // that colour, "-0" quits that side, "#" lists the moves
    const char* results; // one result per move; "0*8" stands for eight zeros
    const char* after;   // applied: the FEN afterwards; refused: the caller's
                         // buffer afterwards; null: not checked
};

const MoveRow rows[] = {
    // Seats: moves wait for both, the board is judged first.
    {"unseated", "E2E9 E7E5 # +W +W +5 E2E4 +B +W # -2 -1 +W E2E4",
     "-1 -2 0 0 -7 0 -2 0 -6 20 -1 0 -7 -2", nullptr},
    // Refusals: the side to move is judged before the squares.
    {"startpos", "E7E5", "-3", nullptr},
    {"startpos", "E3E4", "-3", nullptr},
    {"startpos", "E2E2", "-1", nullptr},
    // Move texts: upper case only, characters after the fifth ignored,
    // castling rewritten in the caller's buffer even when refused.
    {"startpos", "e2e4", "-1", "e2e4"},
    {"startpos", "E2E9", "-1", nullptr},
    {"startpos", "E2", "-1", nullptr},
    {"startpos", "E2E4QXYZ", "0", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 1"},
    {"startpos", "O-O", "-1", "E1G1"},
    {"startpos", "E2E4 O-O", "0 -1", "E8G8"},
    {"startpos", "o-o", "-1", "o-o"},
    // A pawn leaving its seventh rank needs a piece, whatever its target.
    {"4r2k/4P3/8/8/8/8/7P/K7 w - - 0 1", "E7E8", "-8", nullptr},
    {"4r2k/4P3/8/8/8/8/7P/K7 w - - 0 1", "E7D8", "-8", nullptr},
    {"4r2k/4P3/8/8/8/8/7P/K7 w - - 0 1", "E7E8q", "-8", nullptr},
    {"4r2k/4P3/8/8/8/8/7P/K7 w - - 0 1", "E7E8Q", "-1", nullptr},
    {"3r4/4P3/7k/8/8/8/7P/K7 w - - 0 1", "E7D8N", "0", "3N4/8/7k/8/8/8/7P/K7 b - - 1"},
    // En passant: for one move only, and not when it opens the king's rank.
    {"startpos", "E2E4 A7A6 E4E5 D7D5 E5D6", "0*5",
     "rnbqkbnr/1pp1pppp/p2P4/8/8/8/PPPP1PPP/RNBQKBNR b KQkq - 1"},
    {"startpos", "E2E4 A7A6 E4E5 D7D5 H2H3 H7H6 E5D6", "0*6 -1", nullptr},
    // Castling: the rook comes along, the mover's rights go.
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "E1G1", "0", "r3k2r/8/8/8/8/8/8/R4RK1 b kq - 1"},
    {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "O-O-O", "0", "2kr3r/8/8/8/8/8/8/R3K2R w KQ - 1"},
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "A1A8", "6", "R3k2r/8/8/8/8/8/8/4K2R b Kk - 1"},
    {"4k3/8/8/8/8/8/8/4K2R w K - 0 1", "H1H2 E8D8 H2H1 D8E8 E1G1", "0*4 -1", nullptr},
    // Not out of, through or into check; the square beside the rook may be attacked.
    {"4r2k/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1C1", "-1", nullptr},
    {"4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1G1", "-1", nullptr},
    {"3rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1C1", "-1", nullptr},
    {"4k1r1/8/8/8/8/8/8/R3K2R w KQ - 0 1", "E1G1", "-1", nullptr},
    {"1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "O-O-O", "0", "1r2k3/8/8/8/8/8/8/2KR3R b - - 1"},
    // Not without the right, past a piece, or without the rook.
    {"4k3/8/8/8/8/8/8/R3K2R w K - 0 1", "E1C1", "-1", nullptr},
    {"4k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1", "E1C1", "-1", nullptr},
    {"4k3/8/8/8/8/8/8/R3K3 w KQ - 0 1", "E1G1", "-1", nullptr},
    // Fifty moves: drawn on exactly the hundredth quiet half-move, unless mated.
    {"4k3/8/8/8/8/8/8/R3K3 w - - 98 1", "A1A2 E8D8 A2A3", "0 3 0", nullptr},
    {"4k3/8/8/8/8/8/P7/R3K3 w - - 99 1", "A2A3", "0", nullptr},
    {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 99 1", "A1A8", "7", nullptr},
    {"6k1/5pp1/8/8/8/8/8/R5K1 w - - 99 1", "A1A8", "3", nullptr},
    {"7k/8/6K1/8/8/8/8/5Q2 w - - 99 1", "F1F7", "3", nullptr},
    // Threefold repetition: positions count after moves only, and differ by
    // side to move, castling rights and a legal en-passant capture.
    {"startpos", "G1F3 G8F6 F3G1 F6G8 G1F3 G8F6 F3G1 F6G8 G1F3 G8F6", "0*8 4 4", nullptr},
    {"startpos", "G1F3 G8F6 H1G1 H8G8 G1H1 G8H8 F3G1 F6G8 G1F3 G8F6 F3G1 F6G8 G1F3 G8F6", "0*13 4",
     nullptr},
    {"7k/8/8/8/8/8/8/R6K w - - 0 1",
     "A1A3 H8G8 A3A2 G8H8 A2A1 H8G8 A1A3 G8H8 A3A2 H8G8 A2A1 G8H8 A1A3 H8G8 A3A2 G8H8 A2A1 H8G8 "
     "A1A3 G8H8 A3A2 H8G8 A2A1 G8H8 A1A3",
     "0*24 4", nullptr},
    {"startpos", "E2E4 G8F6 E4E5 D7D5 G1F3 F6G8 F3G1 G8F6 G1F3 F6G8 F3G1 G8F6 G1F3", "0*12 4",
     nullptr},
    {"startpos", "E2E4 G8F6 G1F3 F6G8 F3G1 G8F6 G1F3 F6G8 F3G1", "0*8 4", nullptr},
    // Insufficient material, which also outranks stalemate.
    {"8/8/8/3k4/8/3K4/8/8 w - - 0 1", "D3D2", "5", nullptr},
    {"4k3/8/8/8/8/8/8/2B1K3 w - - 0 1", "E1E2", "5", nullptr},
    {"4k3/8/8/8/8/8/8/1N2K3 w - - 0 1", "E1E2", "5", nullptr},
    {"2b1k3/8/8/8/8/3B4/8/4KB2 w - - 0 1", "E1E2", "5", nullptr},
    {"2b1k3/8/8/8/8/8/8/3nKB2 w - - 0 1", "E1D1", "5", nullptr},
    {"k7/8/1K6/8/5B2/8/8/8 w - - 0 1", "F4E5", "5", nullptr},
    {"2b1k3/8/8/8/8/8/8/2B1K3 w - - 0 1", "E1E2", "0", nullptr},
    {"4k3/8/8/8/8/8/8/1N2KN2 w - - 0 1", "E1E2", "0", nullptr},
    {"4k3/8/8/8/8/8/8/1NB1K3 w - - 0 1", "E1E2", "0", nullptr},
    {"1n2k3/8/8/8/8/8/8/1N2K3 w - - 0 1", "E1E2", "0", nullptr},
    {"1n2k3/8/8/8/8/8/8/2B1K3 w - - 0 1", "E1E2", "0", nullptr},
    {"4k3/7p/8/8/8/8/8/2B1K3 w - - 0 1", "E1E2", "0", nullptr},
};

std::vector<int> expand(const std::string& results)
{
    std::istringstream in(results);
    std::vector<int> codes;
    int code, times = 1;
    while (in >> code) {
        if (in.peek() == '*')
            in.ignore() >> times;
        codes.insert(codes.end(), times, code);
        times = 1;
    }
    return codes;
}

// Names a row by its place in the table; test names hold no blanks.
void PrintTo(const MoveRow& row, std::ostream* out)
{
    *out << "row" << std::find_if(std::begin(rows), std::end(rows), [&](const MoveRow& r) {
                         return r.fen == row.fen && r.moves == row.moves;
                     }) - std::begin(rows);
}

class Moves : public testing::TestWithParam<MoveRow>
{
};

} // namespace

TEST_P(Moves, Results)
{
    const MoveRow& row = GetParam();
    SCOPED_TRACE(std::string(row.fen) + ": " + row.moves);
    game* g = std::string(row.fen) == "unseated" ? cgc_create_game() : game_from_fen(row.fen);
    ASSERT_NE(g, nullptr);
    std::istringstream moves(row.moves);
    std::vector<int> results;
    std::vector<unsigned char> before;
    char buffer[16] = {};
    for (std::string move; moves >> move;) {
        before = snapshot(g);
        std::memset(buffer, 0, sizeof buffer);
        std::strncpy(buffer, move.c_str(), sizeof buffer - 1);
        if (move[0] == '+')
            results.push_back(cgc_join_game(g, move[1] == 'W'   ? CGC_WHITE
                                               : move[1] == 'B' ? CGC_BLACK
                                                                : move[1] - '0'));
        else if (move[0] == '-')
            results.push_back(cgc_quit_game(g, move[1] - '0'));
        else if (move[0] == '#')
            results.push_back(static_cast<int>(listed_moves(g).size()));
        else
            results.push_back(cgc_make_move(g, buffer));
    }
    EXPECT_EQ(results, expand(row.results));
    // A refused move leaves the record exactly as it was.
    if (results.back() < 0) {
        EXPECT_EQ(snapshot(g), before);
    }
    if (row.after != nullptr) {
        EXPECT_EQ(results.back() < 0 ? std::string(buffer) : fen_of(g), row.after);
    }
    cgc_free_game(g);
}

INSTANTIATE_TEST_SUITE_P(Table, Moves, testing::ValuesIn(rows));
