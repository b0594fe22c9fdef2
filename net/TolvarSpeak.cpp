#include "net/TolvarSpeak.h"

#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "app/UiHooks.h"
#include "kit/GuiBridge.h"
#include "kit/ModalAlert.h"
#include "kit/Threads.h"
#include "net/ClientLines.h"

#include <cstdio>

namespace {

const char* const kBrokenConnectionAlert =
    "Your network connection to the Chess server has been broken.  You must re-login.";
const char* const kAccountExistsAlert = "Your account could not be created as it already exists.";
const char* const kWelcome = "Welcome to Tolvar Chess for BeOS.";

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

void TolvarSpeak::_ConnectionThread()
{
    bool connected = Connect(Server(), kServerPort, false);
    MessageRepeater::Instance()->PostMessage(connected ? MSG_CONNECTED : MSG_CONNECT_FAILED);
}

void TolvarSpeak::Reset()
{
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
    // Disconnect() shuts the socket down and forgets the listener at once,
    // so there is nothing to wait for (and the GUI thread must not wait).
    Disconnect();
    fCommands.Clear();
    OnDisconnect(&TolvarSpeak::CallMeOnDisconnect, this);
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
    Send(ClientLines::User(user, password));
}

void TolvarSpeak::SendNewUserInformation()
{
    std::string user, password;
    {
        std::lock_guard<std::mutex> lock(fDataLock);
        user = fUser;
        password = fPassword;
    }
    Send(ClientLines::Create(user, password));
}

void TolvarSpeak::PostLine(const std::string& line)
{
    // "connection" is the connection current now: see _SendQueuedLine().
    BMessage message(MSG_SPEAKER_LINE);
    message.AddString("line", line);
    message.AddInt32("connection", ConnectionNumber());
    PostMessage(message);
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
    ModalAlertFactory::Alert(kBrokenConnectionAlert, "Dang Nabit!");
    speaker->Reset();
    _ShowNewLoginWindow();
}

void TolvarSpeak::_ShowNewLoginWindow()
{
    kit::RunOnGuiThread([] {
        if (Hooks().newLoginWindow)
            Hooks().newLoginWindow();
    });
}

void TolvarSpeak::MessageReceived(BMessage* message)
{
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
        Send(ClientLines::Games());
        Send(ClientLines::Users());
        BMessage welcome(MSG_INFO_TEXT);
        welcome.AddString("message", kWelcome);
        Broadcast(welcome);
        break;
    }
    case MSG_ACCOUNT_EXISTS:
        ModalAlertFactory::Alert(kAccountExistsAlert, "Doh!");
        Reset();
        _ShowNewLoginWindow();
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
    // Chunks of a connection dropped since they were received are stale, and
    // so is the rest of a chunk once a reply (or another thread) has reset.
    fCommands.HandleChunk(data, [this, connection] { return ConnectionNumber() == connection; });
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
