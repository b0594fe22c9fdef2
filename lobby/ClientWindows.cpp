#include "lobby/ClientWindows.h"

#include "game/GameWindow.h"
#include "game/SoundSystem.h"
#include "lobby/BrowserWindow.h"
#include "lobby/LoginWindow.h"

namespace {

BrowserWindow* OpenLobby()
{
    return BrowserWindow::WasClosed() ? nullptr : BrowserWindow::Instance();
}

} // namespace

void ClientWindows::Install()
{
    static ClientWindows sWindows;
    SetWindowLink(&sWindows);
}

void ClientWindows::NewLoginWindow()
{
    (new LoginWindow())->Show();
}

void ClientWindows::InformAboutGame(const std::string& gameId, const std::string& black,
                                    const std::string& white, const std::string& description)
{
    if (BrowserWindow* lobby = OpenLobby())
        lobby->InformAboutGame(gameId, black, white, description);
}

void ClientWindows::RemoveGame(const std::string& gameId)
{
    if (BrowserWindow* lobby = OpenLobby())
        lobby->RemoveGame(gameId);
}

void ClientWindows::UserIn(const std::string& user, const std::string& rating, bool announce)
{
    if (BrowserWindow* lobby = OpenLobby())
        lobby->UserIn(user, rating, announce);
}

void ClientWindows::UserOut(const std::string& user)
{
    if (BrowserWindow* lobby = OpenLobby())
        lobby->UserOut(user);
}

GameWindowBase* ClientWindows::NewPlayedGameWindow(const std::string& id, game* record,
                                                   int32 colour)
{
    return new GameWindow(id, record, colour);
}

GameWindowBase* ClientWindows::NewWatchedGameWindow(const std::string& id, game* record,
                                                    const std::string& moves)
{
    return new GameWindow(id, record, moves);
}

void ClientWindows::PlayGameAborted()
{
    SoundSystem::Instance()->PlayGameAborted();
}

void ClientWindows::SetTimeControl(const std::string& gameId, int32 minutes, int32 seconds)
{
    if (BrowserWindow* lobby = OpenLobby())
        lobby->SetTimeControl(gameId, minutes, seconds);
}
