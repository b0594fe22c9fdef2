// Load benchmark for tolvar-server: starts the real program, connects
// hundreds of clients that play concurrent games by replaying fixed legal
// games, and prints moves per second, the time from a MOVE to its 114 line
// at the opponent, the server's peak memory, and whether any move was lost.
//
//   server_load_bench [--clients N] [--plies N] [--think MS] [--server PATH]
//                     [--postgres CONNECTION]
//
// With --postgres the server keeps its data in that PostgreSQL database,
// which must be empty, instead of in an SQLite file.

#include "BenchClient.h"
#include "BenchScripts.h"
#include "BenchServer.h"

#include "server/Elo.h"
#include "server/PasswordHash.h"
#include "server/PostgresStorage.h"
#include "server/SqliteStorage.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

using namespace tolvar;
using namespace tolvar::bench;

namespace {

struct Options
{
    int clients = 500;
    int plies = 200;
    int thinkMs = 20;
    std::string server = TOLVAR_SERVER_BINARY;
    std::string postgres;
};

bool ParseOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc)
            return false;
        std::string value = argv[++i];
        if (option == "--clients")
            options->clients = std::max(2, std::atoi(value.c_str()) / 2 * 2);
        else if (option == "--plies")
            options->plies = std::max(2, std::atoi(value.c_str()));
        else if (option == "--think")
            options->thinkMs = std::max(0, std::atoi(value.c_str()));
        else if (option == "--server")
            options->server = value;
        else if (option == "--postgres")
            options->postgres = value;
        else
            return false;
    }
    return true;
}

std::string Name(int index)
{
    char name[16];
    std::snprintf(name, sizeof name, "bench%04d", index);
    return name;
}

// The accounts are stored beforehand with the cheapest hash: argon2 at
// interactive cost would make 500 logins take over a minute on two cores,
// and the benchmark is about play, not about password hashing.
bool SeedAccounts(const std::string& database, const std::string& postgres, int clients)
{
    std::string error;
    std::unique_ptr<server::Storage> store;
    if (postgres.empty())
        store = server::SqliteStorage::Open(database, &error);
    else
        store = server::PostgresStorage::Open(postgres, &error);
    if (!store) {
        std::fprintf(stderr, "cannot create %s: %s\n", database.c_str(), error.c_str());
        return false;
    }
    server::InitialisePasswordHashing();
    for (int i = 0; i < clients; ++i) {
        auto hash = server::HashPassword("secret", server::HashCost::Minimum());
        if (!hash || store->CreateAccount(Name(i), *hash, server::kStartRating) !=
                         server::Storage::Created::Yes)
            return false;
    }
    return true;
}

// User plus system CPU seconds the process has used so far.
double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14 || i == 15)
            ticks += std::atof(field.c_str());
        if (i == 15)
            break;
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The machine's one-minute load average: other work on the same cores
// shows up directly in the latencies.
double LoadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

