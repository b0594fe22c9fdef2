#pragma once
// One client's TCP connection: cuts what it reads into lines, refuses lines
// that are too long, not text, or too many, hands the rest to its handler,
// and writes queued lines out with pacing. Lives on the network thread:
// every call must come from the thread that runs the io_context, and none
// blocks. Shared ownership: the server and pending socket operations hold it.
//
// The handler hears of the end of the connection exactly once, always
// later from the loop and never from inside a call into the connection, so
// a handler may close a connection or send to it while walking its lists.

#include "server/BroadcastStream.h"
#include "server/ClientLine.h"
#include "server/LineBudget.h"
#include "server/LineFramer.h"
#include "server/OutputQueue.h"
#include "server/ServerConfig.h"

#include <asio.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tolvar::server {

class Connection;

class ConnectionHandler
{
public:
    virtual ~ConnectionHandler() = default;
    virtual void OnLine(Connection& connection, const ClientLine& line) = 0;
    virtual void OnClosed(Connection& connection) = 0;
};

class Connection : public std::enable_shared_from_this<Connection>
{
public:
    Connection(asio::ip::tcp::socket socket, const ServerConfig& config, ConnectionHandler& handler,
               std::uint64_t id);
    // A connection without a socket, for a client connected to another node
    // of a cluster: what would be written goes to `relay` instead, and its
    // lines come from that node rather than from a socket (Start is not
    // called).
    using Relay = std::function<void(std::string bytes)>;
    Connection(asio::io_context& loop, const ServerConfig& config, ConnectionHandler& handler,
               std::uint64_t id, std::string peer, Relay relay);

    // Produces the lines of a long answer: appends the next line (or a few)
    // to `out` and returns false once there is nothing more.
    using LineSource = std::function<bool(std::string& out)>;

    // Starts reading and the login timer.
    void Start();
    // Queues one formatted line. Dropped once the connection is closing; a
    // reader too slow for its queue is disconnected. The line goes out with
    // whatever else is queued before the loop next waits.
    void Send(std::string_view line);

    // From now on the connection also receives `stream`, which outlives it
    // or is left by Close. What the stream holds already is not for it.
    void Listen(BroadcastStream* stream);
    // Queues what the stream has for this connection, and writes it out.
    // Nothing else queues the stream's lines: the stream's owner calls this
    // a little after appending, so that lines to many go out together.
    void Flush();
    // The line just appended to the stream is not for this connection; the
    // caller has flushed it just before appending.
    void SkipHeard();
    // Queues a long answer to the client's own request. Its lines are taken
    // from `source` only while little output is waiting, so the answer never
    // fills the queue however long it is; a client that stops reading still
    // fills it with everything else and is disconnected.
    void SendAll(LineSource source);
    // Stops reading, writes what is queued (for a few seconds at most), then closes.
    void CloseAfterSending(const std::string& why);
    // Closes at once; queued lines are dropped.
    void Close(const std::string& why);

    // While paused, no further line is handed over and the login timer
    // stands still: the server, not the client, is being waited for.
    void PauseInput();
    void ResumeInput();
    // The connection may stay idle from now on.
    void StopLoginTimer();
    // From now on the client is asked whether it is there (140) after each
    // `interval` in which it sent nothing, and dropped once it has sent
    // nothing for `limit`.
    void KeepAlive(std::chrono::milliseconds interval, std::chrono::milliseconds limit);

    // The client behind a load balancer, as its PROXY header names it.
    void Proxied(const std::string& address, std::uint16_t port);
    // Its closing goes unlogged: the balancer's health checks come every
    // second.
    void Quiet() { fQuiet = true; }

    std::uint64_t Id() const { return fId; }
    // The remote address and port, and the address alone.
    const std::string& Peer() const { return fPeer; }
    const std::string& Address() const { return fAddress; }

private:
    void _ArmLoginTimer(std::chrono::steady_clock::duration after);
    void _ArmKeepAlive();
    bool _Queue(std::string_view line);
    bool _CatchUp();
    void _Read();
    void _HandleLines();
    void _ScheduleFlush();
    void _Refill();
    void _Flush();
    void _Finish();
    void _NotifyClosed();

    asio::ip::tcp::socket fSocket;
    const ServerConfig& fConfig;
    ConnectionHandler& fHandler;
    std::uint64_t fId;
    std::string fPeer;
    std::string fAddress;
    Relay fRelay;

    LineFramer fFramer;
    LineBudget fBudget;
    OutputQueue fOutput;
    std::deque<LineSource> fSources;
    std::vector<OutputQueue::Piece> fWriting;
    BroadcastStream* fStream = nullptr;
    std::uint64_t fHeard = 0; // how far into fStream this connection has queued

    asio::steady_timer fPaceTimer;
    asio::steady_timer fLoginTimer;
    asio::steady_timer fLingerTimer;
    asio::steady_timer fKeepAliveTimer;
    std::chrono::milliseconds fKeepAliveInterval{0}; // zero: off
    std::chrono::milliseconds fKeepAliveLimit{0};
    std::chrono::steady_clock::time_point fLastHeard; // last bytes from the client
    std::chrono::steady_clock::time_point fLastPing;

    std::chrono::steady_clock::time_point fLoginDeadline;
    std::chrono::steady_clock::duration fLoginLeft{};
    unsigned fLoginGeneration = 0;

    bool fReadPending = false;
    bool fWritePending = false;
    bool fFlushPosted = false;
    bool fPaceArmed = false;
    bool fPaused = false;
    bool fLoginDone = false;
    bool fClosing = false;  // no more reading, no more lines accepted
    bool fFinished = false; // socket closed
    bool fNotified = false; // handler told
    bool fQuiet = false;
};

} // namespace tolvar::server
