#pragma once
// The client's windows as the protocol layer reaches them (its WindowLink):
// login windows, the lobby's lists, played and watched game windows and the
// game-aborted sound. Once the lobby has closed the program is quitting,
// and late replies find no lobby rather than bringing up a new one.
//
// Install() makes it the process's WindowLink; call it on the GUI thread
// at start-up, before the protocol speaker runs.

#include "app/WindowLink.h"

class ClientWindows : public WindowLink
{
public:
    static void Install();

    void NewLoginWindow() override;
    void InformAboutGame(const std::string& gameId, const std::string& black,
                         const std::string& white, const std::string& description) override;
    void RemoveGame(const std::string& gameId) override;
    void UserIn(const std::string& user, const std::string& rating, bool announce) override;
    void UserOut(const std::string& user) override;
    GameWindowBase* NewPlayedGameWindow(const std::string& id, game* record, int32 colour) override;
    GameWindowBase* NewWatchedGameWindow(const std::string& id, game* record,
                                         const std::string& moves) override;
    void PlayGameAborted() override;
    void SetTimeControl(const std::string& gameId, int32 minutes, int32 seconds) override;
};
