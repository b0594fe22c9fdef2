#pragma once
// The protocol speaker: a message loop that owns the server connection,
// keeps the login data, connects on a thread of its own ("tolvar port", to
// port 5000 unless SetServerPort() chose another), logs in or creates an
// account, sends chat lines, and hands received chunks to the reply
// handlers. The windows reach it as their SpeakerLink.
//
// A process-wide singleton, created on first use and kept for the run; it
// registers with the broadcast loop and posts its messages there. The
// accessors and Reset() may be called from any thread and never block;
// messages are handled, and replies dispatched, on the speaker's own thread.
// Windows queue their lines with PostLine(), formatted by ClientLines; the
// speaker's thread sends them, so a server that is slow to read never holds
// up the GUI thread.
//
// Received chunks are handled in the order they arrived, the last chunks of
// a connection the server closed included, before the speaker reacts to its
// closing. At most kReceiveLimit bytes wait to be handled: beyond that the
// connection stops reading until the speaker, and the windows it feeds,
// have caught up.

#include "kit/BLooper.h"
#include "net/CommandHandler.h"
#include "net/PortTalker.h"
#include "net/Reconnector.h"
#include "net/ReplyContext.h"
#include "net/ReplyHandlers.h"
#include "net/SpeakerLink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

class TolvarSpeak : public BLooper, public PortTalker, public SpeakerLink, private ReplyContext
{
public:
    static constexpr size_t kReceiveLimit = 8 << 20;

    static TolvarSpeak* Instance();
    ~TolvarSpeak() override;

    // The port every connection goes to; 5000 unless set (any thread).
    static void SetServerPort(int port);
    static int ServerPort();

    // How long a server that agreed to send keep-alive lines may stay
    // silent before its connection is taken for broken (and the speaker
    // reconnects as after any other break); 30 s unless set (any thread).
    // Without that agreement the connection waits for the peer for ever.
    // A reconnection attempt's login waits as long for an answer.
    static void SetKeepAliveLimit(std::chrono::milliseconds limit);

    // Stores the login data and, when server, user and password are all
    // non-empty, starts the connection thread. Does not block.
    void ConnectWith(const std::string& server, const std::string& user,
                     const std::string& password, bool create) override;

    // Returns to the logged-out state: the strings are emptied, the server
    // version reads "unknown", nothing more the connection received is
    // handled and its unfinished line is discarded, and the open game
    // windows hear that their connection is gone. The connection itself is
    // closed at once on the speaker's thread; from another thread it is
    // closed on the speaker's thread once the lines queued before, and those
    // the GUI sends while handling what it had queued before, have gone out
    // (a logout's closing game windows still send their ABORT lines).
    // Writes "wak" three times. Any thread; does not block.
    void Reset() override;

    // Ends the speaker at program exit: the lines already queued are sent if
    // the server takes them within `grace`; then the connection is dropped
    // (which also ends a send blocked on a server that stopped reading) and
    // the loop is stopped. Blocks for at most about `grace`.
    void Shutdown(std::chrono::milliseconds grace);

    // How often the speaker has reset; MSG_CONNECTION_RESET carries the new
    // count in its "resets" field, so that a window made after a reset can
    // tell that the reset was not about its connection.
    int32 ResetCount() const override;

    // Copies of the stored strings.
    std::string LoggedInAs() const override;
    std::string Server() const override;
    std::string ServerVersion() const override;
    std::string ServerDescription() const;

    // Queues one complete client line to be sent on the speaker's own thread,
    // after every line queued before it. Never blocks. A line queued while
    // one connection was current is dropped if that connection has closed by
    // the time its turn comes, so it can never reach a later login.
    void PostLine(const std::string& line) override;
    status_t PostMessage(const BMessage& message) override;

    // The login and account-creation lines.
    void SendLoginInformation();
    void SendNewUserInformation();

    // The disconnect callback, run on the listener thread: broadcasts
    // MSG_CONNECTION_BROKEN behind the connection's last chunks. Handling it
    // after a login, the speaker's thread keeps the login data in memory and
    // tries to log in again with back-off (MSG_CONNECTION_LOST, then
    // MSG_RECONNECT_STATUS lines and MSG_RECONNECTED), so that the game
    // windows can take their games up again. When that gives up, the user
    // stops it (MSG_RECONNECT_STOP), or the connection broke before a login,
    // it shows the alert (and waits for it), resets and opens a new login
    // window.
    static void CallMeOnDisconnect(void* cookie);

    void MessageReceived(BMessage* message) override;

private:
    TolvarSpeak();

    void _ConnectionThread();
    void _HandleData(const BMessage& message);
    void _ConnectionBroken(const BMessage& message);
    // The connection of a login broke: keep trying to log in again.
    void _StartReconnecting(int32 connection);
    void _Reconnect(const BMessage& message);
    void _ReconnectStatus(const std::string& text);
    void _GiveUp();
    void _Close(const BMessage& message);
    void _SendChat(const BMessage& message);
    void _SendQueuedLine(const BMessage& message);
    static void _ShowNewLoginWindow();

    // ReplyContext
    void Broadcast(const BMessage& message) override;
    void SetServerVersion(const std::string& version, const std::string& description) override;

    mutable std::mutex fDataLock; // guards the login data and server strings
    std::string fServer;
    std::string fUser;
    std::string fPassword;
    bool fCreate = false;
    std::string fServerVersion;
    std::string fServerDescription;

    // Logged in on the current connection (201 seen, no reset since).
    std::atomic<bool> fLoggedIn{false};
    // Trying to log in again after a lost connection.
    std::atomic<bool> fReconnecting{false};
    Reconnector fReconnector{this};

    ReplyHandlers fHandlers;
    CommandHandler fCommands;

    // Connections numbered up to this one have been reset: what they
    // received is no longer handled, and their closing is no news.
    std::atomic<int32> fResetUpTo{0};
    // Bytes handled since the GUI last caught up with what they caused.
    size_t fHandledSinceGuiCaughtUp = 0;

    std::mutex fCloseLock;
    std::condition_variable fClosed;
    bool fShutdownClosed = false;
};
