// Speed of the rules engine through its public move function: the time of
// one cgc_make_move, verdict included, over complete games, and the perft rate.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "cgc/EngineHelpers.h"

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
            game* g = new_seated_game();
            Game moves;
            int verdict = CGC_MOVE_OK;
            while (!game_over(verdict) && moves.size() < 600) {
                std::vector<std::string> legal = legal_moves(g);
                std::vector<std::string> captures;
                std::string board = board_text(g);
                for (const std::string& move : legal) {
                    int file = move[2] - 'A', rank = move[3] - '1';
                    if (board[(7 - rank) * 9 + file] != '-')
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
            game* g = new_seated_game();
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

void BM_PerftThroughTheApi(benchmark::State& state, const char* fen, int depth)
{
    game* root = game_from_fen(fen);
    uint64_t nodes = 0;
    for (auto _ : state)
        nodes += perft(root, depth).nodes;
    cgc_free_game(root);
    state.counters["nodes_per_second"] =
        benchmark::Counter(static_cast<double>(nodes), benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_PerftThroughTheApi, initial_depth3,
                  "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PerftThroughTheApi, kiwipete_depth2,
                  "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 2)
    ->Unit(benchmark::kMillisecond);

// Times every call on its own and prints the median and the tail.
void print_move_latencies()
{
    using clock = std::chrono::steady_clock;
    std::vector<double> samples;
    char text[8];
    for (int pass = 0; pass < 5; ++pass) {
        for (const Game& moves : complete_games()) {
            game* g = new_seated_game();
            for (const std::string& move : moves) {
                std::memcpy(text, move.c_str(), move.size() + 1);
                auto start = clock::now();
                int result = cgc_make_move(g, text);
                auto stop = clock::now();
                benchmark::DoNotOptimize(result);
                samples.push_back(std::chrono::duration<double, std::nano>(stop - start).count());
            }
            cgc_free_game(g);
        }
    }
    std::sort(samples.begin(), samples.end());
    auto at = [&](double share) {
        return samples[static_cast<size_t>(share * (samples.size() - 1))];
    };
    std::printf("\ncgc_make_move over %zu complete games (%zu moves), each call timed alone:\n",
                complete_games().size(), total_moves());
    std::printf("  median %.0f ns, 90th percentile %.0f ns, 99th percentile %.0f ns, max %.0f ns\n",
                at(0.5), at(0.9), at(0.99), samples.back());
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
    return 0;
}
