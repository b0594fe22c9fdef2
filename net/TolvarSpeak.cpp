#include "net/TolvarSpeak.h"

#include "app/ClientOptions.h"
#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "app/MyGames.h"
#include "app/WindowLink.h"
#include "kit/GuiBridge.h"
#include "kit/ModalAlert.h"
#include "kit/Threads.h"
#include "net/ClientLines.h"
#include "net/Features.h"

#include <cstdio>

namespace {

const char* const kBrokenConnectionAlert =
    "Your network connection to the Chess server has been broken.  You must re-login.";
const char* const kAccountExistsAlert = "Your account could not be created as it already exists.";
const char* const kWelcome = "Welcome to Tolvar Chess.";
// Stands for the password in the trace of the login lines.
const char* const kHiddenPassword = "******";
// A server's reason is shown up to this length.
constexpr size_t kMaxReasonLength = 200;
// After this many bytes handled the speaker waits until the GUI thread has
// caught up with what they caused (chat lines, notices, list rows).
constexpr size_t kGuiCatchUpBytes = 64 * 1024;
// At most this many window calls wait to go to the GUI thread together.
constexpr size_t kMaxWindowWork = 1024;

std::string AccountRefusedAlert(const std::string& reason)
{
    if (reason.empty())
        return kAccountExistsAlert;
    std::string shown = reason.substr(0, kMaxReasonLength);
    if (shown.back() != '.')
        shown += '.';
    return "Your account could not be created: " + shown;
}

// How often the speaker has reset.
std::atomic<int32> sResets{0};
std::atomic<int> sServerPort{ClientOptions::kDefaultPort};
// The server sends a keep-alive line after 10 s of silence: this is three
// of them missed.
std::atomic<std::chrono::milliseconds> sKeepAliveLimit{std::chrono::seconds(30)};

void Wak()
{
    std::fputs("wak\n", stdout);
    std::fflush(stdout);
}

} // namespace

TolvarSpeak* TolvarSpeak::Instance()
{
    // Kept for the whole run: windows and threads reach it until the end.
    static TolvarSpeak* sInstance = new TolvarSpeak();
    return sInstance;
}

TolvarSpeak::TolvarSpeak() : BLooper("TolvarSpeak"), fHandlers(*this), fCommands(fHandlers)
{
    SetReceiveLimit(kReceiveLimit);
    Reset();
    MessageRepeater::Instance()->AddTarget(this);
    SetTargetLooper(MessageRepeater::Instance());
}

TolvarSpeak::~TolvarSpeak()
{
    MessageRepeater::Instance()->RemoveTarget(this);
    Quit();
    Disconnect();
}

void TolvarSpeak::ConnectWith(const std::string& server, const std::string& user,
                              const std::string& password, bool create)
{
    {
        std::lock_guard<std::mutex> lock(fDataLock);
        fServer = server;
        fUser = user;
        fPassword = password;
        fCreate = create;
    }
    if (server.empty() || user.empty() || password.empty())
        return;
    kit::StartThread("tolvar port", [this] { _ConnectionThread(); });
}

void TolvarSpeak::SetServerPort(int port)
{
    sServerPort = port;
}

int TolvarSpeak::ServerPort()
{
    return sServerPort;
}

void TolvarSpeak::SetKeepAliveLimit(std::chrono::milliseconds limit)
{
    sKeepAliveLimit = limit;
}

void TolvarSpeak::_ConnectionThread()
{
    bool connected = Connect(Server(), ServerPort());
    MessageRepeater::Instance()->PostMessage(connected ? MSG_CONNECTED : MSG_CONNECT_FAILED);
}

