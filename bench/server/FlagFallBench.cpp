// Flag-fall benchmark for tolvar-server: starts the real program, connects
// hundreds of clients, lets timed games run out of time and prints how long
// after the moment of expiry the result line reached both players (p50,
// p99, max). The game clocks run fast (--set clock-scale), so that a one
// minute game runs out within a second; the server measures game time, so
// the delay of its timer is what it is in real play.
//
//   server_flag_bench [--clients N] [--games N] [--scale N] [--spread MS] [--server PATH]

#include "BenchServer.h"

#include "server/Elo.h"
#include "server/PasswordHash.h"
#include "server/SqliteStorage.h"

#include <asio.hpp>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace tolvar;
using namespace tolvar::bench;
using Clock = std::chrono::steady_clock;

namespace {

struct Options
{
    int clients = 500;
    int games = 200;
    int scale = 60;      // a 1+0 game's minute lasts a second
    int spreadMs = 1000; // the games' clocks start spread over this long
    std::string server = TOLVAR_SERVER_BINARY;
};

struct Game
{
    std::int64_t id = 0;
    int ready = 0;                // players that have seen the game running
    Clock::time_point expiry{};   // when White's minute is up, at the latest
    Clock::time_point heard[2]{}; // when each player received the result
    std::string reason;
};

struct Run
{
    int loggedIn = 0;
    int running = 0;
    int ended = 0;
    int errors = 0;
    std::function<void()> allLoggedIn, allRunning, allEnded;
};

std::string Name(int index)
{
    char name[16];
    std::snprintf(name, sizeof name, "flag%04d", index);
    return name;
}

// One connection. Players (seat 1 White, 0 Black) play their game's first
// moves; the others only listen to the lobby.
class Player
{
public:
    Player(asio::io_context& loop, Run& run, std::string name, Game* game, int seat)
        : fSocket(loop), fTimer(loop), fRun(run), fName(std::move(name)), fGame(game), fSeat(seat)
    {
    }

    void Connect(const asio::ip::tcp::endpoint& server, const asio::ip::address& from)
    {
        asio::error_code ignored;
        fSocket.open(asio::ip::tcp::v4(), ignored);
        fSocket.bind(asio::ip::tcp::endpoint(from, 0), ignored);
        fSocket.async_connect(server, [this](const asio::error_code& error) {
            if (error) {
                ++fRun.errors;
                return;
            }
            fSocket.set_option(asio::ip::tcp::no_delay(true));
            Send("USER " + fName + " secret");
            _Read();
        });
    }

    void Send(const std::string& line)
    {
        fOutput.push_back(line + " \r\n");
        if (fOutput.size() == 1)
            _Write();
    }

    // Black's first move, after `delay`: it starts White's clock.
    void FirstBlackMoveAfter(std::chrono::milliseconds delay, int scale)
    {
        fTimer.expires_after(delay);
        fTimer.async_wait([this, scale](const asio::error_code& error) {
            if (error)
                return;
            // Stamped before the write: the server starts the clock later
            // still, so the delays measured are if anything too long.
            fGame->expiry = Clock::now() + std::chrono::microseconds(60000000LL / scale);
            Send("MOVE " + std::to_string(fGame->id) + " E7E5");
        });
    }

    void Close()
    {
        asio::error_code ignored;
        fSocket.close(ignored);
    }

private:
    void _Write()
    {
        asio::async_write(fSocket, asio::buffer(fOutput.front()),
                          [this](const asio::error_code& error, std::size_t) {
                              if (error)
                                  return;
                              fOutput.pop_front();
                              if (!fOutput.empty())
                                  _Write();
                          });
    }

    void _Read()
    {
        fSocket.async_read_some(
            asio::buffer(fBuffer), [this](const asio::error_code& error, std::size_t size) {
                if (error)
                    return;
                fInput.append(fBuffer.data(), size);
                for (std::size_t lf; (lf = fInput.find('\n')) != std::string::npos;) {
                    std::string line = fInput.substr(0, lf);
                    fInput.erase(0, lf + 1);
                    _Line(line);
                }
                _Read();
            });
    }

