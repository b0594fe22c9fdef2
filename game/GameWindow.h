#pragma once
// The window of one game, played or watched: the board, one panel per
// player, the game's chat, a status line and, once the game is over, the
// result banner. It keeps what the views ask for: the game identifier, the
// players' names, the side to move and the result.
//
// Created, used and destroyed on the GUI thread, where the protocol
// handlers' calls run too (through the WindowLink). The window owns the engine record it is
// given and frees it when it goes. It registers with the broadcast loop and
// the open-game registry and removes itself from both; closing it sends the
// ABORT line (played game) or the OBSERVE-off line (watched game), unless
// its game has gone meanwhile (its connection was reset, or the server no
// longer knows it).
//
// With a server that supports them, a timed game shows a clock by each
// panel, and a player gets the buttons of GameActions; closing the window
// of a game that leaving would lose asks "Resign this game?" first.

#include "app/WindowLink.h"
#include "game/GameClock.h"
#include "game/PgnExport.h"
#include "kit/Types.h"
#include "widgets/BWindow.h"

#include <QWidget>

#include <chrono>
#include <string>
#include <vector>

class BubbleView;
class ChessView;
class ClockDisplay;
class GameActions;
class QTimer;
class PlayerName;
class MoveList;
class QFrame;
class QLineEdit;
class QPushButton;
class StatusView;
class UserPanel;

class GameWindow : public BWindow<QWidget, GameWindowBase>
{
public:
    static constexpr int kWidth = 650;
    static constexpr int kHeight = 448;
    static constexpr int kMinHeight = 358;
    static constexpr int kMaxHeight = 3000;
    // The move list's column, right of the classic layout.
    static constexpr int kMoveListWidth = 190;

    // A game the user plays; `colour` (CGC_WHITE or CGC_BLACK) is the
    // user's side, shown at the bottom.
    GameWindow(const std::string& id, game* record, int32 colour);
    // A watched game: White at the bottom, nothing to drag; `moves` (move
    // texts separated by single blanks) is replayed, only the last move heard.
    GameWindow(const std::string& id, game* record, const std::string& moves);
    // A finished game from the archive, for review: not a game of the
    // server's any more, so the window neither registers nor sends anything.
    // `moves` are replayed up to the first one that cannot be played, and
    // a note then says so.
    GameWindow(const std::string& id, game* record, const std::vector<std::string>& moves,
               const PgnFacts& facts);
    ~GameWindow() override;

    // GameWindowBase
    std::string GameID() const override { return fGameID; }
    game* Game() const override { return fGame; }
    void MakeMove(char* move, bool sound) override;
    void SetStatus(const std::string& text) override;
    // Stores the result and shows it in the banner; a later result replaces
    // the banner's text rather than stacking a second banner over it.
    void SetWinner(const std::string& text) override;
    void SetWhoIsWinner(const std::string& who) override;
    void SetWhitePlayer(const std::string& name) override;
    void SetBlackPlayer(const std::string& name) override;
    void GameGone(const std::string& why) override;
    void ConnectionLost() override;
    bool WaitingToResume() const override { return fWaiting; }
    void Resume(const std::string& moves) override;
    void ResendMissed() override;
    void SetClocks(int64 whiteMs, int64 blackMs, int32 running) override;
    void DrawOfferChanged(int32 side, const std::string& what) override;
    void RematchChanged(int32 side, const std::string& what, const std::string& newId) override;
    // Shows `reason` in the banner unless the board has ended the game
    // already (its own words then stay); stops the clocks either way.
    void GameEnded(const std::string& reason, const std::string& who) override;
    // Counts the absent player's time to return down in the status line,
    // once a second, until the player is back or the game ends; the status
    // shown before comes back when the game ends first.
    void PlayerAway(const std::string& name, int32 seconds) override;

    // Turns the board round, the player panels with it.
    void FlipBoard();

    // Called by the board.
    void AlternateTurn();
    // Sends the user's move; `applied` when the board has made it already.
    // The last applied one is kept: if the connection goes before the
    // server has it, it goes again when the game is resumed.
    void SendMove(const std::string& move, bool applied);
    void MoveMade();
    // The board's promotion dialog has closed (a close of the window that
    // waited for it may now proceed).
    void PromotionEnded();

