#pragma once
// Everything an operator or a test may tune about one server instance.
// A plain value; copied into the server at construction.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvar::server {

// Cost of one argon2id password hash. Interactive limits take about 64 MiB
// and a tenth of a second per hash; the minimum is for tests only.
struct HashCost
{
    unsigned long long opsLimit;
    std::size_t memLimit;

    static HashCost Interactive();
    static HashCost Minimum();
};

struct ServerConfig
{
    std::string listenAddress = "127.0.0.1";
    std::uint16_t port = 5000;
    std::string databasePath;
    std::string description = "Tolvar chess server";

    HashCost hashCost = HashCost::Interactive();
    // Each running hash holds its whole memory limit, so the number of
    // hashing threads bounds the server's peak memory.
    int hashThreads = 1;

    std::size_t maxLineBytes = 1024;
    std::size_t maxPasswordBytes = 128;
    std::size_t maxDescriptionBytes = 100;
    std::size_t maxChatBytes = 400;
    int maxOpenChallenges = 3;
    int maxGamesPerUser = 10;
    int maxConnections = 4000;
    int maxFailedLogins = 5;

    // Output pacing, for a client that reads at most 999 bytes at a time,
    // pauses after each read and drops any line a read cuts: at most
    // paceBurstBytes are then written to one connection within any
    // paceInterval, always as whole lines. Our client keeps a line that a
    // read cuts and does not pause, so pacing is off (zero interval): it
    // would only slow a large lobby down.
    std::size_t paceBurstBytes = 999;
    std::chrono::milliseconds paceInterval{0};
    // A connection whose unsent output grows beyond this is dropped. The
    // kernel's send buffer is kept small too, or it would hide a reader
    // that stopped reading behind megabytes of automatic buffer growth.
    std::size_t maxQueuedBytes = 256 * 1024;
    int socketSendBuffer = 64 * 1024;

    // Lines a connection may send: a burst, refilled at a steady rate.
    int floodBurstLines = 60;
    int floodLinesPerSecond = 30;

    // A connection that has not logged in by then is closed. Logged-in
    // clients send nothing while idle, so they are watched by TCP keepalive.
    std::chrono::milliseconds loginTimeout{60000};
    bool tcpKeepAlive = true;
};

} // namespace tolvar::server