void TolvarSpeak::Reset()
{
    fLoggedIn = false;
    fReconnecting = false;
    fReconnector.Stop();
    Wak();
    {
        std::lock_guard<std::mutex> lock(fDataLock);
        fCreate = false;
    }
    // Cleared first, so that dropping the connection below reports nothing.
    OnDisconnect(nullptr, nullptr);
    Wak();
    {
        std::lock_guard<std::mutex> lock(fDataLock);
        fServerVersion = "unknown";
        fServerDescription.clear();
        fServer.clear();
        fUser.clear();
        fPassword.clear();
    }
    Wak();
    // Nothing the connection received from now on is handled; set before
    // the unfinished line is cleared, so no chunk can leave a new one.
    const int32 connection = ConnectionNumber();
    fResetUpTo = connection;
    fCommands.Clear();
    MyGames::Instance()->ClearWatchRequests();
    Features::Clear();
    // Disconnecting shuts the socket down and forgets the listener at once,
    // so there is nothing to wait for (and the GUI thread must not wait). A
    // connection made meanwhile by a new login is not this reset's to drop.
    if (!IsConnected() || IsLoopThread()) {
        DisconnectIfCurrent(connection);
    } else {
        // Closed on the speaker's thread behind the lines queued so far. The
        // request travels through the GUI's queue first, so that the lines
        // the GUI sends while handling what it has queued (game windows
        // asked to close by a logout) still go out on this connection.
        BMessage close(MSG_SPEAKER_CLOSE);
        close.AddInt32("connection", connection);
        kit::PostToGuiThread([this, close] { PostMessage(close); });
    }
    OnDisconnect(&TolvarSpeak::CallMeOnDisconnect, this);
    BMessage reset(MSG_CONNECTION_RESET);
    reset.AddInt32("resets", ++sResets);
    Broadcast(reset);
}

void TolvarSpeak::Shutdown(std::chrono::milliseconds grace)
{
    fReconnecting = false;
    fReconnector.Stop();
    {
        std::lock_guard<std::mutex> lock(fCloseLock);
        fShutdownClosed = false;
    }
    BMessage close(MSG_SPEAKER_CLOSE);
    close.AddInt32("connection", ConnectionNumber());
    close.AddInt32("shutdown", 1);
    if (PostMessage(close) == B_OK) {
        std::unique_lock<std::mutex> lock(fCloseLock);
        fClosed.wait_for(lock, grace, [this] { return fShutdownClosed; });
    }
    // Ends a send still blocked on a server that has stopped reading, so
    // that the loop can finish.
    Disconnect();
    Quit();
}

void TolvarSpeak::_Close(const BMessage& message)
{
    // A new login may have connected since the close was asked for: checked
    // and dropped in one step, so that its connection is left alone.
    int32 connection;
    if (message.FindInt32("connection", &connection))
        DisconnectIfCurrent(connection);
    int32 shutdown;
    if (message.FindInt32("shutdown", &shutdown)) {
        {
            std::lock_guard<std::mutex> lock(fCloseLock);
            fShutdownClosed = true;
        }
        fClosed.notify_all();
    }
}

int32 TolvarSpeak::ResetCount() const
{
    return sResets;
}

std::string TolvarSpeak::LoggedInAs() const
{
    std::lock_guard<std::mutex> lock(fDataLock);
    return fUser;
}

std::string TolvarSpeak::Server() const
{
    std::lock_guard<std::mutex> lock(fDataLock);
    return fServer;
}

std::string TolvarSpeak::ServerVersion() const
{
    std::lock_guard<std::mutex> lock(fDataLock);
    return fServerVersion;
}

std::string TolvarSpeak::ServerDescription() const
{
    std::lock_guard<std::mutex> lock(fDataLock);
    return fServerDescription;
}

void TolvarSpeak::SetServerVersion(const std::string& version, const std::string& description)
{
    std::lock_guard<std::mutex> lock(fDataLock);
    fServerVersion = version;
    fServerDescription = description;
}

void TolvarSpeak::SendLoginInformation()
{
    std::string user, password;
    {
        std::lock_guard<std::mutex> lock(fDataLock);
        user = fUser;
        password = fPassword;
    }
    Send(ClientLines::User(user, password), ClientLines::User(user, kHiddenPassword));
}

void TolvarSpeak::SendNewUserInformation()
{
    std::string user, password;
    {
        std::lock_guard<std::mutex> lock(fDataLock);
        user = fUser;
        password = fPassword;
    }
    Send(ClientLines::Create(user, password), ClientLines::Create(user, kHiddenPassword));
}

void TolvarSpeak::PostLine(const std::string& line)
{
    // "connection" is the connection current now: see _SendQueuedLine().
    BMessage message(MSG_SPEAKER_LINE);
    message.AddString("line", line);
    message.AddInt32("connection", ConnectionNumber());
    PostMessage(message);
}

