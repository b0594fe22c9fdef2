// Notation against independent judges: games written by another program must
// replay from their SAN to the same SAN, position and ending, and PGN written
// here must satisfy pgn-extract and read back unchanged.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "EngineHelpers.h"
#include "cgc/pgn.h"

namespace {

std::string file_text(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<cgc_pgn_game> read_all(std::string_view text, std::vector<std::string>* sans = nullptr)
{
    std::vector<cgc_pgn_game> games;
    cgc_pgn_game pgn;
    std::string problem;
    for (std::size_t at = 0, start = 0; cgc_read_pgn(text, &at, &pgn, &problem) != 0; start = at) {
        EXPECT_EQ(problem, "");
        games.push_back(pgn);
        // The movetext as written, less its move numbers and result.
        std::string movetext(text.substr(start, at - start));
        std::istringstream in(movetext.substr(movetext.find("\n\n")));
        std::string san;
        for (std::string token; in >> token && token != pgn.result;)
            san += token.back() == '.' ? "" : token + " ";
        if (sans != nullptr)
            sans->push_back(san);
    }
    return games;
}

std::string tag(const cgc_pgn_game& pgn, const std::string& name)
{
    for (const auto& [key, value] : pgn.other_tags)
        if (key == name)
            return value;
    return "";
}

std::string write_all(const std::vector<cgc_pgn_game>& games)
{
    std::string all, one;
    for (const cgc_pgn_game& pgn : games) {
        EXPECT_EQ(cgc_write_pgn(&pgn, &one), 0);
        all += one;
    }
    return all;
}

} // namespace

TEST(ReferenceGames, ReplayToTheSameNotationPositionAndEnding)
{
    // Each game goes on until its last move, which ends it as the reference
    // says; check outranks dead material, and dead material stalemate. Our
    // count of quiet moves runs one ahead, so the fifty-move draw comes a move early.
    const std::map<std::string, std::set<int>> endings = {{"", {0, 6}},
                                                          {"checkmate", {7}},
                                                          {"stalemate", {2, 5}},
                                                          {"fifty moves", {0, 6}},
                                                          {"threefold repetition", {4}},
                                                          {"insufficient material", {5, 6}}};
    std::vector<std::string> sans;
    std::vector<cgc_pgn_game> games =
        read_all(file_text(CGC_TEST_DATA "/reference-games.pgn"), &sans);
    ASSERT_EQ(games.size(), 300u);
    for (std::size_t i = 0; i < games.size(); ++i) {
        game* g = game_from_fen("startpos");
        std::string san_text, ending = tag(games[i], "Ending");
        for (std::size_t ply = 0, plies = games[i].moves.size(); ply < plies; ++ply) {
            char san[CGC_SAN_SIZE], text[8];
            cgc_move m = move_of(games[i].moves[ply]);
            cgc_write_san(g, &m, san);
            san_text += std::string(san) + " ";
            int result = cgc_make_move(g, std::strcpy(text, games[i].moves[ply].c_str()));
            std::set<int> allowed = ply + 1 == plies ? endings.at(ending) : std::set<int>{0, 6};
            if (ply + 2 == plies && ending == "fifty moves")
                allowed = {CGC_DRAW_FIFTY};
            EXPECT_TRUE(allowed.count(result))
                << games[i].event << " ply " << ply << ": " << result;
        }
        EXPECT_EQ(san_text, sans[i]) << games[i].event;
        // Placement, side to move and castling rights.
        std::istringstream ours(fen_of(g)), theirs(tag(games[i], "FinalFEN"));
        std::string a, b;
        for (int field = 0; field < 3; ++field) {
            ours >> a;
            theirs >> b;
            EXPECT_EQ(a, b) << games[i].event;
        }
        cgc_free_game(g);
    }
}

TEST(Pgn, WrittenGamesSatisfyPgnExtractAndReadBack)
{
    std::vector<cgc_pgn_game> games = read_all(file_text(CGC_TEST_DATA "/reference-games.pgn"));
    for (std::size_t i = 0; i < games.size(); i += 7) {
        games[i].white = "O\"Neil \\ the\nfirst";
        games[i].black = "Ærø";
        games[i].white_elo = 1500 + static_cast<int>(i);
        games[i].time_control = "300+5";
        games[i].termination = "normal";
    }
    std::string text = write_all(games);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        ASSERT_TRUE(line[0] == '[' || line.size() <= 79) << line;
    std::vector<cgc_pgn_game> read = read_all(text);
    ASSERT_EQ(read.size(), games.size());
    EXPECT_EQ(write_all(read), text);
    EXPECT_EQ(read[0].white, "O\"Neil \\ the first");

    std::string base = testing::TempDir() + "cgc-pgn-" + std::to_string(getpid());
    std::ofstream(base + ".pgn") << text;
    int status = std::system(("PATH=\"$PATH:/usr/games\" pgn-extract -s --nobadresults -l " + base +
                              ".log -o " + base + ".out " + base + ".pgn")
                                 .c_str());
    ASSERT_EQ(status, 0) << "pgn-extract is missing: install the Debian package pgn-extract";
    EXPECT_EQ(file_text(base + ".log"), "");
    EXPECT_EQ(read_all(file_text(base + ".out")).size(), games.size());
    for (const char* suffix : {".pgn", ".log", ".out"})
        std::remove((base + suffix).c_str());
}

TEST(Pgn, ReaderSkipsWhatIsNoMoveAndStopsAtABadOne)
{
    struct Row
    {
        const char* text;
        int status;
        std::size_t moves;
        const char* result;
        const char* problem;
    } rows[] = {
        {"1.e4 {a [comment]} e5 $1 2. Nf3!? (2. f4 exf4 {x}) 2... Nc6 ; to the end\n3. Bb5 1/2-1/2",
         1, 5, "1/2-1/2", ""},
        {"1. e4 d5 2. exd5 e5 3. dxe6 e.p. Nf6 4. Nf3 Be7 5. Be2 0-0 *", 1, 10, "*", ""},
        {"[Result \"0-1\"]\n1. f3 e5 2. g4 Qh4#\n[Event \"next\"]", 1, 4, "0-1", ""},
        {"[Event \"x\"]\n\n1. e4 e5 2. Ke3 Nf6 3. Nf3 1-0", CGC_ILLEGAL, 2, "1-0",
         "move 2. Ke3: not a legal move"},
        {"1. Nf3 Nf6 2. d3 d6 3. Nd2 *", CGC_AMBIGUOUS, 4, "*", "move 3. Nd2: ambiguous"},
        {"1. a4 b5 2. axb5 a6 3. bxa6 Bb7 4. axb7 Nf6 5. bxa8 *", CGC_NEED_PROMOTION, 8, "*",
         "move 5. bxa8: no promotion piece"},
        {"[FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"]\n1. Kb2 *", CGC_ILLEGAL, 0, "*",
         "the game starts from a set-up position"},
    };
    for (const Row& row : rows) {
        cgc_pgn_game pgn;
        std::string problem;
        std::size_t at = 0;
        EXPECT_EQ(cgc_read_pgn(row.text, &at, &pgn, &problem), row.status) << row.text;
        EXPECT_EQ(pgn.moves.size(), row.moves) << row.text;
        EXPECT_EQ(pgn.result, row.result) << row.text;
        EXPECT_EQ(problem, row.problem) << row.text;
    }
}

TEST(San, ReadingRefusesWhatNamesNoLegalMove)
{
    game* g = game_from_fen("r3k2r/8/8/3p4/4P3/8/8/R3K2R w KQkq - 0 1");
    cgc_move m;
    for (const char* text : {"Kg1", "d5", "xd5", "dxe4", "e4=Q", "exd5=Q", "Pe5", "e9", "Nxx3", "",
                             "Ke2 Ke3", "Rh1h1", "O-O-O-O"})
        EXPECT_EQ(cgc_read_san(g, text, &m), CGC_ILLEGAL) << text;
    // A pawn capture may leave out its "x".
    ASSERT_EQ(cgc_read_san(g, "ed5", &m), 0);
    EXPECT_EQ(text_of(m), "E4D5");
    cgc_free_game(g);
}