    void _Line(const std::string& line)
    {
        std::string code = line.substr(0, 3);
        if (code == "201") {
            Send("FEATURES clock");
            ++fRun.loggedIn;
            fRun.allLoggedIn();
            return;
        }
        if (code == "503") {
            // Too many logins wait for their check: the server asks to come back.
            fTimer.expires_after(std::chrono::milliseconds(100));
            fTimer.async_wait([this](const asio::error_code& error) {
                if (!error)
                    Send("USER " + fName + " secret");
            });
            return;
        }
        if (code[0] == '4' || code[0] == '5') {
            std::fprintf(stderr, "%s: %s\n", fName.c_str(), line.c_str());
            ++fRun.errors;
            return;
        }
        if (!fGame)
            return;
        std::string id = std::to_string(fGame->id);
        if (code == "118" && fSeat == 1 && fGame->id == 0 &&
            line.find(" 0 1 " + fName + " :flag") != std::string::npos) {
            fGame->id = std::stoll(line.substr(4));
            fOpened();
        } else if (code == "118" && fGame->id != 0 && line.rfind("118 " + id + " 1 1 ", 0) == 0) {
            if (++fGame->ready == 2) {
                ++fRun.running;
                fRun.allRunning();
            }
        } else if (code == "114" && fSeat == 0 && line == "114 " + id + " 1 E2E4") {
            fBlackTurn();
        } else if (code == "119" && fGame->id != 0 && line.rfind("119 " + id + " :", 0) == 0) {
            fGame->heard[fSeat] = Clock::now();
            fGame->reason = line.substr(line.find(':') + 2);
            if (fGame->heard[1 - fSeat] != Clock::time_point{}) {
                ++fRun.ended;
                fRun.allEnded();
            }
        }
    }

