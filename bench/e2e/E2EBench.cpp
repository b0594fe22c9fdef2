// The whole system under load: the real server, the client program (the
// application as users run it, driven as in the end-to-end tests), and a
// crowd of raw-socket players filling the server. Prints
//
//   - the time from starting the client to its login window shown;
//   - the time from pressing "Log In" to the lobby listing every game and
//     player, with the server holding 5,000 games and 2,000 players;
//   - the client's peak memory (VmHWM) then;
//   - the median and 99th percentile of the time from one client's drop of
//     a piece to the move drawn on the other client's board;
//   - the clocks' accuracy in those games (3+2): for every move, how far the
//     running clock first drawn after the server's figures is from the
//     server's own clock, taken to have started when the piece was dropped
//     (so the figure includes the move's way to the server): median and max.
//
//   e2e_bench [--games N] [--players N] [--rounds N] [--launches N]
//
// The server listens on a free port, which the clients are given. The
// clients use Qt's offscreen platform.

#include "RawCrowd.h"
#include "harness/ClientProcess.h"
#include "harness/ClientState.h"
#include "harness/ServerProcess.h"
#include "server/Elo.h"
#include "server/PasswordHash.h"
#include "server/SqliteStorage.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options
{
    int games = 5000;
    int players = 2000;
    int rounds = 10;
    int launches = 5;
};

// Morphy against the Duke of Brunswick and Count Isouard, Paris 1858: 33
// half-moves to mate, with White castling long (dragged as the king's move).
const char* const kGame[][2] = {
    {"E2", "E4"}, {"E7", "E5"}, {"G1", "F3"}, {"D7", "D6"}, {"D2", "D4"}, {"C8", "G4"},
    {"D4", "E5"}, {"G4", "F3"}, {"D1", "F3"}, {"D6", "E5"}, {"F1", "C4"}, {"G8", "F6"},
    {"F3", "B3"}, {"D8", "E7"}, {"B1", "C3"}, {"C7", "C6"}, {"C1", "G5"}, {"B7", "B5"},
    {"C3", "B5"}, {"C6", "B5"}, {"C4", "B5"}, {"B8", "D7"}, {"E1", "C1"}, {"A8", "D8"},
    {"D1", "D7"}, {"D8", "D7"}, {"H1", "D1"}, {"E7", "E6"}, {"B5", "D7"}, {"F6", "D7"},
    {"B3", "B8"}, {"D7", "B8"}, {"D1", "D8"}};

// The two players driven through their client programs.
const char* const kMeasured = "ada";
const char* const kOpponent = "max";
const char* const kPassword = "measured-secret";

// The least time between two drops: each player then sends about a dozen
// lines a second, well inside the server's flood limit of 30 (no person
// moves faster either).
constexpr auto kLeastPly = std::chrono::milliseconds(40);

// The first move comes after a pause, as a person's would: when a game gets
// under way the server announces it to every user online, and a drop in the
// same instant would measure that burst rather than the move.
constexpr auto kFirstMovePause = std::chrono::milliseconds(500);

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "e2e_bench: %s\n", what.c_str());
    ChildProcess::KillAll();
    std::exit(1);
}

bool ParseOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (value <= 0)
            return false;
        if (option == "--games")
            options->games = value;
        else if (option == "--players")
            options->players = value;
        else if (option == "--rounds")
            options->rounds = value;
        else if (option == "--launches")
            options->launches = value;
        else
            return false;
    }
    return argc % 2 == 1;
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index =
        static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

long long Micros(const QJsonObject& state, const char* name)
{
    return static_cast<long long>(state["times"].toObject()[name].toDouble());
}

