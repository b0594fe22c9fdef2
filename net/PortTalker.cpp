#include "net/PortTalker.h"

#include "app/MessageCodes.h"
#include "kit/Threads.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <condition_variable>

namespace {

constexpr int kChunkSize = 999;
// How often a listener with a silence limit looks at the clock.
constexpr std::chrono::milliseconds kSilenceCheck{250};

// The diagnostic trace: one write, so that traces of different threads do
// not interleave within a line.
void Trace(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

// Appends `size` bytes of `text` for the trace. The bytes come from the
// network (or from what a user typed), and the trace usually goes to a
// terminal: control characters other than tab, CR and LF, DEL, and the C1
// controls in their UTF-8 form are written as \xNN, so that no escape
// sequence reaches the terminal.
void AppendTraceText(std::string& trace, const char* text, size_t size)
{
    static const char kHex[] = "0123456789abcdef";
    auto escape = [&trace](unsigned char byte) {
        trace += "\\x";
        trace += kHex[byte >> 4];
        trace += kHex[byte & 0xf];
    };
    for (size_t i = 0; i < size; ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n') || byte == 0x7f) {
            escape(byte);
        } else if (byte == 0xc2 && i + 1 == size) {
            // Its second byte may open the next chunk.
            escape(byte);
        } else if (byte == 0xc2 && (static_cast<unsigned char>(text[i + 1]) & 0xe0) == 0x80) {
            escape(byte);
            escape(static_cast<unsigned char>(text[++i]));
        } else {
            trace += static_cast<char>(byte);
        }
    }
}

} // namespace

// An open descriptor, closed when its last user lets go of it. The listener
// holds one reference, so the descriptor cannot be closed (and its number
// reused by another socket) while the listener may still receive on it.
struct PortTalker::Socket
{
    explicit Socket(int descriptor) : fd(descriptor) {}
    ~Socket() { ::close(fd); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    const int fd;
};

// Everything the listener shares with the talker. The listener holds it by
// reference count, so it outlives a talker destroyed while a listener ends.
struct PortTalker::State
{
    mutable std::mutex lock;
    std::shared_ptr<Socket> socket;
    bool listening = false;
    int32 connection = 0;
    MessageTarget* target = nullptr;
    DisconnectCallback callback = nullptr;
    void* cookie = nullptr;
    // Bytes of the current connection posted and not yet handled, and the
    // most there may be before the listener waits (0: no limit).
    size_t unhandled = 0;
    size_t receiveLimit = 0;
    // Signalled when `unhandled` shrinks or the connection changes.
    std::condition_variable drained;
    // The current connection's silence limit (0: none) and when it last
    // heard from the peer.
    std::chrono::milliseconds silenceLimit{0};
    std::chrono::steady_clock::time_point lastHeard;

    // Ends the current connection's socket: it is shut down, so that a
    // receive or send blocked on it returns. The caller holds `lock`.
    void CloseLocked()
    {
        if (socket)
            ::shutdown(socket->fd, SHUT_RDWR);
        socket.reset();
        listening = false;
        unhandled = 0;
        drained.notify_all();
    }

    // Drops the current connection and forgets its listener: what it
    // received from now on is not posted. The caller holds `lock`.
    void ForgetLocked()
    {
        ++connection;
        silenceLimit = std::chrono::milliseconds(0);
        CloseLocked();
    }

    // Posts `message` unless `number` is no longer the current connection.
    void PostIfCurrent(int32 number, const BMessage& message)
    {
        std::lock_guard<std::mutex> guard(lock);
        if (number == connection && target != nullptr)
            target->PostMessage(message);
    }
};

PortTalker::PortTalker() : fState(std::make_shared<State>())
{
    _Reset(false);
}

PortTalker::~PortTalker()
{
    _Reset(false);
}

bool PortTalker::Connect(const std::string& host, int port)
{
    int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int32 connection;
    std::shared_ptr<Socket> socket;
    {
        std::lock_guard<std::mutex> guard(fState->lock);
        fState->ForgetLocked();
        connection = fState->connection;
        if (descriptor < 0)
            return false;
        socket = std::make_shared<Socket>(descriptor);
        fState->socket = socket;
    }
    auto forgetIfCurrent = [&] {
        std::lock_guard<std::mutex> guard(fState->lock);
        if (fState->connection == connection)
            fState->ForgetLocked();
    };

    BMessage resolving(MSG_PORT_RESOLVING);
    resolving.AddString("hostname", host);
    fState->PostIfCurrent(connection, resolving);

    // getaddrinfo, unlike gethostbyname, may be called from several threads.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 ||
        found == nullptr) {
        if (found != nullptr)
            ::freeaddrinfo(found);
        BMessage unknown(MSG_PORT_HOST_UNKNOWN);
        unknown.AddString("hostname", host);
        fState->PostIfCurrent(connection, unknown);
        forgetIfCurrent();
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);

