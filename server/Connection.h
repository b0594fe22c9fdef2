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

#include "server/ClientLine.h"
#include "server/LineBudget.h"
#include "server/LineFramer.h"
#include "server/OutputQueue.h"
#include "server/ServerConfig.h"

#include <asio.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

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

    // Starts reading and the login timer.
    void Start();
    // Queues one formatted line. Dropped once the connection is closing; a
    // reader too slow for its queue is disconnected.
    void Send(std::string line);
    // Stops reading, writes what is queued (for a few seconds at most), then closes.
    void CloseAfterSending(const std::string& why);
    // Closes at once; queued lines are dropped.
    void Close(const std::string& why);

    // While paused, no further line is handed over (a login is being checked).
    void PauseInput();
    void ResumeInput();
    // The connection may stay idle from now on.
    void StopLoginTimer();

    std::uint64_t Id() const { return fId; }
    const std::string& Peer() const { return fPeer; }

private:
    void _Read();
    void _HandleLines();
    void _Flush();
    void _Finish();
    void _NotifyClosed();

    asio::ip::tcp::socket fSocket;
    const ServerConfig& fConfig;
    ConnectionHandler& fHandler;
    std::uint64_t fId;
    std::string fPeer;

    LineFramer fFramer;
    LineBudget fBudget;
    OutputQueue fOutput;
    std::array<char, 4096> fReadBuffer;
    std::string fWriting;

    asio::steady_timer fPaceTimer;
    asio::steady_timer fLoginTimer;
    asio::steady_timer fLingerTimer;

    bool fReadPending = false;
    bool fWritePending = false;
    bool fPaceArmed = false;
    bool fPaused = false;
    bool fLoginDone = false;
    bool fClosing = false;  // no more reading, no more lines accepted
    bool fFinished = false; // socket closed
    bool fNotified = false; // handler told
};

} // namespace tolvar::server
