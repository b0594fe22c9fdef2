#pragma once
// The move list of a game window: the moves in standard algebraic notation
// as numbered pairs, the latest one marked, scrolled along as the game goes
// on. Clicking a move, the step buttons or the keys the window passes on
// (Left, Right, Home, End) choose the position shown on the board; while an
// earlier one is shown a marker says so, and a move that arrives meanwhile
// is signalled without moving the view. "Back to game" (or End) returns.
//
// A widget of the GUI thread. It follows the game on a record of its own
// and builds the earlier positions it shows on another; both are owned.

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

struct game;
class QLabel;
class QPushButton;
class QTableWidget;

class MoveList : public QWidget
{
public:
    explicit MoveList(QWidget* parent = nullptr);
    ~MoveList() override;

    // Records a move the game's record has just applied, as its move text
    // (E2E4, E1G1, E7E8Q). A text this list's own record refuses is left out
    // and false returned.
    bool AddMove(const std::string& move);

    int Count() const { return static_cast<int>(fMoves.size()); }
    // The move texts and their standard algebraic notation, in order.
    const std::vector<std::string>& Moves() const { return fMoves; }
    const std::vector<std::string>& Sans() const { return fSans; }

    // Plies played in the position shown: Count() while the game is shown.
    int Shown() const { return fShown; }
    bool IsLive() const { return fShown == Count(); }
    // Shows the position after `ply` plies (clamped); Count() is the game.
    void ShowPly(int ply);
    void StepBack() { ShowPly(fShown - 1); }
    void StepForward() { ShowPly(fShown + 1); }
    void ShowStart() { ShowPly(0); }
    void ShowGame() { ShowPly(Count()); }

    // Called whenever the position shown changes: with the record of an
    // earlier position (owned by the list, good until the next call), or
    // null when the game itself is shown again.
    void SetShowHandler(std::function<void(game*)> handler) { fOnShow = std::move(handler); }

    // A note under the list, for what the window wants said about the
    // moves (a record that could not be read to its end).
    void SetNote(const std::string& text);

    QTableWidget* Table() const { return fTable; }
    QLabel* Marker() const { return fMarker; }

private:
    void _CellClicked(int row, int column);
    void _Refresh();

    QTableWidget* fTable = nullptr;
    QLabel* fMarker = nullptr;
    QLabel* fNote = nullptr;
    QPushButton* fBackToGame = nullptr;
    game* fFollower = nullptr; // the game as played so far
    game* fEarlier = nullptr;  // the earlier position shown, when one is
    std::vector<std::string> fMoves;
    std::vector<std::string> fSans;
    int fShown = 0;
    bool fMissed = false; // moves came while an earlier position was shown
    std::function<void(game*)> fOnShow;
};