// Every account of the run, with the cheapest password hash: the figures
// are about the client, not about hashing thousands of passwords.
void SeedAccounts(const std::string& database, int crowd)
{
    std::string error;
    auto store = tolvar::server::SqliteStorage::Open(database, &error);
    if (!store || !tolvar::server::InitialisePasswordHashing())
        Fail("cannot create the database: " + error);
    const auto crowdHash =
        tolvar::server::HashPassword(RawCrowd::kPassword, tolvar::server::HashCost::Minimum());
    const auto ownHash =
        tolvar::server::HashPassword(kPassword, tolvar::server::HashCost::Minimum());
    if (!crowdHash || !ownHash)
        Fail("cannot hash a password");
    using Created = tolvar::server::SqliteStorage::Created;
    for (int i = 0; i < crowd; ++i)
        if (store->CreateAccount(RawCrowd::Name(i), *crowdHash, tolvar::server::kStartRating) !=
            Created::Yes)
            Fail("cannot store an account: " + store->LastError());
    for (const char* name : {kMeasured, kOpponent})
        if (store->CreateAccount(name, *ownHash, tolvar::server::kStartRating) != Created::Yes)
            Fail("cannot store an account: " + store->LastError());
}

void Wait(ClientProcess& client, const std::string& what,
          const std::function<bool(const QJsonObject&)>& done, int timeoutMs = 20000)
{
    QJsonObject last;
    if (!client.WaitFor(done, timeoutMs, &last, true))
        Fail(client.Name() + ": " + what + " did not happen:\n" + e2e::Describe(last));
}

void Do(ClientProcess& client, const std::string& command)
{
    const QJsonObject reply = client.Command(command);
    if (!reply["ok"].toBool())
        Fail(client.Name() + ": " + command + ": " + e2e::Text(reply["error"]));
}

// Starts the client program `launches` times and returns the times, in
// milliseconds, from starting it to its login window drawn.
std::vector<double> MeasureStart(const std::string& work, int port, int launches)
{
    std::vector<double> times;
    for (int i = 0; i < launches; ++i) {
        ClientProcess client;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long started = static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
        if (!client.Start("launch" + std::to_string(i), work, port))
            Fail("cannot start the client");
        QJsonObject state;
        if (!client.WaitFor([](const QJsonObject& s) { return Micros(s, "loginShown") != 0; },
                            20000, &state, true))
            Fail("the login window was not shown");
        times.push_back(static_cast<double>(Micros(state, "loginShown") - started) / 1000.0);
        client.Quit();
    }
    return times;
}

// Logs `client` in and returns the state once its lobby lists every game
// and player.
QJsonObject LogInToFullLobby(ClientProcess& client, const char* user, int games, int players)
{
    Wait(client, "the login window", [](const QJsonObject& s) { return e2e::VisibleLogins(s); });
    Do(client, "watch-fill " + std::to_string(games) + " " + std::to_string(players));
    Do(client, std::string("login ") + user + " " + kPassword);
    QJsonObject state;
    if (!client.WaitFor([](const QJsonObject& s) { return Micros(s, "lobbyFilled") != 0; }, 300000,
                        &state, true))
        Fail(client.Name() + ": the lobby did not fill:\n" + e2e::Describe(state));
    return state;
}

struct MoveTime
{
    double ms;
    int ply; // from 1
};

