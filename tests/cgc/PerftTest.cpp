// Perft against the published counts. At every node the listing must equal
// the move texts cgc_make_move accepts and the verdict that led there must
// agree with it; three plies deep, every move's SAN must read back.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

#include <gtest/gtest.h>

#include "EngineHelpers.h"

namespace {

struct PerftRow
{
    const char* name;
    const char* fen;
    int depth;
    uint64_t nodes;
    int64_t checks, mates; // -1 where none are published
};

const PerftRow rows[] = {
    {"Initial", "startpos", 4, 197281, 469, 8},
    {"Kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 3, 97862, 993,
     1},
    {"Position3", "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", 4, 43238, 1680, 17},
    {"Position4", "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -", 3, 9467, 38, 22},
    {"Position4Mirrored", "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ -", 3, 9467,
     38, 22},
    {"Position5", "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -", 3, 62379, -1, -1},
};

struct Counts
{
    uint64_t nodes = 0, checks = 0, mates = 0;
    std::vector<std::string> faults;
};

// Offers cgc_make_move every from-to text, and each promotion letter where asked.
std::set<std::string> accepted(const game* node, game* child)
{
    std::set<std::string> texts;
    copy_position(child, node);
    for (int from = 0; from < 64; ++from) {
        for (int to = 0; to < 64; ++to) {
            for (const char* letter : {"", "Q", "R", "B", "N"}) {
                char text[8] = {static_cast<char>('A' + from / 8),
                                static_cast<char>('1' + from % 8), static_cast<char>('A' + to / 8),
                                static_cast<char>('1' + to % 8)};
                int result = cgc_make_move(child, std::strcat(text, letter));
                if (result >= 0 && texts.insert(text).second)
                    copy_position(child, node);
                if (*letter == '\0' && result != CGC_NEED_PROMOTION)
                    break;
            }
        }
    }
    return texts;
}

// The SAN of a legal move carries the engine's check verdict and reads back
// as the move, also in the usual variants; without its disambiguation or its
// promotion piece it is refused. Returns what is wrong, or nothing.
std::string san_fault(game* node, const cgc_move& m, int result)
{
    char san[CGC_SAN_SIZE];
    cgc_write_san(node, &m, san);
    std::string s = san, core = s.substr(0, s.find_first_of("+#"));
    char mark = s.size() > core.size() ? s.back() : ' ';
    if (result != CGC_DRAW_FIFTY && result != CGC_DRAW_REPETITION &&
        mark != (result == CGC_CHECK  ? '+'
                 : result == CGC_MATE ? '#'
                                      : ' '))
        return s + " with verdict " + std::to_string(result);
    std::vector<std::pair<std::string, int>> readings = {{s, 0}, {core + "!?", 0}};
    std::size_t promotion = core.find('='), capture = core.find('x');
    std::string x = capture != std::string::npos ? "x" : "";
    if (core[0] == 'O') {
        std::replace(core.begin(), core.end(), 'O', '0');
        readings.push_back({core, 0});
    } else if (std::isupper(core[0])) {
        std::string to = core.substr(core.size() - 2);
        std::string from = {static_cast<char>('a' + m.from_file),
                            static_cast<char>('1' + m.from_rank)};
        readings.push_back({core[0] + from + x + to, 0});
        if (core.size() > 3 + x.size())
            readings.push_back({core[0] + x + to, CGC_AMBIGUOUS});
    } else if (promotion != std::string::npos) {
        readings.push_back({std::string(core).erase(promotion, 1), 0});
        readings.push_back({core.substr(0, promotion), CGC_NEED_PROMOTION});
    } else if (!x.empty() && node->board[m.to_file][m.to_rank] == CGC_EMPTY) {
        readings.push_back({core + "e.p.", 0});
    }
    for (const auto& [text, code] : readings) {
        cgc_move back{};
        int got = cgc_read_san(node, text.c_str(), &back);
        if (got != code || (code == 0 && std::memcmp(&back, &m, sizeof m) != 0))
            return text + " for " + s + " reads as " + std::to_string(got);
    }
    return "";
}

std::size_t walk(game* node, int depth, int ply, std::vector<game*>& children, Counts& counts)
{
    game* child = children[ply];
    std::vector<std::string> listed = listed_moves(node), by_square;
    for (int square = 0; square < 64; ++square) {
        cgc_move moves[CGC_MAX_MOVES];
        int count = cgc_piece_moves(node, square / 8, square % 8, moves, CGC_MAX_MOVES);
        for (int i = 0; i < count; ++i)
            by_square.push_back(text_of(moves[i]));
    }
    std::set<std::string> unique(listed.begin(), listed.end());
    if (unique != accepted(node, child) || unique.size() != listed.size() || by_square != listed)
        counts.faults.push_back("listing differs at " + fen_of(node));
    for (const std::string& text : listed) {
        copy_position(child, node);
        char buffer[8];
        int result = cgc_make_move(child, std::strcpy(buffer, text.c_str()));
        std::string fault = ply < 3 ? san_fault(node, move_of(text), result) : "";
        if (!fault.empty())
            counts.faults.push_back(fault + " at " + fen_of(node));
        if (depth == 1) {
            ++counts.nodes;
            counts.checks += result == CGC_CHECK || result == CGC_MATE;
            counts.mates += result == CGC_MATE;
            continue;
        }
        std::size_t replies = walk(child, depth - 1, ply + 1, children, counts);
        bool ended = result == CGC_STALEMATE || result == CGC_MATE;
        if ((ended || result == CGC_MOVE_OK || result == CGC_CHECK) && ended != (replies == 0))
            counts.faults.push_back("verdict " + std::to_string(result) + " at " + fen_of(child));
    }
    return listed.size();
}

void PrintTo(const PerftRow& row, std::ostream* out)
{
    *out << row.name;
}

class Perft : public testing::TestWithParam<PerftRow>
{
};

} // namespace

TEST_P(Perft, CountsMatchThePublishedFigures)
{
    const PerftRow& row = GetParam();
    game* root = game_from_fen(row.fen);
    ASSERT_NE(root, nullptr);
    std::vector<game*> children;
    for (int i = 0; i < row.depth; ++i)
        children.push_back(game_from_fen("startpos"));
    Counts counts;
    walk(root, row.depth, 0, children, counts);
    EXPECT_EQ(counts.nodes, row.nodes);
    if (row.checks >= 0) {
        EXPECT_EQ(static_cast<int64_t>(counts.checks), row.checks);
        EXPECT_EQ(static_cast<int64_t>(counts.mates), row.mates);
    }
    for (std::size_t i = 0; i < counts.faults.size() && i < 5; ++i)
        ADD_FAILURE() << counts.faults[i];
    for (game* g : children)
        cgc_free_game(g);
    cgc_free_game(root);
}

INSTANTIATE_TEST_SUITE_P(Positions, Perft, testing::ValuesIn(rows));
