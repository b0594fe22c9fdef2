#pragma once
// The panel of one player beside the board: the name in large bold letters
// (smaller for a name too long to fit between the markers) in the player's
// colours, the side's material ("Strength: %d"), a turn
// marker while that side is to move and, once the game is over, a winner
// marker; the winner's panel (both after a draw or an abort) then blinks
// by swapping its colours every half second until the panel goes.
//
// A widget of the GUI thread; the game window owns it as a child. The name
// is drawn as plain text. Outside a game window it draws its name and
// colours only.

#include "kit/Types.h"

#include <QImage>
#include <QWidget>

#include <string>

class GameWindow;
class QTimer;

class PlayerName : public QWidget
{
public:
    // `colour` is the panel's side, CGC_WHITE or CGC_BLACK.
    PlayerName(const QRect& frame, const std::string& text, int32 colour,
               QWidget* parent = nullptr);
    ~PlayerName() override;

    void SetText(const std::string& text);
    std::string Text() const;

    int32 Color() const { return fColor; }
    // The colour the panel is drawn in now; toggled while blinking.
    int32 ShownColor() const { return fShownColor; }
    bool IsBlinking() const;

    // Starts blinking unless the panel blinks already (a panel never runs
    // two blinkers, however often a result is reported).
    void WinnerDeclared();

    // The game window that holds the panel, or null.
    GameWindow* GameInfo() const;

    // What the panel shows now, as worked out for the next drawing.
    bool ShowsTurnMarker() const;
    bool ShowsWinnerMarker() const;

    // `text` for display: control characters (which could break a line or
    // confuse the window system) shown as blanks.
    static QString PlainText(const std::string& text);

    // The blinking period in milliseconds.
    static constexpr int kBlinkInterval = 500;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void _Blink();
    // Picks the largest name font, up to the full size, in which the name
    // fits between the markers.
    void _FitName();
    static void _LoadClassImages();

    QColor fBackColor;
    QColor fForeColor;
    int32 fColor;
    int32 fShownColor;
    QTimer* fBlinkTimer = nullptr;
    QString fText;
    QFont fNameFont;

    // Shared by every panel, loaded by the first one and kept for the run.
    static QImage sGoodEndingImage;
    static QImage sTurnImage;
};