// Clients come from many loopback addresses (127.0.1.1 and on), sixteen to
// an address, as players would from their own machines.
asio::ip::address LoopbackAddress(std::size_t index)
{
    return asio::ip::address_v4({127, 0, static_cast<unsigned char>(1 + index / 250),
                                 static_cast<unsigned char>(1 + index % 250)});
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::size_t index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<long>(index), values.end());
    return values[index];
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(
            stderr,
            "usage: server_load_bench [--clients N] [--plies N] [--think MS] [--server PATH]\n"
            "                         [--postgres CONNECTION]\n");
        return 2;
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::signal(SIGPIPE, SIG_IGN);

    char pattern[] = "/tmp/tolvar-bench-XXXXXX";
    std::string dir = ::mkdtemp(pattern) ? pattern : "/tmp";
    std::string database = dir + "/bench.db";
    int games = options.clients / 2;
    std::printf(
        "server load: %d clients, %d games of %d plies, %d ms between a move and the reply\n",
        options.clients, games, options.plies, options.thinkMs);
    std::printf("machine: %u cores, load average %.2f before the run\n",
                std::thread::hardware_concurrency(), LoadAverage());

    auto scripts = FixedGames(8, options.plies);
    if (options.postgres.empty())
        std::printf("database: SQLite file\n");
    else
        std::printf("database: %s\n",
                    server::PostgresStorage::DescribeConnection(options.postgres).c_str());
    if (scripts.empty() || !SeedAccounts(database, options.postgres, options.clients)) {
        std::fprintf(stderr, "cannot prepare the games or the accounts\n");
        return 1;
    }
    ServerChild server = options.postgres.empty()
                             ? StartServer(options.server, database, dir + "/server.log")
                             : StartServer(options.server, {}, dir + "/server.log",
                                           {"--postgres", options.postgres});
    if (server.port == 0) {
        std::fprintf(stderr, "the server did not start (see %s/server.log)\n", dir.c_str());
        return 1;
    }

    asio::io_context loop(1);
    BenchRun run;
    run.clients = options.clients;
    run.expectedGameLines = 2 * games; // every open and every running game
    run.think = std::chrono::milliseconds(options.thinkMs);
    std::vector<BenchGame> table(static_cast<std::size_t>(games));
    std::vector<std::unique_ptr<BenchClient>> clients;
    for (int g = 0; g < games; ++g) {
        BenchGame& game = table[static_cast<std::size_t>(g)];
        game.script = &scripts[static_cast<std::size_t>(g) % scripts.size()];
        game.sentAt.resize(game.script->size() + 1);
        clients.push_back(std::make_unique<BenchClient>(loop, run, game, true, Name(2 * g)));
        game.white = clients.back().get();
        clients.push_back(std::make_unique<BenchClient>(loop, run, game, false, Name(2 * g + 1)));
        game.black = clients.back().get();
    }

    Clock::time_point started = Clock::now(), loggedIn{}, setUp{}, playing{}, finished{};
    std::mt19937 random(42);
    run.allLoggedIn = [&] {
        loggedIn = Clock::now();
        for (BenchGame& game : table)
            game.white->OpenGame();
    };
    double serverCpuAtStart = 0;
    rusage benchAtStart{};
    run.allSetUp = [&] {
        setUp = playing = Clock::now();
        serverCpuAtStart = CpuSeconds(server.pid);
        getrusage(RUSAGE_SELF, &benchAtStart);
        // Games start spread over a little while (a thinking time at least),
        // as players would.
        for (BenchGame& game : table)
            game.white->MoveAfter(
                std::chrono::milliseconds(random() % std::max(200, options.thinkMs)));
    };
    run.allFinished = [&] {
        finished = Clock::now();
        loop.stop();
    };
    asio::steady_timer watchdog(loop);
    watchdog.expires_after(std::chrono::seconds(60) +
                           3 * options.plies * std::chrono::milliseconds(options.thinkMs + 5));
    watchdog.async_wait([&](const asio::error_code& error) {
        if (!error) {
            std::fprintf(stderr, "timed out: %d of %d clients finished\n", run.finished,
                         run.clients);
            loop.stop();
        }
    });

    // Players arrive over a while, a thousand a second, not all at once: the
    // server lets only so many logins wait for their password check.
    asio::ip::tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), server.port);
    asio::steady_timer arrivals(loop);
    std::size_t arrived = 0;
    std::function<void()> arrive = [&] {
        for (std::size_t n = 0; n < 50 && arrived < clients.size(); ++n, ++arrived)
            clients[arrived]->Connect(endpoint, LoopbackAddress(arrived / 16));
        if (arrived == clients.size())
            return;
        arrivals.expires_after(std::chrono::milliseconds(50));
        arrivals.async_wait([&](const asio::error_code& error) {
            if (!error)
                arrive();
        });
    };
    arrive();
    loop.run();

    bool complete = finished != Clock::time_point{};
    double serverCpu = CpuSeconds(server.pid) - serverCpuAtStart;
    rusage benchAtEnd{};
    getrusage(RUSAGE_SELF, &benchAtEnd);
    auto cpu = [](const rusage& usage) {
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    double benchCpu = cpu(benchAtEnd) - cpu(benchAtStart);
    for (const BenchGame& game : table) {
        long expected = static_cast<long>(game.script->size());
        run.lost += (expected - game.white->Received()) + (expected - game.black->Received());
    }
    for (auto& client : clients)
        client->Close();
    // Let the server take in the departures before its memory is read.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    long peakKiB = PeakMemoryKiB(server.pid);
    ::kill(server.pid, SIGTERM);
    int status = 0;
    ::waitpid(server.pid, &status, 0);

    // A stage never reached has no duration.
    auto stage = [](Clock::time_point from, Clock::time_point to) {
        return from == Clock::time_point{} || to == Clock::time_point{}
                   ? 0.0
                   : std::chrono::duration<double>(to - from).count();
    };
    double seconds = stage(playing, complete ? finished : Clock::now());
    double p50 = Percentile(run.latencies, 0.50) / 1000.0;
    double p99 = Percentile(run.latencies, 0.99) / 1000.0;
    double worst = run.latencies.empty()
                       ? 0
                       : *std::max_element(run.latencies.begin(), run.latencies.end()) / 1000.0;
    std::printf("set-up: %d logins %.2f s, then %d challenges and %d joins %.2f s\n",
                options.clients, stage(started, loggedIn), games, games, stage(loggedIn, setUp));
    std::printf("moves: %ld in %.2f s = %.0f moves/s\n", run.moves, seconds,
                seconds > 0 ? static_cast<double>(run.moves) / seconds : 0.0);
    std::printf("MOVE to the opponent's 114: p50 %.3f ms, p99 %.3f ms, max %.3f ms\n", p50, p99,
                worst);
    std::printf("load average after the run: %.2f\n", LoadAverage());
    std::printf("CPU while playing: server %.0f%% of a core, benchmark clients %.0f%%\n",
                seconds > 0 ? 100 * serverCpu / seconds : 0.0,
                seconds > 0 ? 100 * benchCpu / seconds : 0.0);
    std::printf("server peak memory (VmHWM): %.1f MiB\n", static_cast<double>(peakKiB) / 1024.0);
    std::printf("moves lost: %ld, duplicated or out of order: %ld, error replies: %ld, "
                "clients dropped: %d\n",
                run.lost, run.misordered, run.refused, run.dropped);
    // A run that did not finish meets no target, however good its figures.
    std::printf("targets: p99 under 5 ms %s, peak memory under 100 MiB %s\n",
                complete && p99 < 5.0 ? "met" : "MISSED",
                complete && peakKiB >= 0 && peakKiB < 100 * 1024 ? "met" : "MISSED");

    std::string cleanup = "rm -rf '" + dir + "'";
    if (std::system(cleanup.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    bool ok =
        complete && run.lost == 0 && run.misordered == 0 && run.refused == 0 && run.dropped == 0;
    return ok ? 0 : 1;
}
