#pragma once
// The server's protocol state: who is connected and logged in, the games,
// and one handler per client command. Lives on the network thread: every
// call must come from the thread that runs the io_context. It never blocks:
// password hashing runs on the hashing workers and every database access on
// the store worker, and their results come back to the loop.
//
// Ratings and finished games are announced only once they are committed,
// so whatever a client was told survives a crash.

#include "server/ChessGame.h"
#include "server/Connection.h"
#include "server/ServerConfig.h"

#include <asio.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tolvar::server {

class AccountStore;
class WorkerPool;
struct Account;

class Lobby : public ConnectionHandler
{
public:
    // The store is used only from `storeWorker`, whose single thread keeps
    // reads and writes in order. Neither is owned.
    Lobby(asio::io_context& loop, const ServerConfig& config, AccountStore& store,
          WorkerPool& storeWorker, WorkerPool& hashWorkers, std::int64_t firstGameId);
    ~Lobby() override;

    // Greets a new connection; the lobby keeps it until it closes.
    void Add(const std::shared_ptr<Connection>& connection);
    void OnLine(Connection& connection, const ClientLine& line) override;
    void OnClosed(Connection& connection) override;

    // Closes every connection. Games in progress end without a result.
    void Shutdown();

    std::size_t ConnectionCount() const { return fMembers.size(); }

private:
    struct Member
    {
        std::shared_ptr<Connection> connection;
        bool loggedIn = false;
        std::string name;
        std::string key;
        std::int64_t accountId = 0;
        int failedLogins = 0;
        std::set<std::int64_t> playing; // games in which this member holds a seat
        std::set<std::int64_t> watching;
    };
    using Handler = void (Lobby::*)(Member&, const ClientLine&);

    // Accounts and presence (Lobby.cpp).
    void _Create(Member& member, const ClientLine& line);
    void _User(Member& member, const ClientLine& line);
    void _AccountCreated(std::uint64_t id, const std::string& name, int outcome);
    void _LoginChecked(std::uint64_t id, const std::string& name,
                       const std::optional<Account>& account, bool verified);
    void _LoginFailed(Member& member);
    void _Games(Member& member, const ClientLine& line);
    void _Users(Member& member, const ClientLine& line);
    void _PublicChat(Member& member, const ClientLine& line);
    // True when `text` may go out as a chat line; otherwise tells the sender why not.
    bool _AcceptChatText(Member& member, const std::string& text);

    // Games (LobbyGames.cpp).
    void _Make(Member& member, const ClientLine& line);
    void _Play(Member& member, const ClientLine& line);
    void _Observe(Member& member, const ClientLine& line);
    void _Move(Member& member, const ClientLine& line);
    void _GameChat(Member& member, const ClientLine& line);
    void _Abort(Member& member, const ClientLine& line);
    void _Leave(Member& member, ChessGame& game, bool disconnected);
    void _Finish(ChessGame& game, const GameEnd& end);
    void _Announce(std::int64_t game, const std::string& reason,
                   const std::vector<std::pair<std::string, std::int64_t>>& players);
    void _EraseIfAbandoned(ChessGame& game);
    ChessGame* _FindGame(Member& member, const std::string& idText);
    int _ActiveGames(const Member& member, bool openOnly) const;
    std::string _GameInfo(const ChessGame& game) const;

    // Delivery.
    void _Send(Member& member, std::string line);
    void _Broadcast(const std::string& line, const Member* except = nullptr);
    void _SendToGame(const ChessGame& game, const std::string& line);
    Member* _OnlineMember(const std::string& key);
    int _Rating(std::int64_t accountId) const;
    // Runs `job` on the loop later, unless the lobby is gone by then.
    void _OnLoop(std::function<void()> job);

    asio::io_context& fLoop;
    const ServerConfig& fConfig;
    AccountStore& fStore;
    WorkerPool& fStoreWorker;
    WorkerPool& fHashWorkers;

    std::unordered_map<std::uint64_t, Member> fMembers;     // by connection id
    std::unordered_map<std::string, std::uint64_t> fOnline; // name key -> connection id
    std::map<std::int64_t, std::unique_ptr<ChessGame>> fGames;
    // The latest rating of every account seen in this run; it may be ahead
    // of the database while a result is being committed.
    std::unordered_map<std::int64_t, int> fRatings;
    std::int64_t fNextGameId;
    bool fShuttingDown = false;
    std::shared_ptr<int> fAlive = std::make_shared<int>(0);
};

} // namespace tolvar::server
