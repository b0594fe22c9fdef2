#pragma once
// The modal dialog that creates a game on the server: a free-text
// description, the time control (when the server keeps clocks; untimed
// unless chosen) and the colour the user wants to play. A rook button sends
// the MAKE line and counts one more game started by the user; "Nevermind"
// only closes. No window opens here: the game window opens when the server
// reports the new game.
//
// GUI thread only; shown with Show(), it deletes itself when it closes.

#include "kit/Types.h"
#include "widgets/BWindow.h"

#include <QDialog>

class BitmapButton;
class QComboBox;
class QLineEdit;
class QPushButton;

class ChooseColorWindow : public BWindow<QDialog>
{
public:
    explicit ChooseColorWindow(QWidget* parent = nullptr);
    ~ChooseColorWindow() override;

    // MSG_CHOOSE_BLACK, MSG_CHOOSE_WHITE and MSG_DIALOG_CANCEL; every other
    // message is ignored.
    void MessageReceived(BMessage* message) override;

    // Sends the MAKE line (MAKETIMED for a timed game) for `colour` (0 Black,
    // 1 White, the wire's numbers) with the description as typed, and counts
    // the game as started.
    void CreateGame(int32 colour);

private:
    QLineEdit* fDescription;
    BitmapButton* fBlackButton;
    BitmapButton* fWhiteButton;
    QPushButton* fCancelButton;
    QWidget* fBackground;
    QComboBox* fTimeControl = nullptr;
};
