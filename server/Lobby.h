#pragma once
// The server's protocol state: who is connected and logged in, the games,
// and one handler per client command. Lives on the network thread: every
// call must come from the thread that runs the io_context. It never blocks:
// password hashing runs on the hashing workers and every database access on
// the store worker, and their results come back to the loop.
//
// Results and ratings are announced only once they are committed, so
// whatever a client was told survives a crash; a result that cannot be
// stored waits, and is tried again, until it can.

#include "server/BroadcastStream.h"
#include "server/ChessGame.h"
#include "server/Connection.h"
#include "server/Extensions.h"
#include "server/GameIds.h"
#include "server/LineBudget.h"
#include "server/LoginQueue.h"
#include "server/RunningGames.h"
#include "server/ServerConfig.h"
#include "server/Storage.h"

#include <asio.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tolvar::server {

class NodeBus;
class WorkerPool;

class Lobby : public ConnectionHandler
{
public:
    // The store is used only from `storeWorker`, whose single thread keeps
    // reads and writes in order. Neither is owned.
    Lobby(asio::io_context& loop, const ServerConfig& config, Storage& store,
          WorkerPool& storeWorker, WorkerPool& hashWorkers, std::int64_t firstGameId);
    ~Lobby() override;

    // Greets a new connection and keeps it until it closes, or refuses it
    // when the server is full or its address has too many connections that
    // have not logged in. In a cluster the connections of every node count.
    // A connection the load balancer made itself (its health check) is not
    // `counted`: the limits neither hold for it nor count it.
    void Admit(const std::shared_ptr<Connection>& connection, bool counted = true);
    void OnLine(Connection& connection, const ClientLine& line) override;
    void OnClosed(Connection& connection) override;

    // Takes up the games that were running when the server last stopped:
    // both players count as having lost the connection just now.
    void Restore(const std::vector<StoredGame>& games);

    // Closes every connection. Games in progress stay stored for the next
    // start;
    // results still waiting to be stored get one last try on the store worker.
    void Shutdown();

