// How long the speaker takes to cut, split and dispatch a burst of 15,000
// server lines arriving as 999-byte chunks (the connection's chunk size).
//
// "no-op replies": every line carries a code whose handler does nothing, so
// the figure is the cutting, splitting and dispatch alone (target: under
// 20 ms). "lobby replies": the same lines with their real codes (players,
// games, chat, moves) and no windows or listeners, which adds the handlers'
// own message building.

#include "net/CommandHandler.h"
#include "net/ReplyContext.h"
#include "net/ReplyHandlers.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr int kLines = 15000;
constexpr size_t kChunkSize = 999;

class NullContext : public ReplyContext
{
public:
    void Broadcast(const BMessage&) override {}
    std::string LoggedInAs() const override { return "alice"; }
    std::string ServerVersion() const override { return "1.31"; }
    void SetServerVersion(const std::string&, const std::string&) override {}
    void Reset() override {}
};

// A burst shaped like the lists after login: players, games, chat, moves.
std::string Burst(bool noOpCodes)
{
    std::string burst;
    for (int i = 0; i < kLines; ++i) {
        std::string n = std::to_string(i);
        switch (i % 4) {
        case 0:
            burst += (noOpCodes ? "110" : "700") + std::string(" player") + n + " 1500\r\n";
            break;
        case 1:
            burst += (noOpCodes ? "111" : "118") + std::string(" ") + n + " 1 1 black" + n +
                     " white" + n + " :Casual game, no takebacks\r\n";
            break;
        case 2:
            burst += (noOpCodes ? "116" : "115") + std::string(" player") + n +
                     " main :good luck everybody, have fun\r\n";
            break;
        default:
            burst += (noOpCodes ? "405" : "114") + std::string(" ") + n + " x E2E4\r\n";
            break;
        }
    }
    return burst;
}

std::vector<std::string> Chunks(const std::string& stream)
{
    std::vector<std::string> chunks;
    for (size_t at = 0; at < stream.size(); at += kChunkSize)
        chunks.push_back(stream.substr(at, kChunkSize));
    return chunks;
}

void HandleBurst(benchmark::State& state, bool noOpCodes)
{
    std::vector<std::string> chunks = Chunks(Burst(noOpCodes));
    NullContext context;
    ReplyHandlers handlers(context);
    CommandHandler commands(handlers);
    for (auto _ : state) {
        for (const std::string& chunk : chunks)
            commands.HandleChunk(chunk);
    }
    state.counters["chunks"] = static_cast<double>(chunks.size());
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(kLines),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

void BM_NoOpReplies(benchmark::State& state)
{
    HandleBurst(state, true);
}

void BM_LobbyReplies(benchmark::State& state)
{
    HandleBurst(state, false);
}

} // namespace

BENCHMARK(BM_NoOpReplies)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LobbyReplies)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
