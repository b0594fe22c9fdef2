// Cluster benchmark: three tolvar-server nodes on one database, meeting on
// a nats-server, with real-socket clients spread over them. Prints
//
// - MOVE to the opponent's 114, p50 and p99, for games whose players sit on
//   the same node and on different nodes (a light load);
// - correctness under load: games across nodes played to the end, moves
//   lost, duplicated or out of order, and whether every client's lobby
//   (USERS and GAMES) agrees at the end;
// - failover: one node killed (SIGKILL) in the middle of games; the time
//   until every affected game has moved again, and acknowledged moves lost.
//   The clients of the lost node log in again through HAProxy, run with
//   deploy/haproxy.cfg on the benchmark's ports (or, without HAProxy, at the
//   next node).
//
//   server_cluster_bench [--clients N] [--failover-games N]

#include "BenchServer.h"
#include "server/ServerHarness.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

using namespace tolvar::server::test;
using tolvar::bench::CrowdOptions;

namespace {

// Twenty plies that end nothing.
const std::vector<std::string> kScript = {"E2E4", "E7E5", "G1F3", "B8C6", "F1C4", "F8C5", "D2D3",
                                          "G8F6", "C2C3", "D7D6", "B1D2", "A7A6", "A2A4", "C8E6",
                                          "H2H3", "H7H6", "E1G1", "E8G8", "F1E1", "F8E8"};
const int kPlies = static_cast<int>(kScript.size());
constexpr int kNodes = 3;

using Nanos = std::int64_t;

Nanos Now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

struct Game
{
    std::int64_t id = 0;
    bool acrossNodes = false;
    bool resign = false; // Black resigns after the last ply
    std::array<std::atomic<Nanos>, 22> sentAt{};
    std::atomic<int> acknowledged{0}; // highest ply any player has seen
    std::atomic<int> atKill{-1};      // acknowledged when the node was killed
    std::atomic<Nanos> movedAfterKill{0};
};

struct Player
{
    std::string name;
    int node = 0;
    bool white = false;
    Game* game = nullptr;
    std::unique_ptr<Peer> peer;
    int ply = 0;
    long lost = 0, wrong = 0, restoredLost = 0;
    bool finished = false;
    std::vector<double> latencies; // microseconds
};

class Cluster
{
public:
    bool Start(const std::string& binary)
    {
        std::string url, error;
        fBus = StartBus(fDir.File("bus.log"), &url, &error);
        if (!fBus) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
        for (int node = 1; node <= kNodes; ++node) {
            std::vector<std::string> arguments = CrowdOptions();
            // Connections straight to a node say so, as the balancer's own do.
            arguments.insert(arguments.end(),
                             {"--bus", url, "--node", "node" + std::to_string(node), "--set",
                              "max-connections=100000", "--proxy-from", "127.0.0.1"});
            fNodes.push_back(std::make_unique<ServerProcess>(
                binary, arguments, fDir.File("node" + std::to_string(node) + ".log"), &fDatabase));
            fPorts.push_back(fNodes.back()->WaitForPort());
            if (fPorts.back() == 0)
                return false;
        }
        for (int i = 0; i < kNodes; ++i)
            for (int j = 1; j <= kNodes; ++j)
                if (j != i + 1 &&
                    !fNodes[i]->Logged("node node" + std::to_string(j) + " is in the cluster"))
                    return false;
        return _StartBalancer();
    }
    std::uint16_t Port(int node) const { return fPorts[node]; }
    // The load balancer's port, or 0 without HAProxy.
    std::uint16_t BalancerPort() const { return fBalancerPort; }
    bool Alive(int node) const { return fNodes[node]->Pid() > 0; }
    void Kill(int node) { fNodes[node]->Stop(SIGKILL); }
    std::string Dir() const { return fDir.Path(); }

private:
    // HAProxy, if installed, on the shipped configuration.
    bool _StartBalancer()
    {
        std::string error;
        fBalancer =
            StartBalancer(TOLVAR_HAPROXY_CONFIG, fPorts, fDir.Path(), &fBalancerPort, &error);
        if (!fBalancer && ::access("/usr/sbin/haproxy", X_OK) == 0) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
        if (!fBalancer)
            fBalancerPort = 0;
        return true;
    }

