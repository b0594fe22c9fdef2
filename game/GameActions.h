#pragma once
// The buttons with which a player ends a game or asks for the next one:
// Resign (after a confirmation), Offer draw (Accept and Decline instead
// when the opponent offers one), Abort while neither side has moved twice
// in all (before each side's first move), and Rematch once the game is
// over. Each appears only when the server supports its lines. A watcher's
// window has none.
//
// The buttons are children of the game window's background, in two rows
// between the player panels; the window tells them what happens in the
// game. Sends its lines through the SpeakerLink. GUI thread only; owned by
// the game window.

#include "kit/Types.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QWidget;

class GameActions : public QObject
{
public:
    // `colour` is the user's side, CGC_WHITE or CGC_BLACK.
    GameActions(const std::string& gameId, int32 colour, QWidget* parent);

    // Puts the two rows between the panels.
    void Place(const QRect& upperPanel, const QRect& lowerPanel);

    // What happens in the game.
    void Started();
    void MovePlayed(int32 side);
    void DrawOfferChanged(int32 side, const std::string& what);
    void RematchChanged(int32 side, const std::string& what, const std::string& newId);
    void Over();
    void Gone();
    // While the connection is away nothing can reach the server: the
    // buttons stay where they are but take no press.
    void SetWaiting(bool waiting);

    // Both seats taken, and neither over nor gone.
    bool IsRunning() const;
    // Leaving now would lose the game: it runs, each side has moved, and the
    // server takes a resignation.
    bool LeavingLoses() const;

    // Asks "Resign this game?"; on yes sends RESIGN and then runs `then`
    // (may be empty). The question is window-modal and does not block.
    void AskToResign(std::function<void()> then);
    // The open question, or null.
    QMessageBox* Question() const { return fQuestion; }

    // The buttons by object name (resign, draw, abort, accept, decline,
    // rematch), and the note beside Accept and Decline.
    QPushButton* Button(const QString& name) const;
    QString Note() const;

private:
    void _Send(const std::string& line);
    void _Answer(bool accept);
    void _Refresh();

    std::string fGameID;
    int32 fColour;
    QWidget* fUpperRow;
    QWidget* fLowerRow;
    QPushButton* fResign;
    QPushButton* fDraw;
    QPushButton* fAbort;
    QPushButton* fRematch;
    QPushButton* fAccept;
    QPushButton* fDecline;
    QLabel* fNote;
    QPointer<QMessageBox> fQuestion;

    bool fStarted = false;
    bool fOver = false;
    bool fGone = false;
    int fPlies = 0;
    bool fDrawByMe = false;
    bool fDrawToMe = false;
    bool fRematchByMe = false;
    bool fRematchToMe = false;
    std::string fRematchId;
};
