#pragma once
// Everything an operator or a test may tune about one server instance.
// A plain value; copied into the server at construction.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
    // A PostgreSQL connection string (key=value pairs or a postgresql://
    // URI); when set, the database lives there instead of in the file.
    std::string postgres;
    std::string description = "Tolvar chess server";
    // A node of a cluster: the NATS server its nodes share, this node's
    // unique name and its number, which game ids are interleaved by. Empty:
    // a server on its own.
    std::string busUrl;
    std::string nodeName;
    int nodeNumber = 0;
    // Load balancers: a connection from one of these addresses begins with
    // a PROXY protocol header naming the client, whose address then counts.
    std::vector<std::string> proxyFrom;

    HashCost hashCost = HashCost::Interactive();
    // Each running hash holds its whole memory limit, so the number of
    // hashing threads bounds the server's peak memory.
    int hashThreads = 1;
    // How many game ids a server sharing its database takes at a time; 1
    // takes each when it is needed, so that ids follow the order in which
    // the cluster's games are made, as on one server.
    int gameIdBatch = 16;

    std::size_t maxLineBytes = 1024;
    std::size_t maxPasswordBytes = 128;
    std::size_t maxDescriptionBytes = 100;
    std::size_t maxChatBytes = 400;
    int maxOpenChallenges = 3;
    int maxGamesPerUser = 10;
    int maxConnections = 4000;
    // Connections from one address that have not logged in yet.
    int maxGuestsPerAddress = 20;
    int maxFailedLogins = 5;

    // Password checks waiting for a hashing thread, in all and from one
    // address; past that a login is answered "busy" (see LoginQueue).
    int maxWaitingLogins = 32;
    int maxWaitingLoginsPerAddress = 4;
    // Failed logins slow further tries down (see LoginThrottle): from the
    // third failure on, by this delay, doubled each time up to the cap, and
    // forgotten after a success or once no failure came for a while.
    std::chrono::milliseconds loginFirstDelay{2000};
    std::chrono::milliseconds loginMaxDelay{60000};
    std::chrono::milliseconds loginFailureMemory{15 * 60 * 1000};

    // A finished game whose players stay in it is forgotten once nobody has
    // chatted in it for this long.
    std::chrono::milliseconds finishedGameIdle{10 * 60 * 1000};
    // A result that cannot be stored is tried again after this, doubled
    // each time up to a minute.
    std::chrono::milliseconds resultRetry{1000};

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
    // Lobby lines to everyone (arrivals, challenges, results, chat) wait
    // this long (longer with thousands logged in) to go out together with
    // those that follow.
    std::chrono::milliseconds broadcastDelay{20};
    int socketSendBuffer = 64 * 1024;

    // Lines a connection may send: a burst, refilled at a steady rate.
    int floodBurstLines = 60;
    int floodLinesPerSecond = 30;
    // Archive requests (ARCHIVE, RECORD) a connection may make: a burst,
    // refilled at a steady rate.
    int archiveBurst = 20;
    int archivePerSecond = 2;

    // Draw and rematch offers a player may make: a burst, refilled at a
    // steady rate.
    int offerBurst = 5;
    int offersPerSecond = 1;
    // Game clocks run this many times faster than real time (tests only).
    int clockScale = 1;

    // A connection that has not logged in by then is closed; the time the
    // server takes to check a login does not count. Logged-in clients send
    // nothing while idle, so they are watched by TCP keepalive.
    std::chrono::milliseconds loginTimeout{10000};
    bool tcpKeepAlive = true;
    // Clients that announce `keepalive` are asked after this much silence
    // whether they are there, and dropped after the limit.
    std::chrono::milliseconds keepAliveInterval{10000};
    std::chrono::milliseconds keepAliveLimit{30000};
    // A player of a client that announced `resume` keeps a running game this
    // long after losing the connection.
    std::chrono::milliseconds grace{60000};
};

} // namespace tolvar::server