    BMessage connecting(MSG_PORT_CONNECTING);
    connecting.AddString("hostname", host);
    fState->PostIfCurrent(connection, connecting);

    if (::connect(socket->fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        forgetIfCurrent();
        return false;
    }
    {
        // A Disconnect() while connecting has dropped this connection.
        std::lock_guard<std::mutex> guard(fState->lock);
        if (fState->connection != connection)
            return false;
        fState->listening = true;
        fState->lastHeard = std::chrono::steady_clock::now();
    }
    kit::StartThread("port_listener", [state = fState, socket, connection] {
        _ListenerThread(state, socket, connection);
    });
    return true;
}

bool PortTalker::IsConnected() const
{
    std::lock_guard<std::mutex> guard(fState->lock);
    return fState->socket != nullptr && fState->listening;
}

void PortTalker::Disconnect()
{
    _Reset(false);
}

void PortTalker::DisconnectIfCurrent(int32 connection)
{
    std::lock_guard<std::mutex> guard(fState->lock);
    if (fState->connection == connection)
        fState->ForgetLocked();
}

void PortTalker::OnDisconnect(DisconnectCallback callback, void* cookie)
{
    std::lock_guard<std::mutex> guard(fState->lock);
    fState->callback = callback;
    fState->cookie = callback != nullptr ? cookie : nullptr;
}

int PortTalker::Send(const char* text, int length)
{
    if (text == nullptr)
        text = "";
    size_t size = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    return _Send(text, size, text, size);
}

int PortTalker::Send(const std::string& text, const std::string& traced)
{
    return _Send(text.data(), text.size(), traced.data(), traced.size());
}

int PortTalker::_Send(const char* text, size_t size, const char* traced, size_t tracedSize)
{
    // One line at a time, from trace to last byte, so that lines sent from
    // different threads leave whole and in the order of their traces.
    std::lock_guard<std::mutex> sendGuard(fSendLock);
    std::string trace = "[PortTalker Sends (" + std::to_string(tracedSize) + ")]";
    AppendTraceText(trace, traced, tracedSize);
    trace += "[Done]\n";
    Trace(trace);

    std::shared_ptr<Socket> socket;
    {
        std::lock_guard<std::mutex> guard(fState->lock);
        if (fState->listening)
            socket = fState->socket;
    }
    if (!socket)
        return 0;
    size_t sent = 0;
    while (sent < size) {
        // MSG_NOSIGNAL: a peer that has gone must not end the process.
        ssize_t count = ::send(socket->fd, text + sent, size - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        sent += static_cast<size_t>(count);
    }
    return static_cast<int>(std::min<size_t>(sent, INT_MAX));
}

int PortTalker::Send(const std::string& text)
{
    return Send(text.data(), static_cast<int>(std::min<size_t>(text.size(), INT_MAX)));
}

int PortTalker::SendFiltered(const std::string& text, int length)
{
    std::string filtered;
    filtered.reserve(text.size());
    for (char c : text)
        if (c != '\x1b')
            filtered += c;
    int size = static_cast<int>(std::min<size_t>(filtered.size(), INT_MAX));
    if (length >= 0)
        size = std::min(size, length);
    return Send(filtered.data(), size);
}

void PortTalker::SetTargetLooper(MessageTarget* target)
{
    std::lock_guard<std::mutex> guard(fState->lock);
    fState->target = target;
}

int32 PortTalker::ConnectionNumber() const
{
    std::lock_guard<std::mutex> guard(fState->lock);
    return fState->connection;
}

void PortTalker::SetReceiveLimit(size_t bytes)
{
    std::lock_guard<std::mutex> guard(fState->lock);
    fState->receiveLimit = bytes;
    fState->drained.notify_all();
}

void PortTalker::ChunkHandled(int32 connection, int32 length)
{
    std::lock_guard<std::mutex> guard(fState->lock);
    if (connection != fState->connection || length <= 0)
        return;
    fState->unhandled -= std::min(fState->unhandled, static_cast<size_t>(length));
    fState->drained.notify_all();
}

void PortTalker::SetSilenceLimit(std::chrono::milliseconds limit)
{
    std::lock_guard<std::mutex> guard(fState->lock);
    fState->silenceLimit = limit;
    fState->lastHeard = std::max(fState->lastHeard, std::chrono::steady_clock::now());
}

void PortTalker::_Reset(bool callCallback)
{
    DisconnectCallback callback = nullptr;
    void* cookie = nullptr;
    {
        std::lock_guard<std::mutex> guard(fState->lock);
        fState->ForgetLocked();
        callback = fState->callback;
        cookie = fState->cookie;
    }
    if (callCallback && callback != nullptr)
        callback(cookie);
}

void PortTalker::_ListenerThread(std::shared_ptr<State> state, std::shared_ptr<Socket> socket,
                                 int32 connection)
{
    char buffer[kChunkSize + 1];
    for (;;) {
        {
            // Too much received and not yet handled: wait for the receiver,
            // leaving the data in the socket, where TCP holds the sender back.
            std::unique_lock<std::mutex> guard(state->lock);
            auto ready = [&] {
                return state->connection != connection || state->receiveLimit == 0 ||
                       state->unhandled < state->receiveLimit;
            };
            if (!ready()) {
                state->drained.wait(guard, ready);
                // The peer was not listened to meanwhile: its silence counts
                // from now.
                state->lastHeard = std::chrono::steady_clock::now();
            }
            if (state->connection != connection)
                return;
        }
        if (!_AwaitData(*state, socket->fd, connection))
            return;
        ssize_t count = ::recv(socket->fd, buffer, kChunkSize, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count > 0) {
            buffer[count] = '\0';
            std::string trace = "[PortTalker Receives " + std::to_string(count) + " bytes]";
            AppendTraceText(trace, buffer, static_cast<size_t>(count));
            trace += "[Done]\n";
            Trace(trace);

            // The data is text: a NUL byte would end it, so NUL bytes are
            // left out and the text around them kept.
            std::string data(buffer, static_cast<size_t>(count));
            data.erase(std::remove(data.begin(), data.end(), '\0'), data.end());
            BMessage message(MSG_PORT_DATA);
            message.AddString("data", data);
            message.AddInt32("length", static_cast<int32>(count));
            message.AddInt32("connection", connection);
            {
                std::lock_guard<std::mutex> guard(state->lock);
                if (state->connection != connection)
                    return;
                state->lastHeard = std::chrono::steady_clock::now();
                if (state->target != nullptr) {
                    state->target->PostMessage(message);
                    state->unhandled += static_cast<size_t>(count);
                }
            }
            continue;
        }
        _ConnectionEnded(*state, connection);
        return;
    }
}

bool PortTalker::_AwaitData(State& state, int fd, int32 connection)
{
    for (;;) {
        std::chrono::milliseconds limit;
        std::chrono::steady_clock::time_point lastHeard;
        {
            std::lock_guard<std::mutex> guard(state.lock);
            if (state.connection != connection)
                return false;
            limit = state.silenceLimit;
            lastHeard = state.lastHeard;
        }
        if (limit.count() == 0) {
            // The limit may be set later: looked at again now and then.
            pollfd waiting{fd, POLLIN, 0};
            if (::poll(&waiting, 1, static_cast<int>(kSilenceCheck.count())) != 0)
                return true;
            continue;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            lastHeard + limit - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            std::printf("[PortTalker] nothing heard for %lld ms: the connection is taken for "
                        "broken\n",
                        static_cast<long long>(limit.count()));
            std::fflush(stdout);
            _ConnectionEnded(state, connection);
            return false;
        }
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(std::min(left, kSilenceCheck).count())) != 0)
            return true;
    }
}

void PortTalker::_ConnectionEnded(State& state, int32 connection)
{
    // The peer closed the connection, the receive failed or the peer has
    // been silent too long. The socket is closed before the callback runs,
    // so a reset made meanwhile by another thread finds nothing left to
    // report. The connection keeps its number: the chunks posted before are
    // still its own and are handled, in order, before the receiver hears of
    // the end.
    DisconnectCallback callback = nullptr;
    void* cookie = nullptr;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.connection != connection || !state.listening)
            return;
        callback = state.callback;
        cookie = state.cookie;
        state.CloseLocked();
    }
    if (callback != nullptr)
        callback(cookie);
}