// Plays `rounds` games of 3+2 between the two clients and returns, for every
// move, the milliseconds from its drop to its drawing on the other board;
// adds to `clockErrors` the clock error of every move after which a clock runs.
std::vector<MoveTime> MeasureMoves(ClientProcess& white, ClientProcess& black, int rounds,
                                   std::vector<double>* clockErrors)
{
    std::vector<MoveTime> latencies;
    for (int round = 0; round < rounds; ++round) {
        Do(white, "click create");
        Wait(white, "the creation dialog",
             [](const QJsonObject& s) { return s["chooseColour"].toBool(); });
        Do(white, "time-control 3+2");
        Do(white, "choose-colour white Measured game");
        QJsonObject state;
        if (!white.WaitFor([](const QJsonObject& s) { return !s["games"].toArray().isEmpty(); },
                           20000, &state, true))
            Fail("no game window for the new game");
        const std::string id = e2e::Text(state["games"].toArray()[0].toObject()["id"]);
        Wait(black, "the new game listed",
             [&](const QJsonObject&) { return black.Command("select " + id)["ok"].toBool(); });
        Wait(black, "join enabled",
             [](const QJsonObject& s) { return s["lobby"]["joinEnabled"].toBool(); });
        Do(black, "click join");
        for (ClientProcess* player : {&white, &black})
            Wait(*player, "the game under way", [&](const QJsonObject& s) {
                return e2e::GameWindowState(s, id)["chatEnabled"].toBool();
            });

        int ply = 0;
        auto next = std::chrono::steady_clock::now() + kFirstMovePause;
        for (const auto& move : kGame) {
            std::this_thread::sleep_until(next);
            next = std::chrono::steady_clock::now() + kLeastPly;
            ClientProcess& mover = ply++ % 2 == 0 ? white : black;
            ClientProcess& other = &mover == &white ? black : white;
            const QJsonObject reply = mover.Command("drag " + id + " " + move[0] + " " + move[1]);
            if (!reply["ok"].toBool() || !reply["picked"].toBool())
                Fail(std::string("cannot drag ") + move[0] + move[1]);
            const long long dropped = static_cast<long long>(reply["dropAt"].toDouble());
            const std::string board = e2e::Board(mover.State(true), id);
            Wait(other, std::string("the move ") + move[0] + move[1],
                 [&](const QJsonObject& s) { return e2e::Board(s, id) == board; });
            const QJsonObject paints = other.Command("paints " + id);
            long long drawn = 0;
            for (const QJsonValue& paint : paints["paints"].toArray())
                if (e2e::Text(paint.toObject()["board"]) == board)
                    drawn = static_cast<long long>(paint.toObject()["at"].toDouble());
            if (drawn == 0)
                Fail("the board never drew the move");
            latencies.push_back({static_cast<double>(drawn - dropped) / 1000.0, ply});
            // The clock of the side to move runs from each side's first move
            // on, until the mate.
            if (ply < 2 || ply == static_cast<int>(std::size(kGame)))
                continue;
            const std::string running = ply % 2 == 1 ? "black" : "white";
            QJsonObject clock;
            Wait(other, "the running clock drawn", [&](const QJsonObject&) {
                for (const QJsonValue& paint :
                     other.Command("clock-paints " + id)["paints"].toArray())
                    if (e2e::Text(paint.toObject()["side"]) == running &&
                        paint.toObject()["updatedAt"].toDouble() > static_cast<double>(dropped))
                        clock = paint.toObject();
                return !clock.isEmpty();
            });
            const double server = clock["figure"].toDouble() -
                                  (clock["at"].toDouble() - static_cast<double>(dropped)) / 1000.0;
            clockErrors->push_back(std::abs(clock["shown"].toDouble() - server));
        }
        for (ClientProcess* player : {&white, &black})
            Do(*player, "close-game " + id);
    }
    return latencies;
}

