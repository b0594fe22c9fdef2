// Connection drops: games between real-socket clients of which one
// connection or another is cut (the benchmark closes the socket) on average
// once per 20 plies of a game. A cut client does what the desktop client
// does: waits a second, logs in again, announces `resume` and takes the game
// up from the resent 120 line. Each game ends with a resignation once its
// moves are played; then its stored record is asked for.
//
// Prints the games finished correctly (the record holds every move of the
// game, in order, and the resignation), the acknowledged moves lost (a move
// counts as acknowledged once a player has seen its 114 line; it is lost
// when a resent game or the record lacks it) and the time to resume (from
// the new connection to the game resent), median and maximum.
//
//   server_drop_bench [GAMES] [PLIES]

#include "BenchLine.h"
#include "BenchServer.h"
#include "GameScripts.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace tolvar::bench;
using Clock = std::chrono::steady_clock;

namespace {

// The chance, at each ply a player sees, that its connection is cut: with
// two players this is one cut per 20 plies of a game.
constexpr double kCutChance = 1.0 / 40;
// The desktop client's first wait before it tries again.
constexpr std::chrono::seconds kFirstRetry{1};
// A player waits this long for the server (an absent opponent included).
constexpr int kPatienceSeconds = 30;

struct Game
{
    std::int64_t id = 0;
    std::vector<std::string> script;
    std::atomic<int> acknowledged{0}; // the most plies a player has seen announced
};

struct Totals
{
    std::atomic<long> cuts{0};
    std::atomic<long> lost{0};     // acknowledged plies missing from a resent game
    std::atomic<long> wrong{0};    // a move other than the one played, or out of order
    std::atomic<long> failures{0}; // a login refused, a server that fell silent
    std::mutex lock;
    std::vector<double> resumeMs;
};

struct Player
{
    std::string name;
    bool white = false;
    Game* game = nullptr;
    Line line;
    int known = 0; // plies of the game this player knows
    bool over = false;
};

std::uint16_t sPort = 0;
Totals sTotals;

bool LogIn(Player& player, bool create)
{
    if (!player.line.Open(sPort, kPatienceSeconds) || player.line.Until("101").empty())
        return false;
    if (create) {
        player.line.Send("CREATE " + player.name + " secret");
        if (player.line.Until("401").empty())
            return false;
    }
    player.line.Send("USER " + player.name + " secret");
    for (std::string line = player.line.Next(); !line.empty(); line = player.line.Next()) {
        if (line.rfind("201", 0) == 0) {
            player.line.Send("FEATURES resume resign archive");
            return true;
        }
        if (line.rfind("50", 0) == 0 || line.rfind("40", 0) == 0)
            return false;
    }
    return false;
}

bool MyTurn(const Player& player)
{
    return (player.known % 2 == 0) == player.white;
}

// Plays the next move, or resigns once every move is played.
void Act(Player& player, std::mt19937& random)
{
    if (player.over || !MyTurn(player))
        return;
    const Game& game = *player.game;
    const std::string id = std::to_string(game.id);
    if (player.known >= static_cast<int>(game.script.size())) {
        player.line.Send("RESIGN " + id);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 20));
    player.line.Send("MOVE " + id + " " + game.script[player.known]);
}

// A resent game's moves: they must begin the script and hold every ply
// already acknowledged.
void TakeResent(Player& player, const std::string& line)
{
    Game& game = *player.game;
    std::istringstream moves(line.substr(line.find(':') + 1));
    int count = 0;
    for (std::string move; moves >> move; ++count) {
        if (count >= static_cast<int>(game.script.size()) || move != game.script[count]) {
            ++sTotals.wrong;
            std::fprintf(stderr, "%s game %lld: resent move %d is %s\n", player.name.c_str(),
                         static_cast<long long>(game.id), count + 1, move.c_str());
        }
    }
    sTotals.lost += std::max(0, game.acknowledged.load() - count);
    player.known = count;
}

// Cuts the connection and comes back as the desktop client does. False when
// the game cannot go on for this player.
bool CutAndResume(Player& player)
{
    player.line.Close();
    ++sTotals.cuts;
    auto wait = kFirstRetry;
    for (int attempt = 0; attempt < 5; ++attempt, wait *= 2) {
        std::this_thread::sleep_for(wait);
        const auto start = Clock::now();
        if (!LogIn(player, false))
            continue;
        const std::string resent = "120 " + std::to_string(player.game->id) + " ";
        for (std::string line = player.line.Next(); !line.empty(); line = player.line.Next()) {
            if (line.rfind(resent, 0) == 0) {
                TakeResent(player, line);
                std::lock_guard<std::mutex> guard(sTotals.lock);
                sTotals.resumeMs.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                return true;
            }
            if (line.rfind("130", 0) == 0) {
                // Not resent: the game ended while this player was away
                // (the opponent resigned), or it was lost, which its
                // record will show.
                player.over = true;
                return false;
            }
        }
    }
    ++sTotals.failures;
    return false;
}

