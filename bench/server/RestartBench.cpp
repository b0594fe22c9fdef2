// Server restart under load: 100 games between 200 real-socket clients are
// under way when the server is killed (SIGKILL) and started again on the
// same database. Prints the acknowledged moves lost (a move counts as
// acknowledged once its mover has seen its 114 line) and the time from the
// server listening again to every game resumed (each player has its 120
// line back).
//
//   server_restart_bench [GAMES]

#include "BenchLine.h"
#include "BenchServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace tolvar::bench;
using Clock = std::chrono::steady_clock;

namespace {

// Twenty plies that end nothing.
const std::vector<std::string> kScript = {"E2E4", "E7E5", "G1F3", "B8C6", "F1C4", "F8C5", "D2D3",
                                          "G8F6", "C2C3", "D7D6", "B1D2", "A7A6", "A2A4", "C8E6",
                                          "H2H3", "H7H6", "E1G1", "E8G8", "F1E1", "F8E8"};

struct Player
{
    std::string name;
    Line line;
    bool white = false;
    std::int64_t game = 0;
    std::atomic<int> acknowledged{0}; // plies this player has seen announced
};

bool LogIn(Player& player, std::uint16_t port, bool create)
{
    if (!player.line.Open(port) || player.line.Until("101").empty())
        return false;
    if (create) {
        player.line.Send("CREATE " + player.name + " secret");
        if (player.line.Until("401").empty())
            return false;
    }
    player.line.Send("USER " + player.name + " secret");
    if (player.line.Until("201").empty())
        return false;
    player.line.Send("FEATURES resume");
    return true;
}

// Plays this player's side until the connection ends.
void Play(Player& player)
{
    if (player.white)
        player.line.Send("MOVE " + std::to_string(player.game) + " " + kScript[0]);
    std::string prefix = "114 " + std::to_string(player.game) + " ";
    for (std::string line = player.line.Next(); !line.empty(); line = player.line.Next()) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        int ply = std::atoi(line.c_str() + prefix.size());
        player.acknowledged = ply;
        bool mine = (ply % 2 == 0) == player.white;
        if (mine && ply < static_cast<int>(kScript.size())) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::rand() % 20));
            player.line.Send("MOVE " + std::to_string(player.game) + " " + kScript[ply]);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int games = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    std::string dir = RunDirectory("restart-bench");
    ServerChild server = StartResumingServer(TOLVAR_SERVER_BINARY, dir, "server.log");
    if (server.port == 0) {
        std::fprintf(stderr, "the server did not start; see %s\n", dir.c_str());
        return 1;
    }
    std::vector<Player> players(2 * games);
    for (std::size_t i = 0; i < players.size(); ++i) {
        players[i].name = "p" + std::to_string(i);
        players[i].white = i % 2 == 0;
        if (!LogIn(players[i], server.port, true)) {
            std::fprintf(stderr, "%s could not log in\n", players[i].name.c_str());
            return 1;
        }
    }
    for (int g = 0; g < games; ++g) {
        Player& white = players[2 * g];
        Player& black = players[2 * g + 1];
        white.line.Send("MAKE 1");
        // Other games' lines may come first: the challenge is the one of this player.
        std::string made;
        do
            made = white.line.Until("118 ");
        while (!made.empty() && made.find(" 0 1 " + white.name) == std::string::npos);
        white.game = black.game = std::atoll(made.c_str() + 4);
        black.line.Send("PLAY " + std::to_string(black.game));
        black.line.Until("118 " + std::to_string(black.game) + " 1 1");
    }

    // Play for a while, then kill the server in the middle of it.
    std::vector<std::thread> threads;
    for (Player& player : players)
        threads.emplace_back([&player] { Play(player); });
    // The kill comes once about half the moves of all games are played, so
    // that moves are on their way to the database when it comes.
    const long half = static_cast<long>(games * kScript.size() / 2);
    for (auto until = Clock::now() + std::chrono::seconds(10); Clock::now() < until;) {
        long played = 0;
        for (int g = 0; g < games; ++g)
            played += std::max(players[2 * g].acknowledged, players[2 * g + 1].acknowledged);
        if (played >= half)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(server.pid, SIGKILL);
    ::waitpid(server.pid, nullptr, 0);
    for (std::thread& thread : threads)
        thread.join();
    long announced = 0;
    std::vector<int> acknowledged(games);
    for (int g = 0; g < games; ++g) {
        acknowledged[g] = std::max(players[2 * g].acknowledged, players[2 * g + 1].acknowledged);
        announced += acknowledged[g];
    }

    // A log of its own: the first one names the old port.
    server = StartResumingServer(TOLVAR_SERVER_BINARY, dir, "restart.log");
    const auto listening = Clock::now();
    if (server.port == 0) {
        std::fprintf(stderr, "the server did not start again; see %s\n", dir.c_str());
        return 1;
    }
    std::vector<int> resumed(players.size(), -1);
    std::vector<Clock::time_point> at(players.size());
    threads.clear();
    for (std::size_t i = 0; i < players.size(); ++i) {
        threads.emplace_back([&, i] {
            Player& player = players[i];
            if (!LogIn(player, server.port, false))
                return;
            std::string line = player.line.Until("120 " + std::to_string(player.game) + " ");
            if (line.empty())
                return;
            std::istringstream moves(line.substr(line.find(':') + 1));
            int count = 0;
            for (std::string move; moves >> move;)
                ++count;
            resumed[i] = count;
            at[i] = Clock::now();
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    long lost = 0;
    int missing = 0;
    Clock::time_point last = listening;
    for (std::size_t i = 0; i < players.size(); ++i) {
        if (resumed[i] < 0) {
            ++missing;
            continue;
        }
        lost += std::max(0, acknowledged[i / 2] - resumed[i]);
        last = std::max(last, at[i]);
    }
    ::kill(server.pid, SIGTERM);
    ::waitpid(server.pid, nullptr, 0);
    std::printf("games %d, clients %zu, moves acknowledged before the kill %ld\n", games,
                players.size(), announced);
    std::printf("acknowledged moves lost: %ld (target 0)\n", lost / 2);
    std::printf("players whose game did not come back: %d\n", missing);
    std::printf("from listening again to every game resumed: %.0f ms (target < 3000)\n",
                std::chrono::duration<double, std::milli>(last - listening).count());
    if (lost == 0 && missing == 0)
        std::filesystem::remove_all(dir);
    return lost == 0 && missing == 0 ? 0 : 1;
}