    asio::ip::tcp::socket fSocket;
    asio::steady_timer fTimer;
    Run& fRun;
    std::string fName;
    std::array<char, 8192> fBuffer{};
    std::string fInput;
    std::deque<std::string> fOutput;

public:
    Game* fGame;
    int fSeat;
    std::function<void()> fOpened;    // White: the game has its id
    std::function<void()> fBlackTurn; // Black: White has made the first move
};

bool SeedAccounts(const std::string& database, int clients)
{
    std::string error;
    auto store = server::SqliteStorage::Open(database, &error);
    if (!store) {
        std::fprintf(stderr, "cannot create %s: %s\n", database.c_str(), error.c_str());
        return false;
    }
    server::InitialisePasswordHashing();
    auto hash = server::HashPassword("secret", server::HashCost::Minimum());
    for (int i = 0; i < clients; ++i) {
        if (!hash || store->CreateAccount(Name(i), *hash, server::kStartRating) !=
                         server::SqliteStorage::Created::Yes)
            return false;
    }
    return true;
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
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        int value = std::atoi(argv[i + 1]);
        if (option == "--clients")
            options.clients = value;
        else if (option == "--games")
            options.games = value;
        else if (option == "--scale")
            options.scale = std::max(1, value);
        else if (option == "--spread")
            options.spreadMs = std::max(0, value);
        else if (option == "--server")
            options.server = argv[i + 1];
        else
            argc = 0;
    }
    if (argc % 2 == 0 || options.games < 1 || options.clients < 2 * options.games) {
        std::fprintf(stderr, "usage: server_flag_bench [--clients N] [--games N] [--scale N] "
                             "[--spread MS] [--server PATH]   (clients >= 2 * games)\n");
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
    std::printf("flag fall: %d clients, %d games of 1+0 that run out of time, clocks %d times "
                "fast, clocks starting over %d ms\n",
                options.clients, options.games, options.scale, options.spreadMs);
    if (!SeedAccounts(database, options.clients))
        return 1;
    ServerChild server = StartServer(options.server, database, dir + "/server.log",
                                     {"--set", "clock-scale=" + std::to_string(options.scale)});
    if (server.port == 0) {
        std::fprintf(stderr, "the server did not start (see %s/server.log)\n", dir.c_str());
        return 1;
    }

    asio::io_context loop(1);
    Run run;
    std::vector<Game> games(static_cast<std::size_t>(options.games));
    std::vector<std::unique_ptr<Player>> players;
    for (int i = 0; i < options.clients; ++i) {
        bool seated = i < 2 * options.games;
        Game* game = seated ? &games[static_cast<std::size_t>(i / 2)] : nullptr;
        players.push_back(std::make_unique<Player>(loop, run, Name(i), game, i % 2 == 0 ? 1 : 0));
    }
    std::mt19937 random(7);
    for (int g = 0; g < options.games; ++g) {
        Player& white = *players[static_cast<std::size_t>(2 * g)];
        Player& black = *players[static_cast<std::size_t>(2 * g + 1)];
        white.fOpened = [&black, &games, g] { black.Send("PLAY " + std::to_string(games[g].id)); };
        black.fBlackTurn = [&black, &random, &options] {
            black.FirstBlackMoveAfter(std::chrono::milliseconds(random() % (options.spreadMs + 1)),
                                      options.scale);
        };
    }
    run.allLoggedIn = [&] {
        if (run.loggedIn != options.clients)
            return;
        for (int g = 0; g < options.games; ++g)
            players[static_cast<std::size_t>(2 * g)]->Send("MAKETIMED 1 1 0 :flag");
    };
    run.allRunning = [&] {
        if (run.running != options.games)
            return;
        for (int g = 0; g < options.games; ++g)
            players[static_cast<std::size_t>(2 * g)]->Send("MOVE " + std::to_string(games[g].id) +
                                                           " E2E4");
    };
    run.allEnded = [&] {
        if (run.ended == options.games)
            loop.stop();
    };
    asio::steady_timer watchdog(loop);
    watchdog.expires_after(std::chrono::seconds(120));
    watchdog.async_wait([&](const asio::error_code& error) {
        if (!error) {
            std::fprintf(stderr, "timed out: %d of %d games ended\n", run.ended, options.games);
            loop.stop();
        }
    });
    asio::ip::tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), server.port);
    asio::steady_timer arrivals(loop);
    std::size_t arrived = 0;
    std::function<void()> arrive = [&] {
        for (std::size_t n = 0; n < 50 && arrived < players.size(); ++n, ++arrived) {
            std::size_t address = arrived / 16;
            players[arrived]->Connect(
                endpoint,
                asio::ip::address_v4({127, 0, static_cast<unsigned char>(1 + address / 250),
                                      static_cast<unsigned char>(1 + address % 250)}));
        }
        if (arrived == players.size())
            return;
        arrivals.expires_after(std::chrono::milliseconds(50));
        arrivals.async_wait([&](const asio::error_code& error) {
            if (!error)
                arrive();
        });
    };
    arrive();
    loop.run();

    std::vector<double> delays;
    int wrong = 0;
    for (const Game& game : games) {
        if (game.heard[0] == Clock::time_point{} || game.heard[1] == Clock::time_point{})
            continue;
        Clock::time_point both = std::max(game.heard[0], game.heard[1]);
        delays.push_back(std::chrono::duration<double, std::milli>(both - game.expiry).count());
        wrong += game.reason != "White forfeits on time. 0-1";
    }
    for (auto& player : players)
        player->Close();
    ::kill(server.pid, SIGTERM);
    int status = 0;
    ::waitpid(server.pid, &status, 0);

    double p50 = Percentile(delays, 0.50), p99 = Percentile(delays, 0.99);
    double worst = delays.empty() ? 0 : *std::max_element(delays.begin(), delays.end());
    double best = delays.empty() ? 0 : *std::min_element(delays.begin(), delays.end());
    std::printf("games ended on time: %zu of %d, with another reason: %d, error replies: %d\n",
                delays.size(), options.games, wrong, run.errors);
    std::printf("expiry to the result at both players: p50 %.2f ms, p99 %.2f ms, min %.2f ms, "
                "max %.2f ms\n",
                p50, p99, best, worst);
    double load[1] = {-1};
    getloadavg(load, 1);
    std::printf("load average after the run: %.2f on %u cores (other work on the same cores "
                "shows up directly in the delays)\n",
                load[0], std::thread::hardware_concurrency());
    std::printf("target: p99 under 50 ms %s\n", p99 < 50.0 ? "met" : "MISSED");
    std::string cleanup = "rm -rf '" + dir + "'";
    if (std::system(cleanup.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    bool ok = static_cast<int>(delays.size()) == options.games && wrong == 0 && run.errors == 0;
    return ok ? 0 : 1;
}
