#include <gtest/gtest.h>

#include "EngineHelpers.h"

namespace {

struct PerftRow
{
    const char* name;
    const char* fen;
    int depth;
    uint64_t nodes;
    // Published counts of leaves in check and of mates; -1 where none are published.
    int64_t checks;
    int64_t mates;
};

const PerftRow rows[] = {
    {"Initial", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 4, 197281, 469, 8},
    {"Kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 3, 97862,
     993, 1},
    {"Position3", "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 4, 43238, 1680, 17},
    {"Position4", "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 3, 9467, 38,
     22},
    {"Position4Mirrored", "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1", 3,
     9467, 38, 22},
    {"Position5", "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 0 8", 3, 62379, -1, -1},
};

void PrintTo(const PerftRow& row, std::ostream* out)
{
    *out << row.name << " to depth " << row.depth;
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
    PerftCounts counts = perft(root, row.depth);
    EXPECT_EQ(counts.nodes, row.nodes);
    if (row.checks >= 0) {
        EXPECT_EQ(static_cast<int64_t>(counts.checks), row.checks);
        EXPECT_EQ(static_cast<int64_t>(counts.mates), row.mates);
    }
    // Every inner node's verdict agrees with the moves found below it.
    EXPECT_EQ(counts.verdict_errors, 0u);
    cgc_free_game(root);
}

INSTANTIATE_TEST_SUITE_P(Positions, Perft, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<PerftRow>& info) {
                             return std::string(info.param.name);
                         });
