#pragma once
// The protocol speaker: a message loop that owns the server connection,
// keeps the login data, connects on a thread of its own ("tolvar port",
// always port 5000), logs in or creates an account, sends chat lines, and
// hands received chunks to the reply handlers.
//
// A process-wide singleton, created on first use and kept for the run; it
// registers with the broadcast loop and posts its messages there. The
// accessors and Reset() may be called from any thread and never block;
// messages are handled, and replies dispatched, on the speaker's own thread.
// Windows queue their lines with PostLine(), formatted by ClientLines; the
// speaker's thread sends them, so a server that is slow to read never holds
// up the GUI thread.

#include "kit/BLooper.h"
#include "net/CommandHandler.h"
#include "net/PortTalker.h"
#include "net/ReplyContext.h"
#include "net/ReplyHandlers.h"

#include <mutex>
#include <string>

class TolvarSpeak : public BLooper, public PortTalker, private ReplyContext
{
public:
    static constexpr int kServerPort = 5000;

    static TolvarSpeak* Instance();
    ~TolvarSpeak() override;

    // Stores the login data and, when server, user and password are all
    // non-empty, starts the connection thread. Does not block.
    void ConnectWith(const std::string& server, const std::string& user,
                     const std::string& password, bool create);

    // Returns to the logged-out state: the strings are emptied, the server
    // version reads "unknown", the connection is dropped and its unfinished
    // line discarded. Writes "wak" three times. Any thread; does not block.
    void Reset() override;

    // Copies of the stored strings.
    std::string LoggedInAs() const override;
    std::string Server() const;
    std::string ServerVersion() const override;
    std::string ServerDescription() const;

    // Queues one complete client line to be sent on the speaker's own thread,
    // after every line queued before it. Never blocks. A line queued while
    // one connection was current is dropped if that connection has gone by
    // the time its turn comes, so it can never reach a later login.
    void PostLine(const std::string& line);

    // The login and account-creation lines.
    void SendLoginInformation();
    void SendNewUserInformation();

    // The disconnect callback: alert, reset, new login window. Runs on the
    // listener thread; blocks until the alert is dismissed.
    static void CallMeOnDisconnect(void* cookie);

    void MessageReceived(BMessage* message) override;

private:
    TolvarSpeak();

    void _ConnectionThread();
    void _HandleData(const BMessage& message);
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

    ReplyHandlers fHandlers;
    CommandHandler fCommands;
};