void Report(const char* what, double value, const char* unit, double target)
{
    std::printf("  %-44s %10.1f %-4s (target %g %s: %s)\n", what, value, unit, target, unit,
                value <= target ? "met" : "missed");
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: e2e_bench [--games N] [--players N] [--rounds N] [--launches N]\n");
        return 2;
    }
    // Every raw player holds a descriptor.
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");

    char pattern[] = "/tmp/tolvar-e2e-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        Fail("cannot make a scratch directory");
    const std::string work = pattern;
    const std::string loadBefore = LoadAverage();
    std::printf("e2e_bench: %d games, %d players (%d on raw sockets), %d rounds; %u cores, "
                "load average %s\n",
                options.games, options.players, options.players - 2, options.rounds,
                std::thread::hardware_concurrency(), loadBefore.c_str());
    std::fflush(stdout);

    const int crowdSize = options.players - 2;
    SeedAccounts(work + "/server.db", crowdSize);
    ServerProcess server;
    // The crowd comes from one address, as no real crowd would.
    if (!server.Start(work + "/server.db", work + "/server.log", 10000,
                      {"--set", "max-connections=100000", "--set", "max-guests-per-address=100000",
                       "--set", "max-waiting-logins=100000", "--set",
                       "max-waiting-logins-per-address=100000"}))
        Fail("tolvar-server did not start");

    const std::vector<double> starts = MeasureStart(work, server.Port(), options.launches);

    std::printf("filling the server...\n");
    std::fflush(stdout);
    RawCrowd crowd(crowdSize, options.games);
    std::string error;
    if (!crowd.Connect(server.Port(), &error))
        Fail("the crowd cannot connect: " + error);
    if (!crowd.WaitLoggedIn(120000))
        Fail("the crowd did not log in: " + crowd.Error());
    if (!crowd.OfferGames())
        Fail("the crowd cannot offer its games");
    if (!crowd.WaitSettled(300000, 1000))
        Fail("the crowd's games did not settle: " + crowd.Error());

    ClientProcess measured, opponent;
    if (!measured.Start(kMeasured, work, server.Port()) ||
        !opponent.Start(kOpponent, work, server.Port()))
        Fail("cannot start the clients");
    const QJsonObject filled =
        LogInToFullLobby(measured, kMeasured, options.games, options.players - 1);
    const double fillMs =
        static_cast<double>(Micros(filled, "lobbyFilled") - Micros(filled, "loginPressed")) /
        1000.0;
    const double peakMiB = filled["memory"].toObject()["hwmKiB"].toDouble() / 1024.0;
    long long answerBytes = 0;
    for (const std::string& line : e2e::ReceivedLines(measured.LogPath()))
        if (line.rfind("118 ", 0) == 0 || line.rfind("700 ", 0) == 0)
            answerBytes += static_cast<long long>(line.size()) + 1;

    LogInToFullLobby(opponent, kOpponent, options.games, options.players);
    std::printf("playing %d games between two clients...\n", options.rounds);
    std::fflush(stdout);
    std::vector<double> clockErrors;
    const std::vector<MoveTime> timed =
        MeasureMoves(measured, opponent, options.rounds, &clockErrors);
    std::vector<double> moves;
    for (const MoveTime& move : timed)
        moves.push_back(move.ms);
    const QJsonObject end = measured.State(true);

    if (!crowd.Error().empty())
        Fail("the crowd lost a connection: " + crowd.Error());
    crowd.Close();
    measured.Quit();
    opponent.Quit();
    server.Stop();

    std::printf("\nresults (load average before %s, after %s)\n", loadBefore.c_str(),
                LoadAverage().c_str());
    Report("start to login window shown, median", Percentile(starts, 0.5), "ms", 300);
    std::printf("  %-44s %10.1f ms\n", "start to login window shown, worst",
                *std::max_element(starts.begin(), starts.end()));
    Report("\"Log In\" to lobby filled", fillMs, "ms", 1000);
    std::printf("    the two lists were %.1f KiB\n", static_cast<double>(answerBytes) / 1024.0);
    Report("client's peak memory (VmHWM) then", peakMiB, "MiB", 150);
    std::printf("  %-44s %10.1f MiB\n", "client's peak memory after the games",
                end["memory"].toObject()["hwmKiB"].toDouble() / 1024.0);
    Report("drop to move drawn on the other board, median", Percentile(moves, 0.5), "ms", 10);
    Report("drop to move drawn on the other board, p99", Percentile(moves, 0.99), "ms", 10);
    std::printf("  %-44s %10zu\n", "moves measured", moves.size());
    Report("clock shown against the server's, median", Percentile(clockErrors, 0.5), "ms", 20);
    Report("clock shown against the server's, max",
           *std::max_element(clockErrors.begin(), clockErrors.end()), "ms", 100);
    std::vector<MoveTime> slowest = timed;
    std::sort(slowest.begin(), slowest.end(),
              [](const MoveTime& a, const MoveTime& b) { return a.ms > b.ms; });
    std::printf("  slowest moves (ms at ply):");
    for (size_t i = 0; i < std::min<size_t>(5, slowest.size()); ++i)
        std::printf(" %.1f at %d", slowest[i].ms, slowest[i].ply);
    std::printf("\n");
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return 0;
}