    // Makes this lobby one node of a cluster whose nodes meet on `bus`, which
    // outlives the lobby (LobbyCluster.cpp). Without it the lobby is a
    // server on its own and no cluster code runs. The games this node ran
    // when it stopped are taken up (see Restore) once it has heard the other
    // nodes, unless one of them runs them by then.
    void JoinCluster(NodeBus& bus, std::vector<StoredGame> running);

private:
    // Our clients' connections (not the stand-ins for other nodes' clients),
    // and those of them from `address` that have not logged in; with those
    // waiting for the cluster's counts.
    std::size_t _ConnectionCount() const;
    int _GuestsFrom(const std::string& address) const;
    // Refuses the connection, and says so, if the limits do not allow it
    // with `others` more connections, `otherGuests` of them from its address.
    bool _Refused(Connection& connection, std::size_t others, int otherGuests);
    // Admits the connection if the limits allow `others` more connections,
    // `otherGuests` of them from its address.
    void _Admit(const std::shared_ptr<Connection>& connection, std::size_t others, int otherGuests);

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
        FeatureSet features;                     // what the client asked for with FEATURES
        std::optional<LineBudget> offers;        // draw and rematch offers; made on the first
        std::optional<LineBudget> archiveBudget; // made on the first request
        // A client of another node that plays or watches a game of this one:
        // that node's name; its lines arrive through the bus, and what is
        // sent to it goes back the same way. Empty for a client of ours.
        std::string home;
        int held = 0; // times a line of it waited for a game to be announced
        // A client of ours that has had lines for games of other nodes: its
        // departure is announced once those nodes have let it go.
        bool elsewhere = false;
        // Games of other nodes it watches (true), or stopped watching
        // (false): their lines that were still on the way are not passed on.
        std::map<std::int64_t, bool> watchingElsewhere;
    };
    using Handler = void (Lobby::*)(Member&, const ClientLine&);
    // A rated result on its way to the database.
    struct PendingResult
    {
        FinishedGame record;
        std::string whiteKey;
        std::string blackKey;
        bool told = false; // the players know it is delayed
    };

    // Accounts and presence (Lobby.cpp).
    void _Create(Member& member, const ClientLine& line);
    void _User(Member& member, const ClientLine& line);
    bool _Queue(Member& member, const std::string& name, std::function<void()> start);
    void _AccountFound(std::uint64_t id, const std::string& peer, const std::string& name,
                       const std::string& password, Storage::Found found, const Account& account);
    void _AccountCreated(std::uint64_t id, const std::string& name, Storage::Created outcome);
    void _LoginChecked(std::uint64_t id, const std::string& peer, const std::string& name,
                       const Account& account, bool right);
    void _LoginFailed(Member& member);
    void _ReleaseGuest(Member& member);
    const std::string& _DummyHash();
    void _Games(Member& member, const ClientLine& line);
    void _Users(Member& member, const ClientLine& line);
    void _PublicChat(Member& member, const ClientLine& line);
    // True when `text` may go out as a chat line; otherwise tells the sender why not.
    bool _AcceptChatText(Member& member, const std::string& text);

    // Games (LobbyGames.cpp).
    void _Make(Member& member, const ClientLine& line);
    // A new game's id; or 0, and `retry` runs once the database has given
    // more ids, the member's input waiting until then.
    std::int64_t _NewGameId(Member& member, std::function<void(Member&)> retry);
    void _OpenGame(Member& member, Side side, const std::string& description, TimeControl control);
    void _Play(Member& member, const ClientLine& line);
    void _Observe(Member& member, const ClientLine& line);
    void _Move(Member& member, const ClientLine& line);
    void _GameChat(Member& member, const ClientLine& line);
    void _Abort(Member& member, const ClientLine& line);
    void _Leave(Member& member, ChessGame& game, bool disconnected);
    void _Finish(ChessGame& game, const GameEnd& end);
    void _Forget(ChessGame& game);
    void _ForgetQuietGames();
    ChessGame* _FindGame(Member& member, const std::string& idText);
    int _ActiveGames(const Member& member, bool openOnly) const;
    std::string _GameInfo(const ChessGame& game) const;

    // Clocks, resignation, draws, calling off and rematches (LobbyPlay.cpp).
    void _Features(Member& member, const ClientLine& line);
    void _MakeTimed(Member& member, const ClientLine& line);
    void _Resign(Member& member, const ClientLine& line);
    void _Draw(Member& member, const ClientLine& line);
    void _AbortGame(Member& member, const ClientLine& line);
    void _Rematch(Member& member, const ClientLine& line);
    // The checks RESIGN, DRAW and ABORTGAME share: the sender's side in a
    // running game, or nothing after the error reply.
    std::optional<Side> _RunningSeat(Member& member, const ClientLine& line, const char* usage,
                                     std::size_t words, ChessGame** game);
    bool _TakeOffer(Member& member, const char* what);
    // Lines that follow a game's 118 to everyone: 131 to clock clients.
    void _Announce(const ChessGame& game);
    // A game that began is stored: its players, watchers and the lobby hear
    // of it, the players of a rematch first by `news`.
    void _Started(std::int64_t id, const std::string& news = {});
    // 132 to the game's players and watchers that follow clocks, or to `only`.
    void _SendClock(const ChessGame& game, Member* only = nullptr);
    // `line` to the player on `side` if online, present and asking for `feature`.
    void _SendToSeat(const ChessGame& game, Side side, Feature feature, std::string_view line);
    // A move was applied: clocks and standing draw offers follow it.
    void _AfterMove(ChessGame& game, Side mover);
    // True when the game ended because the running side's time was up.
    bool _CheckFlag(ChessGame& game);
    void _ArmFlag(const ChessGame& game);
    // The archive (LobbyArchive.cpp).
    void _Archive(Member& member, const ClientLine& line);
    void _Record(Member& member, const ClientLine& line);
    bool _TakeArchiveRequest(Member& member);
    void _SendToConnection(std::uint64_t connectionId, const std::vector<std::string>& lines);

    // Extensions, and players who lose the connection (LobbyResume.cpp).
    // Called when a client's FEATURES changes; `returning` when it now asks
    // for resume and did not before.
    void _FeaturesChanged(Member& member, bool returning);
    void _Pong(Member& member, const ClientLine& line);
    void _KeepForReturn(Member& member, ChessGame& game, Side side);
    void _Return(Member& member);
    // Ends the games of players whose time to come back has run out.
    void _CheckAway();
    void _ArmAwayTimer();
    // The player on `side` is gone for good from a running game.
    void _Depart(ChessGame& game, Side side);
    // The 120 line of `game`, and the moves that do not fit in it.
    void _SendWatching(Member& member, const ChessGame& game);
    // To the players and watchers of `game` that announced `resume`, but
    // not to `except`.
    void _SendToResuming(const ChessGame& game, std::string_view line, const Member* except);
    // The description of the running game for its store.
    StoredGame _Stored(const ChessGame& game) const;

    // Results (LobbyResults.cpp).
    void _StoreNextResult();
    void _ResultsStored(bool stored, const std::vector<FinishedGame>& records,
                        const std::string& error);
    // A stored result: its 119 and the players' new ratings go out.
    void _AnnounceResult(const FinishedGame& record);

    // The cluster (LobbyCluster.cpp).
    struct RemoteUser
    {
        std::string name;
        int rating = 0;
        std::string node;
    };
    struct RemoteGame
    {
        std::string node;
        std::string info;  // its last 118 line
        std::string clock; // its 131 line, if timed
        bool listed = true;
        // Since when it has been without a node (lost, not yet taken over)
        // or finished; it is forgotten a while after.
        std::chrono::steady_clock::time_point since;
        std::string lost; // the node it was on, while nobody has taken it up
    };
    // A login waiting for the other nodes to agree that the name is free.
    struct Claim
    {
        std::string name;
        Account account;
        std::set<std::string> waiting; // nodes yet to answer
        std::unique_ptr<asio::steady_timer> timer;
    };
    // True when `line` is for a game of another node and went there.
    bool _Forward(Member& member, const ClientLine& line);
    void _Publish(const std::string& subject, const std::string& header, std::string_view body);
    // A line to everyone goes to the other nodes' clients too.
    void _ShareLine(std::string_view line);
    void _BusMessage(const std::string& subject, std::string data);
    // Lines to everyone from `node`: they go to our clients too (unless
    // `quiet`), and keep the list of the cluster's players and games.
    void _OtherNodesLines(const std::string& node, std::string_view lines, bool clocksOnly,
                          bool quiet);
    void _ProxyCommand(const std::string& node, std::uint64_t connectionId, std::string_view body);
    Member* _Proxy(const std::string& node, std::uint64_t connectionId, const std::string& name,
                   std::int64_t accountId, int rating);
    // The stand-in from the first three parts of a forwarded message:
    // "accountId rating", the name and the client's features.
    Member* _ProxyOf(const std::string& node, std::uint64_t connectionId,
                     const std::vector<std::string>& parts);
    void _ProxyClosed(Member& member);
    void _ProxyReturn(const std::string& node, std::uint64_t connectionId, std::string_view body);
    // Publishes "kind node token fields" with `body` to every node, and runs
    // `then` once each has answered it. A node answers once it has handled
    // it and everything it had before: whatever it sent us earlier has come
    // by then. Without `then` nobody waits. A node that does not answer in
    // time counts as lost.
    void _AskOtherNodes(const std::string& kind, const std::string& fields, std::string_view body,
                        std::function<void(const std::vector<std::string>& answers)> then);
    void _Answered(std::uint64_t token, const std::string& node, std::string_view answer = {});
    // The same for a client's command: its lines wait meanwhile.
    void _AwaitOtherNodes(Member& member, const std::string& kind, const std::string& fields,
                          std::string_view body, std::function<void(Member&)> then);
    // The fields and body of an "R" message: `member` asks for its games back.
    std::pair<std::string, std::string> _ReturnMessage(const Member& member) const;
    // A logged-in client of ours is gone: the other nodes let it go, then
    // everyone hears `left`.
    void _LeftCluster(const Member& member, std::string left);
    // A client of `node` whose stand-in here is gone: lines to everyone
    // made here from now on wait until its departure (702) comes from there.
    void _AwaitDeparture(const std::string& node, const std::string& key);
    void _Departed(const std::string& node, const std::string& key);
    // `lines` from another node for `member`, without those of games it
    // stopped watching.
    std::string _FromOtherNode(Member& member, std::string_view lines);
    std::string _ClientLineText(const ClientLine& line) const;
    // The login of `name` goes on once no other node has it.
    void _ClaimName(Member& member, const std::string& name, const Account& account);
    void _ClaimAnswered(std::uint64_t id, const std::string& node, bool granted);
    void _AnswerClaim(const std::string& node, const std::string& key, std::uint64_t token);
    void _Enter(Member& member, const std::string& name, const Account& account);
    void _Heartbeat();
    void _NodeLost(const std::string& node);
    // The running games of a lost node go on here, from their stored moves.
    void _TakeOver(const std::string& node, const std::string& owner);
    void _TakenOver(std::vector<StoredGame> games);
    std::string _Snapshot() const;

    NodeBus* fBus = nullptr;
    std::unordered_map<std::string, RemoteUser> fRemoteUsers; // by name key
    std::map<std::int64_t, RemoteGame> fRemoteGames;
    std::int64_t fHighestGameId = 0; // of any game made here or announced to us
    std::map<std::pair<std::string, std::uint64_t>, std::uint64_t> fProxies; // -> local id
    std::uint64_t fNextProxyId = std::uint64_t(1) << 62;
    std::map<std::string, std::chrono::steady_clock::time_point> fNodes; // last heard
    std::unordered_map<std::uint64_t, Claim> fClaims;                    // by connection id
    // Names another node was told are free, for a moment: its login is on the way.
    std::unordered_map<std::string, std::chrono::steady_clock::time_point> fGranted;
    struct Waiting
    {
        std::set<std::string> nodes; // yet to answer
        std::vector<std::string> answers;
        std::function<void(const std::vector<std::string>&)> then;
        std::unique_ptr<asio::steady_timer> timer;
    };
    std::unordered_map<std::uint64_t, Waiting> fAsked; // by token
    // Connections waiting for the other nodes' counts, in all and by address.
    std::size_t fAdmitting = 0;
    std::unordered_map<std::string, int> fAdmittingFrom;
    std::set<std::uint64_t> fUncounted; // the load balancer's own connections
    std::uint64_t fNextToken = 1;
    // Lines to everyone that wait behind a departure the other nodes have
    // not let go yet (_LeftCluster), in order; each goes once it and all
    // before it are ready.
    struct HeldLine
    {
        std::string line;
        std::uint64_t except = 0; // a connection that does not get it
        bool clocksOnly = false;
        bool ready = true;
        std::uint64_t token = 0;
    };
    std::deque<HeldLine> fHeld;
    std::map<std::pair<std::string, std::string>, std::uint64_t>
        fDepartures; // (node, key) -> token
    std::unique_ptr<asio::steady_timer> fBeatTimer;
    // This run of the node, and of the others: a node restarted under the
    // same name is told apart by it.
    std::string fIncarnation;
    std::unordered_map<std::string, std::string> fIncarnations;
    // What the store calls the owner of the games run here: in a cluster,
    // the node's name and run; else empty.
    std::string fOwner;
    // The games of `stored` whose owner in the store is still the one read
    // become ours, and go on here.
    void _Claim(std::vector<StoredGame> stored);

    // Delivery.
    void _Send(Member& member, std::string_view line);
    void _Broadcast(std::string_view line, const Member* except = nullptr);
    void _Emit(std::string_view line, std::uint64_t exceptId, bool clocksOnly);
    // Lines held behind departures go out as far as they are ready.
    void _ReleaseHeld();
    // A line to every logged-in client that follows clocks.
    void _BroadcastToClocks(std::string_view line);
    void _ArmStreamTimer();
    void _SendToGame(const ChessGame& game, std::string_view line);
    Member* _OnlineMember(const std::string& key);
    int _Rating(std::int64_t accountId) const;
    // Runs `job` on the loop later, unless the lobby is gone by then.
    void _OnLoop(std::function<void()> job);

    asio::io_context& fLoop;
    const ServerConfig& fConfig;
    Storage& fStore;
    WorkerPool& fStoreWorker;
    WorkerPool& fHashWorkers;
    LoginQueue fLogins;

    std::unordered_map<std::uint64_t, Member> fMembers;     // by connection id
    std::unordered_map<std::string, std::uint64_t> fOnline; // name key -> connection id
    std::unordered_map<std::string, int> fGuests;           // address -> connections not logged in
    std::map<std::int64_t, std::unique_ptr<ChessGame>> fGames;
    // The stored rating of every account seen in this run.
    std::unordered_map<std::int64_t, int> fRatings;
    GameIds fGameIds;

    std::deque<PendingResult> fResults; // oldest first
    std::size_t fStoring = 0;           // results being stored, at the front of fResults
    asio::steady_timer fRetryTimer;
    std::chrono::milliseconds fRetryDelay;
    asio::steady_timer fQuietTimer;
    bool fQuietTimerArmed = false;
    // Lines to everyone, written out a little after they are made (see
    // _Broadcast).
    BroadcastStream fStream;
    // The same lines with the time controls (131) that follow timed games'
    // 118 lines, for the clients that follow clocks.
    BroadcastStream fClockStream;
    asio::steady_timer fStreamTimer;
    bool fStreamTimerArmed = false;

    // The hash an unknown name is checked against; made on first use by a
    // hashing worker.
    std::once_flag fDummyOnce;
    std::string fDummyHash;

    // One timer per game whose clock runs, for its flag fall.
    std::unordered_map<std::int64_t, std::unique_ptr<asio::steady_timer>> fFlagTimers;

    RunningGames fRunning;
    std::set<std::int64_t> fAwayGames; // running games with a player away
    asio::steady_timer fAwayTimer;

    bool fShuttingDown = false;
    std::shared_ptr<int> fAlive = std::make_shared<int>(0);
};

} // namespace tolvar::server
