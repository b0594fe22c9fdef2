#include "lobby/LobbyHooks.h"

#include "app/UiHooks.h"
#include "lobby/BrowserWindow.h"
#include "lobby/LoginWindow.h"
#include "lobby/SpeakerLink.h"
#include "net/TolvarSpeak.h"

void InstallLobbyHooks()
{
    UiHooks& hooks = Hooks();
    hooks.newLoginWindow = [] { (new LoginWindow())->Show(); };
    // Once the lobby has closed the application is quitting: late replies
    // find no lobby rather than bringing up a new one.
    hooks.lobby = []() -> BrowserWindowBase* {
        return BrowserWindow::WasClosed() ? nullptr : BrowserWindow::Instance();
    };

    SpeakerLink& link = Speaker();
    link.loggedInAs = [] { return TolvarSpeak::Instance()->LoggedInAs(); };
    link.server = [] { return TolvarSpeak::Instance()->Server(); };
    link.connectWith = [](const std::string& host, const std::string& user,
                          const std::string& password, bool create) {
        TolvarSpeak::Instance()->ConnectWith(host, user, password, create);
    };
    link.send = [](const std::string& line) { TolvarSpeak::Instance()->Send(line); };
    link.post = [](const BMessage& message) { TolvarSpeak::Instance()->PostMessage(message); };
    link.reset = [] { TolvarSpeak::Instance()->Reset(); };
}
