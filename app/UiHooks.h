#pragma once
// The windows that the protocol layer opens and reaches, supplied by the GUI
// at start-up (and by fakes in tests). Each hook runs on the GUI thread:
// callers on other threads go through kit::RunOnGuiThread. A hook that is
// not set does nothing and returns null.

#include "kit/Types.h"

#include <functional>
#include <string>

struct game;
class BrowserWindowBase;
class GameWindowBase;

struct UiHooks
{
    // Creates and shows a new login window.
    std::function<void()> newLoginWindow;
    // The lobby window singleton.
    std::function<BrowserWindowBase*()> lobby;
    // Creates (not shows) the window of a game the user plays; `colour` is
    // CGC_WHITE or CGC_BLACK. The window takes ownership of `record`.
    std::function<GameWindowBase*(const std::string& id, game* record, int32 colour)>
        newPlayedGameWindow;
    // Creates (not shows) the window of a watched game and replays `moves`.
    std::function<GameWindowBase*(const std::string& id, game* record, const std::string& moves)>
        newWatchedGameWindow;
    // Plays the game-aborted sound.
    std::function<void()> playGameAborted;
    // Creates and shows the game creation dialog.
    std::function<void()> newGameDialog;
};

// The process's hooks; set them on the GUI thread before other threads start.
UiHooks& Hooks();
