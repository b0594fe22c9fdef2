#pragma once
// One simulated player of the load benchmark: logs in, opens or joins its
// game, replays its side of a fixed game with a think time between moves,
// and checks every move line it receives. Runs on the benchmark's single
// network thread; nothing here blocks.

#include <asio.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tolvar::bench {

using Clock = std::chrono::steady_clock;

class BenchClient;

// One game between two benchmark clients.
struct BenchGame
{
    const std::vector<std::string>* script = nullptr;
    std::int64_t id = 0;
    BenchClient* white = nullptr;
    BenchClient* black = nullptr;
    std::vector<Clock::time_point> sentAt; // by ply, 1-based
};

// What all clients share: counters, measurements and the next step's trigger.
struct BenchRun
{
    int clients = 0;
    int expectedGameLines = 0; // 118 lines each client should see during set-up
    std::chrono::milliseconds think{20};
    int loggedIn = 0;
    int setUp = 0;
    int finished = 0;
    long moves = 0;
    long lost = 0;                 // plies never received
    long misordered = 0;           // duplicated, out of order or not the move sent
    long refused = 0;              // any error reply
    int dropped = 0;               // clients the server disconnected
    std::vector<double> latencies; // microseconds, MOVE to the opponent's 114
    std::function<void()> allLoggedIn;
    std::function<void()> allSetUp;
    std::function<void()> allFinished;
};

class BenchClient
{
public:
    BenchClient(asio::io_context& loop, BenchRun& run, BenchGame& game, bool white,
                std::string name);

    // Connects from `from`, a loopback address: the server lets only so many
    // connections of one address wait for their login.
    void Connect(const asio::ip::tcp::endpoint& server, const asio::ip::address& from);
    // White opens the game; black joins when white has learnt its id.
    void OpenGame();
    void Join(std::int64_t id);
    // Plays the next ply after `delay`.
    void MoveAfter(std::chrono::milliseconds delay);
    void Close();

    int Received() const { return fReceived; }

private:
    void _Send(const std::string& line);
    void _Write();
    void _Read();
    void _Line(const std::string& line);
    void _MoveLine(const std::string& line);
    void _Done();
    bool _MyPly(int ply) const { return (ply % 2 == 1) == fWhite; }

    asio::ip::tcp::socket fSocket;
    asio::steady_timer fThink;
    BenchRun& fRun;
    BenchGame& fGame;
    bool fWhite;
    std::string fName;
    std::array<char, 4096> fReadBuffer;
    std::string fInput;
    std::deque<std::string> fOutput;
    asio::steady_timer fRetry;
    int fRetries = 0;
    bool fWriting = false;
    int fGameLines = 0;
    int fReceived = 0;
    bool fDone = false;
};

} // namespace tolvar::bench