    int32 Turn() const { return fTurn; }
    std::string NameTurn() const;
    std::string Winner() const { return fWinner; }
    std::string WhoIsWinner() const { return fWhoIsWinner; }
    bool IsUserPlaying(const std::string& name) const;
    bool IsObserving() const { return fObserving; }
    // Both seats are taken (a premove may be queued).
    bool HasBothPlayers() const { return !fWhiteName.empty() && !fBlackName.empty(); }
    // True once the game can no longer be played here (GameGone).
    bool IsGone() const { return fGone; }
    // True while the game can be played here: not gone, not waiting for a
    // lost connection to come back.
    bool TakesMoves() const { return !fGone && !fWaiting; }
    int32 BlackStrength() const;
    int32 WhiteStrength() const;

    // The views, for the ones that draw from the window and for tests.
    ChessView* Board() const { return fBoard; }
    PlayerName* BlackPanel() const { return fBlackPanel; }
    PlayerName* WhitePanel() const { return fWhitePanel; }
    UserPanel* Chat() const { return fChat; }
    QLineEdit* ChatEntry() const;
    QPushButton* FlipButton() const { return fFlip; }
    StatusView* Status() const { return fStatus; }
    BubbleView* Announcement() const { return fAnnouncement; }
    MoveList* Moves() const { return fMoveList; }
    bool IsReview() const { return fReview; }

    // The game as PGN; copied to the clipboard, or saved to a file chosen
    // in a file dialog.
    std::string Pgn() const;
    void CopyPgn();
    void SavePgn();
    // The clocks (hidden until the server sends figures) and the player's
    // buttons (null for a watcher).
    ClockDisplay* WhiteClock() const { return fWhiteClock; }
    ClockDisplay* BlackClock() const { return fBlackClock; }
    GameActions* Actions() const { return fActions; }

    // MSG_GAME_CHAT for this game, MSG_SKIN_CHANGED, MSG_BOARD_FORWARD,
    // MSG_CONNECTION_RESET; every other message is ignored.
    void MessageReceived(BMessage* message) override;
    bool QuitRequested() override;
    // Closes without asking anything (a logout, a request of the program).
    void Quit() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Left, Right, Home and End step through the moves.
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    GameWindow(const std::string& id, game* record, bool observing, int32 boardColour,
               bool review = false);
    void _AddMoveList();
    void _SyncMoveList();
    bool _StepKey(int key);
    // Applies the moves of `moves` from the `from`-th on (counted from 0).
    void _ReplayMoves(const std::string& moves, size_t from = 0);
    void AnnounceWinner();
    void _UpdateWindowTitle();
    void _PlayersChanged(const std::string& name);
    void _LayOut();
    void _TickClocks();
    void _StopClocks();
    void _TickAway();
    // Ends the countdown; `restore` puts back the status shown before it.
    void _StopAway(bool restore);

    ChessView* fBoard = nullptr;
    QPushButton* fFlip = nullptr;
    QFrame* fBoardFrame = nullptr;
    StatusView* fStatus = nullptr;
    PlayerName* fBlackPanel = nullptr;
    PlayerName* fWhitePanel = nullptr;
    UserPanel* fChat = nullptr;
    QFrame* fChatFrame = nullptr;
    BubbleView* fAnnouncement = nullptr;
    MoveList* fMoveList = nullptr;
    std::string fLastMoveListed = "none";
    bool fReview = false;
    PgnFacts fFacts; // what a review knows of its game
    std::string fGameID;
    game* fGame;
    std::string fBlackName;
    std::string fWhiteName;
    int32 fTurn;
    bool fObserving;
    std::string fWinner;
    std::string fWhoIsWinner;
    QWidget* fBackground = nullptr;
    bool fCloseAfterPromotion = false;
    bool fGone = false;
    bool fWaiting = false;
    // Moves applied so far.
    int fPly = 0;
    // The user's last move applied here and sent, and the ply it made.
    std::string fMoveSent;
    int fPlySent = 0;
    // The speaker's reset count when the window was made.
    int32 fResetsAtStart;
    // The user's side; OBSERVER_COLOR for a watched game.
    int32 fColour;
    GameClock fClock;
    ClockDisplay* fWhiteClock = nullptr;
    ClockDisplay* fBlackClock = nullptr;
    QTimer* fClockTimer = nullptr;
    bool fLowTimeHeard = false;
    GameActions* fActions = nullptr;
    // The countdown of an absent player: who, until when, and the status
    // line it replaced.
    QTimer* fAwayTimer = nullptr;
    std::string fAwayName;
    std::chrono::steady_clock::time_point fAwayUntil;
    std::string fStatusBeforeAway;
    // Set once the window may close without asking about the game.
    bool fCloseWithoutAsking = false;
};
