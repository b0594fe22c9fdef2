#pragma once
// One chess server: the listening socket, the lobby, the account store and
// the worker threads. Runs on the io_context given to it, which exactly one
// thread must run; Start, Port and Stop are called on that thread (or before
// it runs). Stop blocks until pending database writes are committed.

#include "server/ServerConfig.h"

#include <asio.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace tolvar::server {

class Lobby;
class NodeBus;
class Storage;
class WorkerPool;

class Server
{
public:
    Server(asio::io_context& loop, ServerConfig config);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Opens the database and starts listening; false with a reason on failure.
    bool Start(std::string* error);
    // The bound port (useful after asking for port 0).
    std::uint16_t Port() const { return fPort; }
    // Stops accepting, closes every connection, commits what is pending.
    // Games in progress end without a result. Idempotent.
    void Stop();

private:
    void _Accept();

    asio::io_context& fLoop;
    ServerConfig fConfig;
    std::unique_ptr<Storage> fStore;
    std::unique_ptr<NodeBus> fBus;
    std::unique_ptr<WorkerPool> fStoreWorker;
    std::unique_ptr<WorkerPool> fHashWorkers;
    std::unique_ptr<Lobby> fLobby;
    asio::ip::tcp::acceptor fAcceptor;
    asio::steady_timer fRetryTimer;
    std::uint64_t fNextConnection = 1;
    std::uint16_t fPort = 0;
    bool fRunning = false;
};

} // namespace tolvar::server