void Play(Player& player, unsigned seed)
{
    std::mt19937 random(seed);
    std::bernoulli_distribution cut(kCutChance);
    Game& game = *player.game;
    const std::string id = std::to_string(game.id);
    const std::string moved = "114 " + id + " ";
    const std::string ended = "119 " + id + " ";
    Act(player, random);
    for (;;) {
        std::string line = player.line.Next();
        if (line.empty()) {
            ++sTotals.failures;
            return;
        }
        if (line.rfind(ended, 0) == 0)
            return;
        if (line.rfind(moved, 0) != 0)
            continue;
        std::istringstream fields(line.substr(moved.size()));
        int ply = 0;
        std::string move;
        fields >> ply >> move;
        if (ply != player.known + 1 || ply > static_cast<int>(game.script.size()) ||
            move != game.script[ply - 1]) {
            ++sTotals.wrong;
            std::fprintf(stderr, "%s game %s: knew %d plies, then: %s\n", player.name.c_str(),
                         id.c_str(), player.known, line.c_str());
        }
        player.known = ply;
        for (int seen = game.acknowledged; seen < ply;)
            game.acknowledged.compare_exchange_weak(seen, ply);
        Act(player, random);
        if (!cut(random))
            continue;
        // The move just sent may or may not have reached the server: the
        // resent game tells, and the move is sent again when it did not.
        if (!CutAndResume(player))
            return;
        Act(player, random);
    }
}

// The stored game: every move of the script and the resignation. Counts
// the acknowledged moves the record lacks.
bool RecordIsWhole(Player& player)
{
    const Game& game = *player.game;
    const std::string id = std::to_string(game.id);
    if (!LogIn(player, false))
        return false;
    player.line.Send("RECORD " + id);
    std::string head = player.line.Until("137 " + id + " ");
    std::vector<std::string> moves;
    for (std::string line = player.line.Next(); line.rfind("138 " + id + " ", 0) == 0;
         line = player.line.Next()) {
        std::istringstream words(line.substr(line.find(':') + 1));
        for (std::string move; words >> move;)
            moves.push_back(move);
    }
    player.line.Close();
    std::size_t same = 0;
    while (same < moves.size() && same < game.script.size() && moves[same] == game.script[same])
        ++same;
    sTotals.lost += std::max(0, game.acknowledged.load() - static_cast<int>(same));
    return head.find("resigns") != std::string::npos && moves == game.script;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv)
{
    const int games = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const int plies = argc > 2 ? std::max(2, std::atoi(argv[2])) : 60;
    std::string dir = RunDirectory("drop-bench");
    ServerChild server = StartResumingServer(TOLVAR_SERVER_BINARY, dir, "server.log");
    if (server.port == 0) {
        std::fprintf(stderr, "the server did not start; see %s\n", dir.c_str());
        return 1;
    }
    sPort = server.port;

    std::vector<Game> table(games);
    std::vector<Player> players(2 * games);
    for (std::size_t i = 0; i < players.size(); ++i) {
        players[i].name = "d" + std::to_string(i);
        players[i].white = i % 2 == 0;
        players[i].game = &table[i / 2];
        if (!LogIn(players[i], true)) {
            std::fprintf(stderr, "%s could not log in\n", players[i].name.c_str());
            return 1;
        }
    }
    for (int g = 0; g < games; ++g) {
        table[g].script = WanderingGame(plies, static_cast<unsigned>(g + 1));
        Player& white = players[2 * g];
        Player& black = players[2 * g + 1];
        white.line.Send("MAKE 1");
        std::string made;
        do
            made = white.line.Until("118 ");
        while (!made.empty() && made.find(" 0 1 " + white.name) == std::string::npos);
        table[g].id = std::atoll(made.c_str() + 4);
        black.line.Send("PLAY " + std::to_string(table[g].id));
        black.line.Until("118 " + std::to_string(table[g].id) + " 1 1");
    }

    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < players.size(); ++i)
        threads.emplace_back([&players, i] { Play(players[i], static_cast<unsigned>(i) + 7); });
    for (std::thread& thread : threads)
        thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    int correct = 0;
    long acknowledged = 0;
    for (int g = 0; g < games; ++g) {
        acknowledged += table[g].acknowledged;
        if (RecordIsWhole(players[2 * g]))
            ++correct;
    }
    ::kill(server.pid, SIGTERM);
    ::waitpid(server.pid, nullptr, 0);

    std::printf("games %d of %d plies, clients %zu, %.1f s of play\n", games, plies, players.size(),
                seconds);
    std::printf("connections cut: %ld (one per %.1f plies of a game)\n", sTotals.cuts.load(),
                sTotals.cuts ? static_cast<double>(acknowledged) / sTotals.cuts : 0.0);
    std::printf("games finished correctly: %d of %d (target all)\n", correct, games);
    std::printf("acknowledged moves lost: %ld (target 0)\n", sTotals.lost.load());
    std::printf("moves out of order or not as played: %ld; failed logins or silent server: "
                "%ld\n",
                sTotals.wrong.load(), sTotals.failures.load());
    std::printf("time to resume (new connection to the game resent): median %.1f ms, max %.1f "
                "ms, over %zu resumptions\n",
                Percentile(sTotals.resumeMs, 0.5), Percentile(sTotals.resumeMs, 1.0),
                sTotals.resumeMs.size());
    const bool good = correct == games && sTotals.lost == 0;
    if (good)
        std::filesystem::remove_all(dir);
    else
        std::fprintf(stderr, "the server's files are kept in %s\n", dir.c_str());
    return good ? 0 : 1;
}
