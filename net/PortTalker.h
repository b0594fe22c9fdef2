#pragma once
// The one TCP connection to the chess server: resolves the host, connects,
// runs a listener thread ("port_listener") that posts every chunk it
// receives to the target as MSG_PORT_DATA, sends text, and reports a
// broken connection once through a callback. It knows nothing of the
// protocol.
//
// Any thread may call any operation; none of them waits for the listener.
// Connect() blocks while it resolves and connects; Send() blocks until the
// socket took the whole text or failed. Disconnect() shuts the socket down
// and forgets the listener at once: a forgotten listener posts nothing more
// and never calls the callback; it closes its descriptor when it ends.
//
// With a receive limit set, the listener stops reading once that many bytes
// it posted have not yet been reported handled (ChunkHandled), and reads on
// when they have: a server that sends faster than the client handles is
// held back by TCP, and nothing is dropped.
//
// With a silence limit set, a connection that receives nothing for that
// long is taken for broken, as if the peer had closed it: a peer that
// promised to speak at intervals and went quiet (a pulled cable, a frozen
// machine) is found even though no FIN ever arrives.
//
// Every received chunk and every sent text is traced on standard output.

#include "kit/MessageTarget.h"
#include "kit/Types.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

class PortTalker
{
public:
    using DisconnectCallback = void (*)(void* cookie);

    PortTalker();
    // Shuts the connection down; a listener still running ends by itself.
    virtual ~PortTalker();

    PortTalker(const PortTalker&) = delete;
    PortTalker& operator=(const PortTalker&) = delete;

    // Opens a connection to `host` (IPv4) on `port`, dropping any earlier
    // one, and starts the listener. Posts MSG_PORT_RESOLVING, then
    // MSG_PORT_HOST_UNKNOWN or MSG_PORT_CONNECTING, to the target.
    // True when connected.
    bool Connect(const std::string& host, int port);

    // Connected: a socket is open and its listener runs.
    bool IsConnected() const;

    // Shuts the socket down and forgets the listener; never calls the
    // disconnect callback. Does not block.
    void Disconnect();
    // Disconnect(), but only while `connection` (a ConnectionNumber()) is
    // still the current connection: a newer one is left alone.
    void DisconnectIfCurrent(int32 connection);

    // Sets the function the listener calls, on its own thread, when the peer
    // closes the connection or a receive fails. A null pair clears it.
    void OnDisconnect(DisconnectCallback callback, void* cookie);

    // Sends `length` bytes of `text` (up to its NUL when `length` is -1) as
    // one unbroken piece: lines from different threads never interleave.
    // Returns the number of bytes the socket took; 0 when not connected.
    int Send(const char* text, int length);
    int Send(const std::string& text);
    // Sends `text` but traces `traced`, and its length, in its place (a line
    // that carries a password is traced with the password hidden).
    int Send(const std::string& text, const std::string& traced);

    // Sends `text` without its ESC characters; `length` counts the filtered
    // text (-1 for all of it).
    int SendFiltered(const std::string& text, int length = -1);

    // Where the connection's messages go; null: nowhere.
    void SetTargetLooper(MessageTarget* target);

    // Changes with every Connect() and Disconnect(), not when the peer
    // closes. The listener puts it in the "connection" field of
    // MSG_PORT_DATA, so a receiver can tell the chunks of a connection that
    // has since been dropped from the last chunks of one the peer closed.
    int32 ConnectionNumber() const;

    // At most `bytes` posted and not yet handled (0: no limit, the default).
    void SetReceiveLimit(size_t bytes);
    // The receiver has handled a chunk of `length` bytes (its "length"
    // field) of connection `connection`; chunks of an earlier connection
    // are not counted.
    void ChunkHandled(int32 connection, int32 length);

    // The longest the current connection may stay silent (0: for ever, the
    // default, and what every new connection starts with). Counted from the
    // last chunk received, or from the call when it comes later; the time
    // the listener waits for the receiver to catch up does not count.
    void SetSilenceLimit(std::chrono::milliseconds limit);

private:
    struct Socket;
    struct State;

    void _Reset(bool callCallback);
    int _Send(const char* text, size_t size, const char* traced, size_t tracedSize);
    static void _ListenerThread(std::shared_ptr<State> state, std::shared_ptr<Socket> socket,
                                int32 connection);
    // Waits until `fd` has something to read (true), or the connection is
    // dropped or has been silent past its limit (false; the end reported).
    static bool _AwaitData(State& state, int fd, int32 connection);
    // Closes the connection the peer ended and calls the callback.
    static void _ConnectionEnded(State& state, int32 connection);

    std::shared_ptr<State> fState;
    std::mutex fSendLock;
};
