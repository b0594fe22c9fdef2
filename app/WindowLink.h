#pragma once
// The one way from the protocol layer to the windows: the lobby's
// operations, the windows it opens, and the game windows themselves as the
// reply handlers and the open-game registry see them.
//
// The GUI installs its link at start-up; tests install a recording fake.
// Until one is installed the link does nothing and opens no window. Every
// operation runs on the GUI thread: callers on other threads go through
// kit::RunOnGuiThread.

#include "kit/GuiLooper.h"
#include "kit/Types.h"

#include <string>
#include <vector>

struct game;

// A game window: created and destroyed on the GUI thread, where all its
// operations run.
class GameWindowBase : public GuiLooper
{
public:
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

    // The connection broke and the speaker is getting a new one: the window
    // says so, takes no move meanwhile and waits for the server to resend
    // its game (Resume), or to show that it will not (ResendMissed).
    virtual void ConnectionLost() {}
    virtual bool WaitingToResume() const { return false; }
    // The server resent the game with all its `moves` (texts each followed
    // by a blank): the window applies those it has not seen and plays on.
    virtual void Resume(const std::string& moves) { (void)moves; }
    // The server has resent every game it kept and this one was not among
    // them: a played game is gone; a watched one asks to be watched again.
    virtual void ResendMissed() {}
    // The lines of the optional features; a window that does not show them
    // ignores them. `side`, `running` and a winner are CGC_WHITE or
    // CGC_BLACK; `running` is -1 when no clock runs.
    //
    // The server's clocks: milliseconds left to each side.
    virtual void SetClocks(int64 /*whiteMs*/, int64 /*blackMs*/, int32 /*running*/) {}
    // A draw offer's news: `side` made it ("offer"), withdrew it ("cancel")
    // or declined it ("decline").
    virtual void DrawOfferChanged(int32 /*side*/, const std::string& /*what*/) {}
    // A rematch's news: `side` offered ("offer") or declined ("decline")
    // one, or the rematch started as game `newId` ("new").
    virtual void RematchChanged(int32 /*side*/, const std::string& /*what*/,
                                const std::string& /*newId*/)
    {
    }
    // The server ended the game: `reason` without its result token, and
    // `who` as SetWhoIsWinner takes it ("white", "black", "draw",
    // "aborted", or empty when the reason names no result).
    virtual void GameEnded(const std::string& /*reason*/, const std::string& /*who*/) {}
    // A player of the game lost the connection and has `seconds` to come
    // back, or (`seconds` < 0) is back.
    virtual void PlayerAway(const std::string& /*name*/, int32 /*seconds*/) {}
};

class WindowLink
{
public:
    virtual ~WindowLink() = default;

    // Creates and shows a new login window.
    virtual void NewLoginWindow() = 0;

    // The lobby's lists. Once the lobby has closed (the program is
    // quitting) they are dropped.
    virtual void InformAboutGame(const std::string& gameId, const std::string& black,
                                 const std::string& white, const std::string& description) = 0;
    virtual void RemoveGame(const std::string& gameId) = 0;
    virtual void UserIn(const std::string& user, const std::string& rating, bool announce) = 0;
    virtual void UserOut(const std::string& user) = 0;

    // Creates (does not show) the window of a game the user plays; `colour`
    // is CGC_WHITE or CGC_BLACK. The window takes ownership of `record`.
    // Null when no window could be made; the record is then the caller's.
    virtual GameWindowBase* NewPlayedGameWindow(const std::string& id, game* record,
                                                int32 colour) = 0;
    // Creates (does not show) the window of a watched game and replays `moves`.
    virtual GameWindowBase* NewWatchedGameWindow(const std::string& id, game* record,
                                                 const std::string& moves) = 0;

    virtual void PlayGameAborted() = 0;

    // A game's time control, known from the clock feature: `minutes` base
    // and `seconds` increment. Links without a lobby ignore it.
    virtual void SetTimeControl(const std::string& /*gameId*/, int32 /*minutes*/, int32 /*seconds*/)
    {
    }

    // An archive line (135 to 139) for the archive windows; `code` is its
    // reply code, `args` its arguments.
    virtual void ArchiveLine(const std::string& code, const std::vector<std::string>& args)
    {
        (void)code;
        (void)args;
    }
};

// The installed link. Set it on the GUI thread before other threads start.
WindowLink& Windows();
// Installs `link` (not owned); null goes back to the link that does nothing.
void SetWindowLink(WindowLink* link);
