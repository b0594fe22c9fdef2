#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "EngineHelpers.h"
#include "cgc/movecheck.h"

namespace {

// A position (null: the initial one), the moves played from it and the
// result of each.
struct LineRow
{
    const char* name;
    const char* fen;
    std::vector<std::string> moves;
    std::vector<int> expected;
};

void PrintTo(const LineRow& row, std::ostream* out)
{
    *out << row.name;
}

std::vector<int> zeros_then(size_t zeros, int last)
{
    std::vector<int> results(zeros, CGC_MOVE_OK);
    results.push_back(last);
    return results;
}

std::vector<std::string> repeat(const std::vector<std::string>& cycle, int times)
{
    std::vector<std::string> moves;
    for (int i = 0; i < times; ++i)
        moves.insert(moves.end(), cycle.begin(), cycle.end());
    return moves;
}

class Line : public testing::TestWithParam<LineRow>
{
};

const std::vector<std::string> knight_cycle = {"G1F3", "G8F6", "F3G1", "F6G8"};

const LineRow mate_rows[] = {
    {"FoolsMate", nullptr, {"F2F3", "E7E5", "G2G4", "D8H4"}, {0, 0, 0, CGC_MATE}},
    {"ScholarsMate",
     nullptr,
     {"E2E4", "E7E5", "F1C4", "B8C6", "D1H5", "G8F6", "H5F7"},
     zeros_then(6, CGC_MATE)},
    // The only piece that reaches the checking rook is pinned to its king.
    {"MateWithPinnedCapturer", "7k/7p/5n1P/8/8/2B5/8/4R1K1 w - - 0 1", {"E1E8"}, {CGC_MATE}},
    {"CheckAnsweredByCapture", "7k/7p/5n1P/8/8/8/8/4R1K1 w - - 0 1", {"E1E8"}, {CGC_CHECK}},
    // Either checker alone could be taken or blocked.
    {"DoubleCheckMate", "6rk/3q3p/8/4N3/8/8/1B6/K7 w - - 0 1", {"E5F7"}, {CGC_MATE}},
    // The knight reaching H6 is pinned; the bishop arriving there is the answer.
    {"CheckAnsweredBySecondInterposer",
     "R5nk/8/4N3/8/8/4b3/8/KR6 w - - 0 1",
     {"B1H1", "G8H6", "E3H6"},
     {CGC_CHECK, CGC_ILLEGAL, CGC_MOVE_OK}},
    // Only the two-square step of the C pawn blocks the rook.
    {"CheckAnsweredByDoubleStep",
     "4k2r/8/pp6/8/K7/8/2P5/1nn5 b - - 0 1",
     {"H8H4", "C2C4"},
     {CGC_CHECK, CGC_MOVE_OK}},
};
INSTANTIATE_TEST_SUITE_P(Mates, Line, testing::ValuesIn(mate_rows),
                         [](const auto& info) { return std::string(info.param.name); });

const LineRow stalemate_rows[] = {
    {"BareKing", "7k/8/6K1/8/8/8/8/5Q2 w - - 0 1", {"F1F7"}, {CGC_STALEMATE}},
    {"KingAndBlockedPawn", "7k/8/8/p7/P7/8/8/K5Q1 w - - 0 1", {"G1G6"}, {CGC_STALEMATE}},
    {"PawnCaptureLeft", "7k/8/8/p7/PN6/8/8/K5Q1 w - - 0 1", {"G1G6", "A5B4"}, {0, 0}},
    {"EnPassantLeft", "7k/8/6Q1/8/1p6/1P6/P7/K7 w - - 0 1", {"A2A4", "B4A3"}, {0, 0}},
    {"PromotingCaptureLeft",
     "7k/8/8/6Q1/8/8/2p5/KNB5 w - - 0 1",
     {"G5G6", "C2C1Q", "C2B1", "C2B1N"},
     {0, CGC_ILLEGAL, CGC_NEED_PROMOTION, 0}},
    // A pinned rook may still slide along the line of its pin.
    {"PinnedRookSlides", "kr6/8/K7/8/8/8/8/7R w - - 0 1", {"H1H8", "B8C8"}, {0, 0}},
    // Stalemate with only a bishop left: the dead position wins.
    {"StalemateWithBishop", "k7/8/1K6/8/5B2/8/8/8 w - - 0 1", {"F4E5"}, {CGC_DRAW_MATERIAL}},
};
INSTANTIATE_TEST_SUITE_P(Stalemates, Line, testing::ValuesIn(stalemate_rows),
                         [](const auto& info) { return std::string(info.param.name); });

const LineRow material_rows[] = {
    {"KingAgainstKing", "8/8/8/3k4/8/3K4/8/8 w - - 0 1", {"D3D2"}, {CGC_DRAW_MATERIAL}},
    {"Bishop", "4k3/8/8/8/8/8/8/2B1K3 w - - 0 1", {"E1E2"}, {CGC_DRAW_MATERIAL}},
    {"Knight", "4k3/8/8/8/8/8/8/1N2K3 w - - 0 1", {"E1E2"}, {CGC_DRAW_MATERIAL}},
    {"BishopsOnLightSquares", "2b1k3/8/8/8/8/3B4/8/4KB2 w - - 0 1", {"E1E2"}, {CGC_DRAW_MATERIAL}},
    {"CaptureLeavesSameColouredBishops",
     "2b1k3/8/8/8/8/8/8/3nKB2 w - - 0 1",
     {"E1D1"},
     {CGC_DRAW_MATERIAL}},
    {"OppositeBishops", "2b1k3/8/8/8/8/8/8/2B1K3 w - - 0 1", {"E1E2"}, {0}},
    {"TwoKnights", "4k3/8/8/8/8/8/8/1N2KN2 w - - 0 1", {"E1E2"}, {0}},
    {"BishopAndKnight", "4k3/8/8/8/8/8/8/1NB1K3 w - - 0 1", {"E1E2"}, {0}},
    {"KnightEach", "1n2k3/8/8/8/8/8/8/1N2K3 w - - 0 1", {"E1E2"}, {0}},
    {"BishopAgainstKnight", "1n2k3/8/8/8/8/8/8/2B1K3 w - - 0 1", {"E1E2"}, {0}},
    {"BishopAgainstPawn", "4k3/7p/8/8/8/8/8/2B1K3 w - - 0 1", {"E1E2"}, {0}},
};
INSTANTIATE_TEST_SUITE_P(Material, Line, testing::ValuesIn(material_rows),
                         [](const auto& info) { return std::string(info.param.name); });

const LineRow fifty_rows[] = {
    {"DrawnOnTheHundredthHalfMoveOnly",
     "4k3/8/8/8/8/8/8/R3K3 w - - 98 1",
     {"A1A2", "E8D8", "A2A3"},
     {0, CGC_DRAW_FIFTY, 0}},
    {"PawnMoveRestarts", "4k3/8/8/8/8/8/P7/R3K3 w - - 99 1", {"A2A3"}, {0}},
    {"MateOnTheHundredthIsMate", "6k1/5ppp/8/8/8/8/8/R5K1 w - - 99 1", {"A1A8"}, {CGC_MATE}},
    {"CheckOnTheHundredthDraws", "6k1/5pp1/8/8/8/8/8/R5K1 w - - 99 1", {"A1A8"}, {CGC_DRAW_FIFTY}},
    {"StalemateOnTheHundredthDraws", "7k/8/6K1/8/8/8/8/5Q2 w - - 99 1", {"F1F7"}, {CGC_DRAW_FIFTY}},
};
INSTANTIATE_TEST_SUITE_P(FiftyMoves, Line, testing::ValuesIn(fifty_rows),
                         [](const auto& info) { return std::string(info.param.name); });

const LineRow repetition_rows[] = {
    {"KnightShuffle", nullptr, repeat(knight_cycle, 2), std::vector<int>(8, 0)},
    {"KnightShuffleNinthMove", nullptr, {}, {}}, // filled in below
    // Rooks step aside and back: the same boards, but without the king-side rights.
    {"CastlingRightsDiffer",
     nullptr,
     {"G1F3", "G8F6", "H1G1", "H8G8", "G1H1", "G8H8", "F3G1", "F6G8", "G1F3", "G8F6", "F3G1",
      "F6G8", "G1F3", "G8F6"},
     zeros_then(13, CGC_DRAW_REPETITION)},
    // A rook cycle of three against a king cycle of two: each board returns
    // every six half-moves, with the other side to move every other time.
    {"SideToMoveDiffers",
     "7k/8/8/8/8/8/8/R6K w - - 0 1",
     repeat({"A1A3", "H8G8", "A3A2", "G8H8", "A2A1", "H8G8", "A1A3", "G8H8", "A3A2", "H8G8", "A2A1",
             "G8H8"},
            2),
     {}},
    {"LegalEnPassantDiffers",
     nullptr,
     {"E2E4", "G8F6", "E4E5", "D7D5", "G1F3", "F6G8", "F3G1", "G8F6", "G1F3", "F6G8", "F3G1",
      "G8F6", "G1F3"},
     zeros_then(12, CGC_DRAW_REPETITION)},
    {"ImpossibleEnPassantDoesNotDiffer",
     nullptr,
     {"E2E4", "G8F6", "G1F3", "F6G8", "F3G1", "G8F6", "G1F3", "F6G8", "F3G1"},
     zeros_then(8, CGC_DRAW_REPETITION)},
};

std::vector<LineRow> repetition_table()
{
    std::vector<LineRow> rows(std::begin(repetition_rows), std::end(repetition_rows));
    rows[1].moves = repeat(knight_cycle, 3);
    rows[1].moves.resize(10);
    rows[1].expected = zeros_then(8, CGC_DRAW_REPETITION);
    rows[1].expected.push_back(CGC_DRAW_REPETITION);
    rows[3].expected = zeros_then(24, CGC_DRAW_REPETITION);
    rows[3].moves.push_back("A1A3");
    return rows;
}
INSTANTIATE_TEST_SUITE_P(Repetition, Line, testing::ValuesIn(repetition_table()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

TEST_P(Line, Results)
{
    const LineRow& row = GetParam();
    game* g = row.fen != nullptr ? game_from_fen(row.fen) : new_seated_game();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(play(g, row.moves), row.expected);
    cgc_free_game(g);
}

TEST(GameState, CountersAndEnPassantFile)
{
    game* g = new_seated_game();
    play(g, {"G1F3"});
    EXPECT_EQ(g->quiet_moves, 1);
    EXPECT_EQ(g->ep_file, -1);
    play(g, {"G8F6"});
    EXPECT_EQ(g->quiet_moves, 2);
    play(g, {"E2E4"});
    EXPECT_EQ(g->quiet_moves, 1);
    EXPECT_EQ(g->ep_file, 4);
    EXPECT_STREQ(g->last_move, "E2E4");
    play(g, {"B8C6", "F1B5", "D7D5"});
    EXPECT_EQ(g->ep_file, 3);
    EXPECT_EQ(g->quiet_moves, 1);
    play(g, {"B5C6"});
    EXPECT_EQ(g->ep_file, -1);
    EXPECT_EQ(g->quiet_moves, 1);
    // Only the position after the capture is in the table.
    int entries = 0;
    for (cgc_position* head : g->postab)
        for (cgc_position* entry = head; entry != nullptr; entry = entry->next)
            ++entries;
    EXPECT_EQ(entries, 1);
    cgc_free_game(g);

    g = new_seated_game();
    play(g, {"E2E4"});
    EXPECT_EQ(g->quiet_moves, 1);
    cgc_free_game(g);
}

TEST(GameState, PromotionPlacesTheChosenPiece)
{
    for (auto [letter, code] : {std::pair{'Q', 0x46}, {'R', 0x45}, {'B', 0x44}, {'N', 0x43}}) {
        game* g = game_from_fen("8/4P3/8/8/8/8/7P/k1K5 w - - 0 1");
        char move[8] = {'E', '7', 'E', '8', letter, '\0'};
        EXPECT_EQ(cgc_make_move(g, move), 0) << letter;
        EXPECT_EQ(g->board[4][7], code) << letter;
        EXPECT_EQ(g->board[4][6], CGC_EMPTY) << letter;
        cgc_free_game(g);
    }
    game* g = game_from_fen("K7/7P/8/8/8/8/3p4/7k b - - 0 1");
    EXPECT_EQ(play(g, {"D2D1N"}), std::vector<int>{0});
    EXPECT_EQ(g->board[3][0], CGC_KNIGHT);
    cgc_free_game(g);
}

TEST(GameState, CastlingRightsFollowKingsAndCorners)
{
    // Castling moves the rook and costs both rights of the mover only.
    game* g = game_from_fen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    EXPECT_EQ(play(g, {"E1G1"}), std::vector<int>{0});
    EXPECT_EQ(g->board[5][0], CGC_WHITE | CGC_ROOK);
    EXPECT_EQ(g->board[7][0], CGC_EMPTY);
    EXPECT_EQ(g->white_castle_king + g->white_castle_queen, 0);
    EXPECT_EQ(g->black_castle_king + g->black_castle_queen, 2);
    EXPECT_EQ(play(g, {"E8E7"}), std::vector<int>{0});
    EXPECT_EQ(g->black_castle_king + g->black_castle_queen, 0);
    EXPECT_EQ(g->black_king_file, 4);
    EXPECT_EQ(g->black_king_rank, 6);
    cgc_free_game(g);

    // A rook taken on its corner takes its side's right with it.
    g = game_from_fen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    EXPECT_EQ(play(g, {"A1A8"}), std::vector<int>{CGC_CHECK});
    EXPECT_EQ(g->white_castle_queen, 0);
    EXPECT_EQ(g->black_castle_queen, 0);
    EXPECT_EQ(g->white_castle_king, 1);
    EXPECT_EQ(g->black_castle_king, 1);
    cgc_free_game(g);

    // Another rook leaving the H file keeps the right.
    g = game_from_fen("4k3/8/8/8/8/8/7R/4K2R w K - 0 1");
    EXPECT_EQ(play(g, {"H2G2", "E8D8", "E1G1"}), (std::vector<int>{0, 0, 0}));
    cgc_free_game(g);

    // A rook that left its corner does not bring the right back.
    g = game_from_fen("4k3/8/8/8/8/8/8/4K2R w K - 0 1");
    EXPECT_EQ(play(g, {"H1H2", "E8D8", "H2H1", "D8E8", "E1G1"}),
              (std::vector<int>{0, 0, 0, 0, CGC_ILLEGAL}));
    EXPECT_EQ(g->white_castle_king, 0);
    cgc_free_game(g);
}

// Random games: at every position the verdict on the move that led there must
// agree with the number of legal replies. Games with two queens against a bare
// king end in mates and stalemates often enough to exercise both.
TEST(GameState, VerdictsAgreeWithTheMovesLeftInRandomGames)
{
    const std::pair<const char*, int> starts[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 8},
        {"4k3/8/8/8/8/8/8/QQ2K3 w - - 0 1", 24},
        {"4k3/pppp4/8/8/8/8/PPPP4/RQ2K2R w K - 0 1", 16},
    };
    std::mt19937 random(2024);
    int checked = 0, stalemates = 0, mates = 0;
    for (auto [fen, games] : starts) {
        for (int round = 0; round < games; ++round) {
            game* g = game_from_fen(fen);
            ASSERT_NE(g, nullptr);
            int result = CGC_MOVE_OK;
            for (int ply = 0; ply < 150; ++ply) {
                std::vector<std::string> legal = legal_moves(g);
                if (result == CGC_STALEMATE || result == CGC_MATE) {
                    EXPECT_TRUE(legal.empty()) << board_text(g);
                    stalemates += result == CGC_STALEMATE;
                    mates += result == CGC_MATE;
                }
                if (result == CGC_MOVE_OK || result == CGC_CHECK) {
                    EXPECT_FALSE(legal.empty()) << board_text(g);
                }
                ++checked;
                if (legal.empty())
                    break;
                char text[8];
                std::strcpy(text, legal[random() % legal.size()].c_str());
                result = cgc_make_move(g, text);
                ASSERT_GE(result, 0);
                EXPECT_EQ(g->board[g->white_king_file][g->white_king_rank], CGC_WHITE | CGC_KING);
                EXPECT_EQ(g->board[g->black_king_file][g->black_king_rank], CGC_KING);
            }
            cgc_free_game(g);
        }
    }
    EXPECT_GT(stalemates, 0);
    EXPECT_GT(mates, 0);
    EXPECT_GT(checked, 1000);
}