    TempDir fDir;
    TestDatabase fDatabase{fDir.File("server.db")};
    std::unique_ptr<ServerProcess> fBus;
    std::vector<std::unique_ptr<ServerProcess>> fNodes;
    std::vector<std::uint16_t> fPorts;
    std::unique_ptr<ServerProcess> fBalancer;
    std::uint16_t fBalancerPort = 0;
};

// The line that starts with `prefix` (and holds `part`), or "".
std::string Until(Peer& peer, const std::string& prefix, const std::string& part = {})
{
    for (std::string line = peer.Next(10s);; line = peer.Next(10s)) {
        if (line == "<nothing>" || line == "<closed>")
            return {};
        if (line.rfind(prefix, 0) == 0 && line.find(part) != std::string::npos)
            return line;
    }
}

bool LogIn(Player& player, std::uint16_t port, bool create, bool direct = true)
{
    player.peer = std::make_unique<Peer>(port);
    Peer& peer = *player.peer;
    if (direct)
        peer.SendRaw("PROXY UNKNOWN\r\n");
    if (Until(peer, "101").empty())
        return false;
    if (create) {
        peer.Send("CREATE " + player.name + " secret");
        if (Until(peer, "401").empty())
            return false;
    }
    peer.Send("USER " + player.name + " secret");
    if (Until(peer, "201").empty())
        return false;
    peer.Send("FEATURES resign resume");
    // Coming back, the games come before the 130 answer: the player's loop
    // reads them.
    return !create || !Until(peer, "130").empty();
}

bool SetUp(std::vector<Player>& players, std::vector<std::unique_ptr<Game>>& games,
           const Cluster& cluster)
{
    for (Player& player : players)
        if (!LogIn(player, cluster.Port(player.node), true))
            return std::fprintf(stderr, "%s could not log in\n", player.name.c_str()), false;
    for (std::size_t g = 0; g < games.size(); ++g) {
        Player& white = players[2 * g];
        Player& black = players[2 * g + 1];
        white.peer->Send("MAKE 1");
        std::string made = Until(*white.peer, "118 ", " 0 1 " + white.name);
        if (made.empty())
            return std::fprintf(stderr, "%s could not make a game\n", white.name.c_str()), false;
        games[g]->id = std::atoll(made.c_str() + 4);
        black.peer->Send("PLAY " + std::to_string(games[g]->id));
        if (Until(*black.peer, "118 " + std::to_string(games[g]->id) + " 1 1").empty())
            return std::fprintf(stderr, "%s could not join\n", black.name.c_str()), false;
    }
    return true;
}

void SendMove(Player& player, int ply)
{
    player.game->sentAt[static_cast<std::size_t>(ply)] = Now();
    player.peer->Send("MOVE " + std::to_string(player.game->id) + " " +
                      kScript[static_cast<std::size_t>(ply - 1)]);
}

// Plays this player's side to the end, logging in again elsewhere when its
// node goes.
void Play(Player& player, std::chrono::milliseconds think, const Cluster& cluster,
          const std::atomic<bool>& killed)
{
    Game& game = *player.game;
    std::string id = std::to_string(game.id);
    auto mine = [&](int ply) { return (ply % 2 == 1) == player.white; };
    if (player.white)
        SendMove(player, 1);
    for (;;) {
        std::string line = player.peer->Next(10s);
        if (line == "<nothing>")
            return;
        if (line == "<closed>") {
            // At once, then after 1, 2 and 4 s, as the client tries: the
            // balancer may close a connection while it has not yet seen
            // that a node is gone.
            bool back = false;
            for (int attempt = 0; attempt < 4 && !back; ++attempt) {
                std::this_thread::sleep_for(
                    attempt == 0 ? 0s : std::chrono::seconds(1 << (attempt - 1)));
                int next = player.node;
                do
                    next = (next + 1) % kNodes;
                while (!cluster.Alive(next));
                player.node = next;
                back = cluster.BalancerPort() ? LogIn(player, cluster.BalancerPort(), false, false)
                                              : LogIn(player, cluster.Port(next), false);
            }
            if (!back)
                return;
            continue;
        }
        std::istringstream words(line);
        std::string code, gameId;
        words >> code >> gameId;
        if (gameId != id)
            continue;
        if (code == "120") {
            // The game is back after a node was lost: on from its stored moves.
            std::istringstream moves(line.substr(line.find(':') + 1));
            int count = 0;
            for (std::string move; moves >> move;)
                ++count;
            player.restoredLost += std::max(0, game.atKill - count);
            player.ply = count;
            if (count < kPlies && mine(count + 1))
                SendMove(player, count + 1);
            continue;
        }
        if (code == "119") {
            player.finished = true;
            return;
        }
        if (code != "114")
            continue;
        int ply = 0;
        std::string move;
        words >> ply >> move;
        if (ply > player.ply + 1)
            player.lost += ply - player.ply - 1;
        if (ply != player.ply + 1 || move != kScript[static_cast<std::size_t>(ply - 1)])
            ++player.wrong;
        player.ply = std::max(player.ply, ply);
        int seen = game.acknowledged.load();
        while (seen < ply && !game.acknowledged.compare_exchange_weak(seen, ply)) {
        }
        if (killed && game.atKill >= 0 && ply > game.atKill) {
            Nanos unset = 0;
            game.movedAfterKill.compare_exchange_strong(unset, Now());
        }
        if (!mine(ply) && !killed)
            player.latencies.push_back(
                static_cast<double>(Now() - game.sentAt[static_cast<std::size_t>(ply)]) / 1000.0);
        if (ply == kPlies) {
            if (!game.resign) {
                player.finished = true;
                return;
            }
            if (!player.white)
                player.peer->Send("RESIGN " + id);
            continue;
        }
        if (mine(ply + 1)) {
            std::this_thread::sleep_for(think);
            SendMove(player, ply + 1);
        }
    }
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

// Players 2g and 2g+1 play game g; White on node `whiteNode(g)`, Black on `blackNode(g)`.
template <typename WhiteNode, typename BlackNode>
void MakePlayers(const std::string& prefix, int count, WhiteNode whiteNode, BlackNode blackNode,
                 std::vector<Player>& players, std::vector<std::unique_ptr<Game>>& games)
{
    players = std::vector<Player>(static_cast<std::size_t>(2 * count));
    games.clear();
    for (int g = 0; g < count; ++g) {
        games.push_back(std::make_unique<Game>());
        for (int side = 0; side < 2; ++side) {
            Player& player = players[static_cast<std::size_t>(2 * g + side)];
            player.name = prefix + std::to_string(2 * g + side);
            player.white = side == 0;
            player.node = side == 0 ? whiteNode(g) : blackNode(g);
            player.game = games.back().get();
        }
        games.back()->acrossNodes = whiteNode(g) != blackNode(g);
    }
}

void PlayAll(std::vector<Player>& players, std::chrono::milliseconds think, const Cluster& cluster,
             const std::atomic<bool>& killed)
{
    std::vector<std::thread> threads;
    for (Player& player : players)
        threads.emplace_back([&] { Play(player, think, cluster, killed); });
    for (std::thread& thread : threads)
        thread.join();
}

// Every client asks USERS and GAMES; the number of clients whose answer
// differs from the first one's.
int LobbiesDisagreeing(std::vector<Player>& players, std::size_t* users, std::size_t* games)
{
    std::vector<std::set<std::string>> answers(players.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < players.size(); ++i) {
        threads.emplace_back([&, i] {
            Peer& peer = *players[i].peer;
            while (peer.Next(0ms) != "<nothing>") {
            }
            peer.Send("USERS");
            peer.Send("GAMES");
            for (std::string line = peer.Next(2s); line != "<nothing>" && line != "<closed>";
                 line = peer.Next(1s))
                answers[i].insert(line);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    *users = *games = 0;
    for (const std::string& line : answers[0])
        ++(line.rfind("700 ", 0) == 0 ? *users : *games);
    return static_cast<int>(std::count_if(
        answers.begin(), answers.end(), [&](const auto& answer) { return answer != answers[0]; }));
}

} // namespace

int main(int argc, char** argv)
{
    int clients = 500;
    int failoverGames = 100;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--clients")
            clients = std::max(6, std::atoi(argv[i + 1]) / 2 * 2);
        else if (option == "--failover-games")
            failoverGames = std::max(3, std::atoi(argv[i + 1]));
    }
    ::signal(SIGPIPE, SIG_IGN);
    Cluster cluster;
    if (!cluster.Start(TOLVAR_SERVER_BINARY)) {
        std::fprintf(stderr, "the cluster did not start; see %s\n", cluster.Dir().c_str());
        return 1;
    }
    std::atomic<bool> killed{false};
    std::vector<Player> players;
    std::vector<std::unique_ptr<Game>> games;

    // 1. Latency at a light load: 20 games on one node each, 20 across nodes.
    MakePlayers(
        "l", 40, [](int g) { return g % kNodes; },
        [](int g) { return g < 20 ? g % kNodes : (g + 1) % kNodes; }, players, games);
    if (!SetUp(players, games, cluster))
        return 1;
    PlayAll(players, 20ms, cluster, killed);
    std::vector<double> same, across;
    for (const Player& player : players)
        (player.game->acrossNodes ? across : same)
            .insert((player.game->acrossNodes ? across : same).end(), player.latencies.begin(),
                    player.latencies.end());
    std::printf("MOVE to the opponent's 114, light load (40 games):\n");
    std::printf("  same node:       p50 %.2f ms, p99 %.2f ms (%zu moves)\n",
                Percentile(same, 0.5) / 1000, Percentile(same, 0.99) / 1000, same.size());
    std::printf("  different nodes: p50 %.2f ms, p99 %.2f ms (%zu moves; target p99 < 10 ms)\n",
                Percentile(across, 0.5) / 1000, Percentile(across, 0.99) / 1000, across.size());
    players.clear();
    std::this_thread::sleep_for(1s);

    // 2. Correctness under load: every game across nodes; half end by
    // resignation, so ratings change, half stay running.
    int loadGames = clients / 2;
    MakePlayers(
        "c", loadGames, [](int g) { return g % kNodes; }, [](int g) { return (g + 1) % kNodes; },
        players, games);
    for (std::size_t g = 0; g < games.size(); ++g)
        games[g]->resign = g % 2 == 0;
    auto start = Clock::now();
    if (!SetUp(players, games, cluster))
        return 1;
    auto setUp = Clock::now();
    PlayAll(players, 20ms, cluster, killed);
    double playing = std::chrono::duration<double>(Clock::now() - setUp).count();
    long lost = 0, wrong = 0, moves = 0;
    int unfinished = 0;
    std::vector<double> loaded;
    for (const Player& player : players) {
        lost += player.lost;
        wrong += player.wrong;
        moves += player.ply;
        unfinished += !player.finished;
        loaded.insert(loaded.end(), player.latencies.begin(), player.latencies.end());
    }
    std::this_thread::sleep_for(1s);
    std::size_t users = 0, listed = 0;
    int disagreeing = LobbiesDisagreeing(players, &users, &listed);
    std::printf("Under load: %zu clients over %d nodes, %d games across nodes "
                "(set up in %.1f s, played in %.1f s)\n",
                players.size(), kNodes, loadGames,
                std::chrono::duration<double>(setUp - start).count(), playing);
    std::printf(
        "  moves seen %ld, lost %ld, duplicated or out of order %ld, players unfinished %d\n",
        moves, lost, wrong, unfinished);
    std::printf("  MOVE to the opponent's 114 across nodes: p50 %.2f ms, p99 %.2f ms\n",
                Percentile(loaded, 0.5) / 1000, Percentile(loaded, 0.99) / 1000);
    std::printf("  lobbies: %zu users, %zu games listed; clients disagreeing: %d (target 0)\n",
                users, listed, disagreeing);
    players.clear();
    std::this_thread::sleep_for(1s);

    // 3. Failover: node 3 is killed in the middle of the games.
    MakePlayers(
        "f", failoverGames, [](int g) { return g % kNodes; },
        [](int g) { return (g + 1) % kNodes; }, players, games);
    if (!SetUp(players, games, cluster))
        return 1;
    std::thread killer([&] {
        std::this_thread::sleep_for(500ms);
        for (auto& game : games)
            game->atKill = game->acknowledged.load();
        killed = true;
        cluster.Kill(kNodes - 1);
    });
    auto killAt = Clock::now() + 500ms;
    PlayAll(players, 50ms, cluster, killed);
    killer.join();
    int affected = 0, stuck = 0;
    double slowest = 0;
    long restoredLost = 0;
    for (std::size_t g = 0; g < games.size(); ++g) {
        const Game& game = *games[g];
        int white = static_cast<int>(g) % kNodes, black = (white + 1) % kNodes;
        if (game.atKill >= kPlies || (white != kNodes - 1 && black != kNodes - 1))
            continue;
        ++affected;
        if (game.movedAfterKill == 0) {
            ++stuck;
            std::fprintf(stderr,
                         "game %lld stuck at ply %d (killed at %d): %s on node %d at %d, %s on "
                         "node %d at %d\n",
                         (long long)game.id, game.acknowledged.load(), game.atKill.load(),
                         players[2 * g].name.c_str(), players[2 * g].node + 1, players[2 * g].ply,
                         players[2 * g + 1].name.c_str(), players[2 * g + 1].node + 1,
                         players[2 * g + 1].ply);
            continue;
        }
        slowest = std::max(
            slowest, static_cast<double>(game.movedAfterKill -
                                         Nanos(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                   killAt.time_since_epoch())
                                                   .count())) /
                         1e6);
    }
    for (std::size_t g = 0; g < games.size(); ++g)
        restoredLost += std::max(players[2 * g].restoredLost, players[2 * g + 1].restoredLost);
    std::printf("Failover: %d games, node 3 killed after 500 ms; %d games affected; its clients "
                "back %s\n",
                failoverGames, affected,
                cluster.BalancerPort() ? "through HAProxy" : "at the next node (no HAProxy)");
    std::printf("  until every affected game moved again: %.0f ms (target < 5000); "
                "games that did not: %d\n",
                slowest, stuck);
    std::printf("  acknowledged moves lost: %ld (target 0)\n", restoredLost);
    return 0;
}
