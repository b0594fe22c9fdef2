#pragma once
// A crowd of players on raw sockets, for filling a server: each logs in
// with an account seeded beforehand and offers its share of challenges.
// A thread reads everything the server sends them, as it must: the server
// drops a connection that stops reading.
//
// Driven from one thread; the reader runs on its own.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class RawCrowd
{
public:
    // `players` players named Name(0) ... sharing `games` challenges (a
    // player may hold at most three).
    RawCrowd(int players, int games);
    ~RawCrowd();

    static std::string Name(int index);
    static constexpr const char* kPassword = "crowd-secret";

    // Connects every player to 127.0.0.1:`port` and sends its login.
    bool Connect(int port, std::string* error);
    // Waits until every player is logged in; false after `timeoutMs` or
    // when a connection was refused or lost.
    bool WaitLoggedIn(int timeoutMs);
    // Sends every player's MAKE lines.
    bool OfferGames();
    // Waits until every player has been told of each of its own challenges
    // and the server has sent nothing for `quietMs`: it is then idle.
    bool WaitSettled(int timeoutMs, int quietMs);

    // Disconnects every player; the reader stops first, so the departures
    // are not taken for failures.
    void Close();

    std::string Error() const;
    // Bytes received by the whole crowd so far.
    long long BytesReceived() const { return fBytes; }

private:
    struct Player;

    void _Read();
    void _Take(Player& player, const char* data, size_t size);
    bool _Send(Player& player, const std::string& line);
    void _SetError(const std::string& error);

    int fGames;
    std::vector<std::unique_ptr<Player>> fPlayers;
    int fEpoll = -1;
    int fWake = -1;
    std::thread fReader;
    std::atomic<bool> fStop{false};
    std::atomic<int> fLoggedIn{0};
    std::atomic<int> fGamesSeen{0};
    std::atomic<long long> fBytes{0};
    std::atomic<long long> fLastDataMicros{0};
    std::atomic<bool> fFailed{false};
    mutable std::mutex fErrorLock;
    std::string fError;
};
