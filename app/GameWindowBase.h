#pragma once
// What the protocol handlers and the lobby need of a game window, so that
// they can drive one without depending on the widgets that draw it.
// Every operation runs on the GUI thread; callers on other threads use
// RunLocked() (the window's lock).

#include "kit/GuiLooper.h"

#include <string>

struct game;

class GameWindowBase : public GuiLooper
{
public:
    using GuiLooper::GuiLooper;

    virtual std::string GameID() const = 0;
    // The engine record of the game; owned by the window.
    virtual game* Game() const = 0;
    // Applies a move reported by the server; `move` is writable, at least 8 bytes.
    virtual void MakeMove(char* move, bool sound) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetWinner(const std::string& text) = 0;
    virtual void SetWhoIsWinner(const std::string& who) = 0;
    virtual void SetWhitePlayer(const std::string& name) = 0;
    virtual void SetBlackPlayer(const std::string& name) = 0;
    // The game can no longer be played here: its connection was reset, or
    // the server no longer knows it. The window says `why` in its status
    // line, takes no more moves and leaves the registry (its game number may
    // come back as another game); it stays open for reading.
    virtual void GameGone(const std::string& why) = 0;
};
