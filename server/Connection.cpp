#include "server/Connection.h"

#include "server/EventLog.h"
#include "server/Reply.h"
#include "server/TextRules.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <array>

namespace tolvar::server {

namespace {

constexpr std::chrono::seconds kLingerLimit{5};
// A long answer is taken from its source while less than this is queued.
constexpr std::size_t kRefillBytes = 32 * 1024;
// While its input is paused a connection still reads, so that it notices
// a client that hangs up, but keeps no more than this unhandled.
constexpr std::size_t kPausedReadBytes = 16 * 1024;

// Keepalive finds peers that vanished without a word (a pulled cable, a
// crashed machine): the client itself sends nothing while idle.
void EnableKeepAlive(asio::ip::tcp::socket& socket)
{
    asio::error_code ignored;
    socket.set_option(asio::socket_base::keep_alive(true), ignored);
    int fd = socket.native_handle();
    int idle = 60, interval = 10, count = 6;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

// Connections read only once the socket is readable, into one buffer of
// the network thread, so that thousands of idle clients hold none.
std::array<char, 16384>& ReadBuffer()
{
    thread_local std::array<char, 16384> buffer;
    return buffer;
}

} // namespace

Connection::Connection(asio::ip::tcp::socket socket, const ServerConfig& config,
                       ConnectionHandler& handler, std::uint64_t id)
    : fSocket(std::move(socket)), fConfig(config), fHandler(handler), fId(id),
      fFramer(config.maxLineBytes),
      fBudget(config.floodBurstLines, config.floodLinesPerSecond, LineBudget::Clock::now()),
      fOutput(config.paceBurstBytes, config.paceInterval, config.maxQueuedBytes),
      fPaceTimer(fSocket.get_executor()), fLoginTimer(fSocket.get_executor()),
      fLingerTimer(fSocket.get_executor()), fKeepAliveTimer(fSocket.get_executor())
{
    asio::error_code error;
    auto remote = fSocket.remote_endpoint(error);
    fAddress = error ? std::string("unknown") : remote.address().to_string();
    fPeer = error ? fAddress : fAddress + ":" + std::to_string(remote.port());
    fSocket.set_option(asio::ip::tcp::no_delay(true), error);
    fSocket.non_blocking(true, error);
    if (config.socketSendBuffer > 0)
        fSocket.set_option(asio::socket_base::send_buffer_size(config.socketSendBuffer), error);
    if (config.tcpKeepAlive)
        EnableKeepAlive(fSocket);
}

Connection::Connection(asio::io_context& loop, const ServerConfig& config,
                       ConnectionHandler& handler, std::uint64_t id, std::string peer, Relay relay)
    : fSocket(loop), fConfig(config), fHandler(handler), fId(id), fPeer(std::move(peer)),
      fAddress(fPeer), fRelay(std::move(relay)), fFramer(config.maxLineBytes),
      fBudget(config.floodBurstLines, config.floodLinesPerSecond, LineBudget::Clock::now()),
      fOutput(config.paceBurstBytes, config.paceInterval, config.maxQueuedBytes), fPaceTimer(loop),
      fLoginTimer(loop), fLingerTimer(loop), fKeepAliveTimer(loop)
{
    fLoginDone = true;
}

void Connection::Proxied(const std::string& address, std::uint16_t port)
{
    fAddress = address;
    fPeer = address + ":" + std::to_string(port);
}

void Connection::Start()
{
    fLastHeard = std::chrono::steady_clock::now();
    _ArmLoginTimer(fConfig.loginTimeout);
    _Read();
}

void Connection::KeepAlive(std::chrono::milliseconds interval, std::chrono::milliseconds limit)
{
    bool armed = fKeepAliveInterval.count() > 0;
    if (interval.count() <= 0) {
        fKeepAliveInterval = interval;
        fKeepAliveTimer.cancel();
        return;
    }
    fKeepAliveInterval = interval;
    fKeepAliveLimit = limit;
    fLastPing = {};
    if (!armed)
        _ArmKeepAlive();
}

void Connection::_ArmKeepAlive()
{
    auto silentSince = std::max(fLastHeard, fLastPing);
    fKeepAliveTimer.expires_at(
        std::min(silentSince + fKeepAliveInterval, fLastHeard + fKeepAliveLimit));
    auto self = shared_from_this();
    fKeepAliveTimer.async_wait([self](const asio::error_code& error) {
        if (error || self->fClosing || self->fKeepAliveInterval.count() <= 0)
            return;
        auto now = std::chrono::steady_clock::now();
        if (now >= self->fLastHeard + self->fKeepAliveLimit) {
            self->Close("silent for too long");
            return;
        }
        if (now >= std::max(self->fLastHeard, self->fLastPing) + self->fKeepAliveInterval) {
            self->fLastPing = now;
            self->Send(Reply::Ping());
        }
        self->_ArmKeepAlive();
    });
}

void Connection::_ArmLoginTimer(std::chrono::steady_clock::duration after)
{
    unsigned generation = ++fLoginGeneration;
    fLoginDeadline = std::chrono::steady_clock::now() + after;
    fLoginTimer.expires_at(fLoginDeadline);
    auto self = shared_from_this();
    fLoginTimer.async_wait([self, generation](const asio::error_code& error) {
        // A wait that completed just before it was stopped still runs.
        if (error || self->fLoginDone || generation != self->fLoginGeneration)
            return;
        self->Send(Reply::Refused("no login in time; closing the connection"));
        self->CloseAfterSending("no login in time");
    });
}

bool Connection::_CatchUp()
{
    if (!fStream || fHeard >= fStream->End())
        return true;
    std::vector<OutputQueue::Piece> pieces;
    fStream->Collect(&fHeard, &pieces);
    // The bound is for readers that do not keep up: what waits behind a
    // write in progress. A burst to a connection that has taken everything
    // so far goes to the socket whatever its size; it is held only once.
    bool keepingUp = !fWritePending && fOutput.Empty();
    for (OutputQueue::Piece& piece : pieces) {
        if (!fOutput.Push(std::move(piece), keepingUp)) {
            Close("output queue full");
            return false;
        }
    }
    return true;
}

bool Connection::_Queue(std::string_view line)
{
    // Lines to everyone made before this one go first.
    if (!_CatchUp())
        return false;
    if (!fOutput.Push(line)) {
        Close("output queue full");
        return false;
    }
    return true;
}

void Connection::Send(std::string_view line)
{
    if (fClosing)
        return;
    // A stand-in passes each line on at once, so that it keeps its place
    // among the lines to everyone, which go their own way.
    if (fRelay) {
        fRelay(std::string(line));
        return;
    }
    if (_Queue(line))
        _ScheduleFlush();
}

void Connection::Listen(BroadcastStream* stream)
{
    fStream = stream;
    fHeard = stream->End();
}

void Connection::Flush()
{
    if (fClosing)
        return;
    if (_CatchUp())
        _ScheduleFlush();
}

void Connection::SkipHeard()
{
    if (fStream)
        fHeard = fStream->End();
}

void Connection::SendAll(LineSource source)
{
    if (fClosing)
        return;
    fSources.push_back(std::move(source));
    _Refill();
    _ScheduleFlush();
}

void Connection::_Refill()
{
    std::size_t refill = std::min(kRefillBytes, fConfig.maxQueuedBytes / 2);
    std::string lines;
    while (!fSources.empty() && !fClosing && fOutput.QueuedBytes() < refill) {
        lines.clear();
        bool more = fSources.front()(lines);
        if (!more)
            fSources.pop_front();
        if (!lines.empty() && !_Queue(lines))
            return;
    }
}

void Connection::CloseAfterSending(const std::string& why)
{
    if (fClosing)
        return;
    fClosing = true;
    fSources.clear();
    if (!fQuiet)
        LogEvent("closing " + fPeer + ": " + why);
    fLoginTimer.cancel();
    asio::error_code ignored;
    fSocket.shutdown(asio::ip::tcp::socket::shutdown_receive, ignored);
    _NotifyClosed();
    if (!fWritePending && fOutput.Empty()) {
        _Finish();
        return;
    }
    _ScheduleFlush();
    auto self = shared_from_this();
    fLingerTimer.expires_after(kLingerLimit);
    fLingerTimer.async_wait([self](const asio::error_code& error) {
        if (!error)
            self->_Finish();
    });
}

void Connection::Close(const std::string& why)
{
    if (fFinished)
        return;
    if (!fClosing)
        if (!fQuiet)
            LogEvent("closing " + fPeer + ": " + why);
    fClosing = true;
    _NotifyClosed();
    _Finish();
}

void Connection::PauseInput()
{
    if (fPaused)
        return;
    fPaused = true;
    if (!fLoginDone) {
        fLoginLeft = fLoginDeadline - std::chrono::steady_clock::now();
        ++fLoginGeneration;
        fLoginTimer.cancel();
    }
}

void Connection::ResumeInput()
{
    if (!fPaused || fFinished)
        return;
    fPaused = false;
    if (!fLoginDone && !fClosing)
        _ArmLoginTimer(std::max(fLoginLeft, std::chrono::steady_clock::duration::zero()));
    // Lines already buffered are handed over from the loop, not from
    // inside the caller, which may still be busy with its own state.
    auto self = shared_from_this();
    asio::post(fSocket.get_executor(), [self] { self->_HandleLines(); });
}

void Connection::StopLoginTimer()
{
    fLoginDone = true;
    fLoginTimer.cancel();
}

void Connection::_Read()
{
    if (fReadPending || fClosing || (fPaused && fFramer.Buffered() >= kPausedReadBytes))
        return;
    fReadPending = true;
    auto self = shared_from_this();
    fSocket.async_wait(asio::socket_base::wait_read, [self](const asio::error_code& waited) {
        self->fReadPending = false;
        if (self->fClosing)
            return;
        if (waited) {
            self->Close(waited.message());
            return;
        }
        auto& buffer = ReadBuffer();
        asio::error_code error;
        std::size_t count = self->fSocket.read_some(asio::buffer(buffer), error);
        if (error == asio::error::would_block) {
            self->_Read();
            return;
        }
        if (error) {
            self->Close(error == asio::error::eof ? "peer closed" : error.message());
            return;
        }
        self->fLastHeard = std::chrono::steady_clock::now();
        self->fFramer.Append(std::string_view(buffer.data(), count));
        self->_HandleLines();
    });
}

void Connection::_HandleLines()
{
    while (!fPaused && !fClosing) {
        std::optional<FramedLine> line = fFramer.Next();
        if (!line)
            break;
        if (!fBudget.Take(LineBudget::Clock::now())) {
            Send(Reply::Refused("too many lines; closing the connection"));
            CloseAfterSending("flooding");
            return;
        }
        if (line->tooLong) {
            Send(Reply::Refused("line longer than " + std::to_string(fConfig.maxLineBytes) +
                                " bytes"));
            continue;
        }
        if (!IsCleanText(line->text)) {
            Send(Reply::Refused("line is not text"));
            continue;
        }
        ClientLine parsed = ClientLine::Parse(line->text);
        if (parsed.Command().empty())
            continue;
        fHandler.OnLine(*this, parsed);
    }
    _Read();
}

void Connection::_ScheduleFlush()
{
    // Lines queued by everything the loop handles before the flush runs go
    // out in one write: a broadcast to thousands costs a write per client
    // per burst, not per line.
    if (fFlushPosted || fWritePending || fFinished)
        return;
    fFlushPosted = true;
    auto self = shared_from_this();
    asio::post(fSocket.get_executor(), [self] {
        self->fFlushPosted = false;
        self->_Flush();
    });
}

void Connection::_Flush()
{
    if (fWritePending || fFinished)
        return;
    _Refill();
    OutputQueue::Clock::duration wait;
    std::vector<OutputQueue::Piece> burst = fOutput.Take(OutputQueue::Clock::now(), &wait);
    auto self = shared_from_this();
    if (burst.empty()) {
        if (wait > OutputQueue::Clock::duration::zero()) {
            if (!fPaceArmed) {
                fPaceArmed = true;
                fPaceTimer.expires_after(wait);
                fPaceTimer.async_wait([self](const asio::error_code& error) {
                    self->fPaceArmed = false;
                    if (!error)
                        self->_Flush();
                });
            }
        } else if (fClosing) {
            _Finish();
        }
        return;
    }
    if (fRelay) {
        std::string bytes;
        for (const OutputQueue::Piece& piece : burst)
            bytes.append(piece.View());
        fRelay(std::move(bytes));
        _ScheduleFlush();
        return;
    }
    fWritePending = true;
    fWriting = std::move(burst);
    std::vector<asio::const_buffer> buffers;
    buffers.reserve(fWriting.size());
    for (const OutputQueue::Piece& piece : fWriting)
        buffers.push_back(asio::buffer(piece.View()));
    asio::async_write(fSocket, buffers, [self](const asio::error_code& error, std::size_t) {
        self->fWritePending = false;
        // Thousands of idle clients keep no buffers.
        std::vector<OutputQueue::Piece>().swap(self->fWriting);
        if (error) {
            self->Close("write failed: " + error.message());
            return;
        }
        self->_Flush();
    });
}

void Connection::_Finish()
{
    if (fFinished)
        return;
    fFinished = true;
    fSources.clear();
    fStream = nullptr;
    fPaceTimer.cancel();
    fLoginTimer.cancel();
    fLingerTimer.cancel();
    fKeepAliveTimer.cancel();
    asio::error_code ignored;
    fSocket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    fSocket.close(ignored);
}

void Connection::_NotifyClosed()
{
    if (fNotified)
        return;
    fNotified = true;
    auto self = shared_from_this();
    asio::post(fSocket.get_executor(), [self] { self->fHandler.OnClosed(*self); });
}

} // namespace tolvar::server