status_t TolvarSpeak::PostMessage(const BMessage& message)
{
    return BLooper::PostMessage(message);
}

void TolvarSpeak::_SendQueuedLine(const BMessage& message)
{
    std::string line;
    int32 connection;
    if (!message.FindString("line", &line) || !message.FindInt32("connection", &connection))
        return;
    if (connection == ConnectionNumber())
        Send(line);
}

void TolvarSpeak::CallMeOnDisconnect(void* cookie)
{
    auto* speaker = static_cast<TolvarSpeak*>(cookie);
    // The way the chunks went, so that it arrives after the last of them.
    BMessage broken(MSG_CONNECTION_BROKEN);
    broken.AddInt32("connection", speaker->ConnectionNumber());
    speaker->Broadcast(broken);
}

void TolvarSpeak::_ConnectionBroken(const BMessage& message)
{
    int32 connection;
    if (!message.FindInt32("connection", &connection) || connection != ConnectionNumber() ||
        connection <= fResetUpTo)
        return;
    if (fReconnecting) {
        // An attempt's connection broke before its login went through.
        fResetUpTo = connection;
        fCommands.Clear();
        if (!fReconnector.Next())
            _GiveUp();
        return;
    }
    if (fLoggedIn && !Server().empty()) {
        _StartReconnecting(connection);
        return;
    }
    ModalAlertFactory::Alert(kBrokenConnectionAlert, "Dang Nabit!");
    Reset();
    _ShowNewLoginWindow();
}

void TolvarSpeak::_StartReconnecting(int32 connection)
{
    fLoggedIn = false;
    fReconnecting = true;
    // What the broken connection still held is not handled any more.
    fResetUpTo = connection;
    fCommands.Clear();
    MyGames::Instance()->ClearWatchRequests();
    DisconnectIfCurrent(connection);
    Broadcast(BMessage(MSG_CONNECTION_LOST));
    fReconnector.Start();
}

void TolvarSpeak::_ReconnectStatus(const std::string& text)
{
    BMessage status(MSG_RECONNECT_STATUS);
    status.AddString("message", text);
    Broadcast(status);
}

void TolvarSpeak::_Reconnect(const BMessage& message)
{
    if (!fReconnecting)
        return;
    switch (message.what) {
    case MSG_RECONNECT_TICK: {
        int32 seconds = 0;
        message.FindInt32("seconds", &seconds);
        _ReconnectStatus("connection lost \u2014 reconnecting in " + std::to_string(seconds) +
                         " s");
        break;
    }
    case MSG_RECONNECT_ATTEMPT:
        _ReconnectStatus("connection lost \u2014 reconnecting now");
        kit::StartThread("tolvar port", [this] {
            bool connected = Connect(Server(), ServerPort());
            PostMessage(BMessage(connected ? MSG_RECONNECT_OPEN : MSG_RECONNECT_FAILED));
        });
        break;
    case MSG_RECONNECT_OPEN:
        // A server that takes the connection but never answers the login
        // (a process that hangs) would hold the attempts up for good: its
        // silence counts as a failed attempt.
        SetSilenceLimit(sKeepAliveLimit.load());
        SendLoginInformation();
        break;
    case MSG_RECONNECT_FAILED:
        if (!fReconnector.Next())
            _GiveUp();
        break;
    case MSG_RECONNECT_STOP:
        _GiveUp();
        break;
    default:
        break;
    }
}

void TolvarSpeak::_GiveUp()
{
    fReconnecting = false;
    fReconnector.Stop();
    ModalAlertFactory::Alert(kBrokenConnectionAlert, "Dang Nabit!");
    Reset();
    _ShowNewLoginWindow();
}

void TolvarSpeak::_ShowNewLoginWindow()
{
    kit::RunOnGuiThread([] { Windows().NewLoginWindow(); });
}

