#include "lobby/LobbyHooks.h"

#include "app/UiHooks.h"
#include "lobby/BrowserWindow.h"
#include "lobby/LoginWindow.h"
#include "lobby/SpeakerLink.h"

void InstallLobbyHooks()
{
    UiHooks& hooks = Hooks();
    hooks.newLoginWindow = [] { (new LoginWindow())->Show(); };
    // Once the lobby has closed the application is quitting: late replies
    // find no lobby rather than bringing up a new one.
    hooks.lobby = []() -> BrowserWindowBase* {
        return BrowserWindow::WasClosed() ? nullptr : BrowserWindow::Instance();
    };

    BindToTolvarSpeak(Speaker());
}
