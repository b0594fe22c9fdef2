#include "server/Server.h"

#include "server/Connection.h"
#include "server/EventLog.h"
#include "server/Lobby.h"
#include "server/NodeBus.h"
#include "server/PostgresStorage.h"
#include "server/ProxyHeader.h"
#include "server/Reply.h"
#include "server/RunningGames.h"
#include "server/WorkerPool.h"

#include <algorithm>

namespace tolvar::server {

namespace {
// How long a load balancer may take to name the client it passes on.
constexpr std::chrono::milliseconds kProxyHeaderTime{5000};
} // namespace

Server::Server(asio::io_context& loop, ServerConfig config)
    : fLoop(loop), fConfig(std::move(config)), fAcceptor(loop), fRetryTimer(loop)
{
}

Server::~Server()
{
    Stop();
}

bool Server::Start(std::string* error)
{
    std::string reason;
    fStore = OpenStorage(fConfig, &reason);
    if (!fStore) {
        std::string name = fConfig.postgres.empty()
                               ? fConfig.databasePath
                               : PostgresStorage::DescribeConnection(fConfig.postgres);
        *error = "cannot open database " + name + ": " + reason;
        return false;
    }
    asio::error_code code;
    asio::ip::address address = asio::ip::make_address(fConfig.listenAddress, code);
    if (code) {
        *error = "bad listen address " + fConfig.listenAddress;
        return false;
    }
    asio::ip::tcp::endpoint endpoint(address, fConfig.port);
    fAcceptor.open(endpoint.protocol(), code);
    if (!code)
        fAcceptor.set_option(asio::socket_base::reuse_address(true), code);
    if (!code)
        fAcceptor.bind(endpoint, code);
    if (!code)
        fAcceptor.listen(asio::socket_base::max_listen_connections, code);
    if (code) {
        *error = "cannot listen on " + fConfig.listenAddress + ":" + std::to_string(fConfig.port) +
                 ": " + code.message();
        return false;
    }
    fPort = fAcceptor.local_endpoint().port();

    // Game ids go on after the highest stored game, so a finished game's
    // id is never handed out again, also after a crash.
    std::int64_t nextGame = fStore->HighestGameId() + 1;
    std::vector<StoredGame> running;
    if (!fStore->LoadRunningGames(&running)) {
        *error = "cannot read the running games: " + fStore->LastError();
        return false;
    }
    if (!fConfig.busUrl.empty()) {
        fBus = ConnectNatsBus(fLoop, fConfig.busUrl, fConfig.nodeName, &reason);
        if (!fBus) {
            *error = reason;
            return false;
        }
    }
    fStoreWorker = std::make_unique<WorkerPool>(1);
    fHashWorkers = std::make_unique<WorkerPool>(fConfig.hashThreads);
    fLobby =
        std::make_unique<Lobby>(fLoop, fConfig, *fStore, *fStoreWorker, *fHashWorkers, nextGame);
    if (fBus)
        fLobby->JoinCluster(*fBus, std::move(running));
    else
        fLobby->Restore(running);
    fRunning = true;
    LogEvent("listening on " + fConfig.listenAddress + ":" + std::to_string(fPort) +
             " with database " + fStore->Describe());
    _Accept();
    return true;
}

void Server::_Accept()
{
    fAcceptor.async_accept([this](const asio::error_code& error, asio::ip::tcp::socket socket) {
        if (!fRunning)
            return;
        if (error) {
            // Out of descriptors or a similar pressure: wait a little
            // instead of spinning on the same error.
            LogEvent("accept failed: " + error.message());
            fRetryTimer.expires_after(std::chrono::milliseconds(100));
            fRetryTimer.async_wait([this](const asio::error_code& cancelled) {
                if (!cancelled && fRunning)
                    _Accept();
            });
            return;
        }
        asio::error_code unknown;
        std::string from = socket.remote_endpoint(unknown).address().to_string();
        if (!unknown && std::find(fConfig.proxyFrom.begin(), fConfig.proxyFrom.end(), from) !=
                            fConfig.proxyFrom.end()) {
            // A load balancer: the client it passes on is named first.
            ReadProxyHeader(
                std::move(socket), kProxyHeaderTime,
                [this, from](asio::ip::tcp::socket passed, bool ok,
                             std::optional<ProxiedPeer> client) {
                    if (!fRunning)
                        return;
                    if (!ok) {
                        LogEvent("closing a connection from " + from + ": no PROXY header");
                        return;
                    }
                    // Clients reach the balancer's front; what it sends to
                    // the address it reached this node at is its own
                    // connection, such as a health check.
                    asio::error_code unknownHere;
                    auto here = passed.local_endpoint(unknownHere);
                    bool own = !client ||
                               (!unknownHere && client->destination == here.address().to_string() &&
                                client->destinationPort == here.port());
                    auto connection = std::make_shared<Connection>(std::move(passed), fConfig,
                                                                   *fLobby, fNextConnection++);
                    if (!own)
                        connection->Proxied(client->address, client->port);
                    fLobby->Admit(connection, !own);
                });
        } else {
            fLobby->Admit(std::make_shared<Connection>(std::move(socket), fConfig, *fLobby,
                                                       fNextConnection++));
        }
        _Accept();
    });
}

void Server::Stop()
{
    if (!fRunning)
        return;
    fRunning = false;
    asio::error_code ignored;
    fAcceptor.close(ignored);
    fRetryTimer.cancel();
    fLobby->Shutdown();
    // Pending hashes serve connections that are gone; pending writes are
    // results already decided and must reach the disk.
    fHashWorkers->Stop(WorkerPool::Queued::Drop);
    fStoreWorker->Stop(WorkerPool::Queued::Run);
    LogEvent("stopped");
}

} // namespace tolvar::server