void TolvarSpeak::MessageReceived(BMessage* message)
{
    // Whatever this message does comes after the window work of the lines
    // received before it.
    if (message->what != MSG_PORT_DATA)
        fHandlers.Flush();
    switch (message->what) {
    case MSG_CONNECTED: {
        bool create;
        {
            std::lock_guard<std::mutex> lock(fDataLock);
            create = fCreate;
        }
        if (create)
            SendNewUserInformation();
        else
            SendLoginInformation();
        break;
    }
    case MSG_ACCOUNT_CREATED:
        SendLoginInformation();
        break;
    case MSG_LOGGED_IN: {
        fLoggedIn = true;
        // Silence is a break again only once the server promises keep-alive.
        SetSilenceLimit(std::chrono::milliseconds(0));
        // Announced first, so that the server's answer to GAMES already
        // carries what the features add to it; games kept for this user
        // come back, before the answer, in reply.
        Send(ClientLines::Features(Features::Announced()));
        if (fReconnecting.exchange(false)) {
            fReconnector.Stop();
            _ReconnectStatus("reconnected");
            Broadcast(BMessage(MSG_RECONNECTED));
        }
        Send(ClientLines::Games());
        Send(ClientLines::Users());
        BMessage welcome(MSG_INFO_TEXT);
        welcome.AddString("message", kWelcome);
        Broadcast(welcome);
        break;
    }
    case MSG_ACCOUNT_EXISTS: {
        std::string reason;
        message->FindString("message", &reason);
        ModalAlertFactory::Alert(AccountRefusedAlert(reason), "Doh!");
        Reset();
        _ShowNewLoginWindow();
        break;
    }
    case MSG_CONNECTION_BROKEN:
        _ConnectionBroken(*message);
        break;
    case MSG_SPEAKER_CLOSE:
        _Close(*message);
        break;
    case MSG_PORT_DATA:
        _HandleData(*message);
        break;
    case MSG_CHAT_SEND:
        _SendChat(*message);
        break;
    case MSG_SPEAKER_LINE:
        _SendQueuedLine(*message);
        break;
    case MSG_SERVER_PING:
        Send(ClientLines::Pong());
        break;
    case MSG_FEATURES_ANSWERED:
        // Every new connection starts without a limit; a login whose
        // server promised keep-alive lines gets one.
        if (fLoggedIn && Features::Supports("keepalive"))
            SetSilenceLimit(sKeepAliveLimit.load());
        break;
    case MSG_RECONNECT_TICK:
    case MSG_RECONNECT_ATTEMPT:
    case MSG_RECONNECT_OPEN:
    case MSG_RECONNECT_FAILED:
    case MSG_RECONNECT_STOP:
        _Reconnect(*message);
        break;
    default:
        break;
    }
}

void TolvarSpeak::_HandleData(const BMessage& message)
{
    std::string data;
    if (!message.FindString("data", &data))
        return;
    int32 connection;
    if (!message.FindInt32("connection", &connection)) {
        fCommands.HandleChunk(data);
        return;
    }
    // Chunks of a connection dropped or reset since they were received are
    // stale, and so is the rest of a chunk once a reply (or another thread)
    // has reset. The last chunks of a connection the server closed are not.
    fCommands.HandleChunk(
        data,
        [this, connection] { return ConnectionNumber() == connection && connection > fResetUpTo; },
        false);

    // While more is waiting, the window work of several chunks goes to the
    // GUI thread in one call; it goes at once when nothing else waits.
    int32 length = 0;
    message.FindInt32("length", &length);
    fHandledSinceGuiCaughtUp += static_cast<size_t>(std::max<int32>(length, 0));
    if (fHandledSinceGuiCaughtUp >= kGuiCatchUpBytes) {
        // The room the chunks took is free again only once the windows have
        // caught up with them too, so that neither this loop's queue nor the
        // GUI's grows without bound while a server floods the client.
        fHandledSinceGuiCaughtUp = 0;
        fHandlers.Flush();
        kit::RunOnGuiThread([] {});
    } else if (!HasQueuedMessages() || fHandlers.PendingWork() >= kMaxWindowWork) {
        fHandlers.Flush();
    }
    ChunkHandled(connection, length);
}

void TolvarSpeak::_SendChat(const BMessage& message)
{
    std::string data;
    if (!message.FindString("data", &data))
        return;
    std::string gameId;
    if (message.FindString("game_id", &gameId))
        Send(ClientLines::GameMessage(gameId, data));
    else
        Send(ClientLines::PublicMessage(data));
}

void TolvarSpeak::Broadcast(const BMessage& message)
{
    MessageRepeater::Instance()->PostMessage(message);
}
