// Speed of the rules engine through its public functions: one cgc_make_move,
// verdict included, over complete games; perft through the legal-move
// listing; and, over the reference games, the listing and the writing and
// reading of standard algebraic notation.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "cgc/EngineHelpers.h"
#include "cgc/pgn.h"

namespace {

using Game = std::vector<std::string>;

bool game_over(int result)
{
    return result == CGC_STALEMATE || result == CGC_DRAW_FIFTY || result == CGC_DRAW_REPETITION ||
           result == CGC_DRAW_MATERIAL || result == CGC_MATE;
}

// Random games from the initial position, each played until the engine ends
// it (mate, stalemate or one of the draws). Captures are preferred half of the
// time so that games reach their endings in a few hundred moves.
const std::vector<Game>& complete_games()
{
    static const std::vector<Game> games = [] {
        std::vector<Game> result;
        std::mt19937 random(7);
        while (result.size() < 24) {
            game* g = game_from_fen("startpos");
            Game moves;
            int verdict = CGC_MOVE_OK;
            while (!game_over(verdict) && moves.size() < 600) {
                std::vector<std::string> legal = listed_moves(g), captures;
                for (const std::string& move : legal) {
                    if (g->board[move[2] - 'A'][move[3] - '1'] != CGC_EMPTY)
                        captures.push_back(move);
                }
                const std::vector<std::string>& pool =
                    !captures.empty() && random() % 2 == 0 ? captures : legal;
                char text[8];
                std::strcpy(text, pool[random() % pool.size()].c_str());
                verdict = cgc_make_move(g, text);
                moves.push_back(text);
            }
            if (game_over(verdict))
                result.push_back(moves);
            cgc_free_game(g);
        }
        return result;
    }();
    return games;
}

size_t total_moves()
{
    size_t count = 0;
    for (const Game& moves : complete_games())
        count += moves.size();
    return count;
}

void BM_MakeMoveOverCompleteGames(benchmark::State& state)
{
    const std::vector<Game>& games = complete_games();
    char text[8];
    for (auto _ : state) {
        for (const Game& moves : games) {
            state.PauseTiming();
            game* g = game_from_fen("startpos");
            state.ResumeTiming();
            for (const std::string& move : moves) {
                std::memcpy(text, move.c_str(), move.size() + 1);
                benchmark::DoNotOptimize(cgc_make_move(g, text));
            }
            state.PauseTiming();
            cgc_free_game(g);
            state.ResumeTiming();
        }
    }
    double moves = static_cast<double>(total_moves());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * moves));
    state.counters["per_move"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * moves,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MakeMoveOverCompleteGames)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// Leaves `depth` moves deep, listing the moves of each node and applying
// each with cgc_make_move on a copy.
uint64_t perft(game* node, int depth, std::vector<game*>& children)
{
    cgc_move moves[CGC_MAX_MOVES];
    int count = cgc_legal_moves(node, moves, CGC_MAX_MOVES);
    if (depth == 1)
        return static_cast<uint64_t>(count);
    uint64_t nodes = 0;
    game* child = children[depth - 1];
    for (int i = 0; i < count; ++i) {
        copy_position(child, node);
        char text[8];
        cgc_move_text(&moves[i], text);
        cgc_make_move(child, text);
        nodes += perft(child, depth - 1, children);
    }
    return nodes;
}

void BM_PerftThroughTheListing(benchmark::State& state, const char* fen, int depth)
{
    game* root = game_from_fen(fen);
    std::vector<game*> children;
    for (int i = 0; i < depth; ++i)
        children.push_back(game_from_fen("startpos"));
    uint64_t nodes = 0;
    for (auto _ : state)
        nodes += perft(root, depth, children);
    for (game* g : children)
        cgc_free_game(g);
    cgc_free_game(root);
    state.counters["nodes_per_second"] =
        benchmark::Counter(static_cast<double>(nodes), benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_PerftThroughTheListing, initial_depth4, "startpos", 4)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PerftThroughTheListing, kiwipete_depth3,
                  "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 3)
    ->Unit(benchmark::kMillisecond);

using clock_type = std::chrono::steady_clock;

double nanoseconds(clock_type::time_point start, clock_type::time_point stop)
{
    return std::chrono::duration<double, std::nano>(stop - start).count();
}

void print_spread(const char* what, std::vector<double>& samples, const char* unit)
{
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double sample : samples)
        sum += sample;
    auto at = [&](double share) {
        return samples[static_cast<size_t>(share * (samples.size() - 1))];
    };
    std::printf("  %-22s mean %6.0f ns, median %6.0f ns, 99th percentile %6.0f ns per %s\n", what,
                sum / samples.size(), at(0.5), at(0.99), unit);
}

// Times every call on its own and prints the median and the tail.
void print_move_latencies()
{
    std::vector<double> samples;
    char text[8];
    for (int pass = 0; pass < 5; ++pass) {
        for (const Game& moves : complete_games()) {
            game* g = game_from_fen("startpos");
            for (const std::string& move : moves) {
                std::memcpy(text, move.c_str(), move.size() + 1);
                auto start = clock_type::now();
                int result = cgc_make_move(g, text);
                auto stop = clock_type::now();
                benchmark::DoNotOptimize(result);
                samples.push_back(nanoseconds(start, stop));
            }
            cgc_free_game(g);
        }
    }
    std::printf("\nOver %zu complete random games (%zu moves), each call timed alone:\n",
                complete_games().size(), total_moves());
    print_spread("cgc_make_move", samples, "move");
}

// Replays the reference games, timing at every position the listing of its
// moves, the writing of the played move in SAN and the reading of that SAN.
void print_notation_costs()
{
    std::ifstream in(CGC_TEST_DATA "/reference-games.pgn");
    std::stringstream text;
    text << in.rdbuf();
    std::string all = text.str(), problem;
    std::vector<Game> games;
    cgc_pgn_game pgn;
    for (std::size_t at = 0; cgc_read_pgn(all, &at, &pgn, &problem) == 1;)
        games.push_back(pgn.moves);
    std::vector<double> listing, per_listed, writing, reading;
    cgc_move moves[CGC_MAX_MOVES], back;
    char san[CGC_SAN_SIZE], move_text[8];
    for (int pass = 0; pass < 3; ++pass) {
        for (const Game& played : games) {
            game* g = game_from_fen("startpos");
            for (const std::string& move : played) {
                auto start = clock_type::now();
                int count = cgc_legal_moves(g, moves, CGC_MAX_MOVES);
                auto listed = clock_type::now();
                cgc_move m = move_of(move);
                auto written_start = clock_type::now();
                cgc_write_san(g, &m, san);
                auto written = clock_type::now();
                benchmark::DoNotOptimize(cgc_read_san(g, san, &back));
                auto read = clock_type::now();
                listing.push_back(nanoseconds(start, listed));
                per_listed.push_back(nanoseconds(start, listed) / std::max(count, 1));
                writing.push_back(nanoseconds(written_start, written));
                reading.push_back(nanoseconds(written, read));
                cgc_make_move(g, std::strcpy(move_text, move.c_str()));
            }
            cgc_free_game(g);
        }
    }
    std::printf("\nOver the %zu reference games (%zu positions), each call timed alone:\n",
                games.size(), listing.size() / 3);
    print_spread("cgc_legal_moves", listing, "position");
    print_spread("  the same", per_listed, "listed move");
    print_spread("cgc_write_san", writing, "move");
    print_spread("cgc_read_san", reading, "move");
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    complete_games();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    print_move_latencies();
    print_notation_costs();
    return 0;
}
