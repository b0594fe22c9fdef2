#pragma once
// The chess board of a game window: draws the board and pieces from the
// chosen skins with a red line over the last move, lets the user drag one
// of their own pieces on their turn, and hands every move (dropped, received
// from the server or replayed) to the rules engine, turning its verdict into
// a sound, a turn change or the end of the game in its window. A dropped
// move is then sent to the server, whatever the local verdict.
//
// A widget of the GUI thread, owned by its game window. The engine record
// is not owned (the window owns it). MakeMove may open the promotion dialog
// and then runs a nested event loop until the user has chosen.

#include "kit/BMessage.h"
#include "kit/Types.h"

#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <array>
#include <string>

struct game;
class GameWindow;
class ChoosePromotionWindow;

// The board colour of a watched game: White at the bottom, nothing can be dragged.
constexpr int32 OBSERVER_COLOR = 89723;

class ChessView : public QWidget
{
public:
    static constexpr int kCellSize = 40;
    static constexpr int kBoardSize = 8 * kCellSize;

    // `colour` is the user's side (CGC_WHITE, CGC_BLACK) or OBSERVER_COLOR.
    // Images are loaded when the view is first shown, or by ResetSkin().
    ChessView(const QRect& frame, game* record, int32 colour, QWidget* parent = nullptr);
    ~ChessView() override;

    // Loads the images of the current board and piece skins and redraws.
    void ResetSkin();

    // Hands a move to the engine and acts on its verdict. `move` is a
    // writable buffer of at least 8 bytes; castling texts are rewritten to
    // coordinates, and a promotion chosen by the user is added as the fifth
    // character. `sound` false keeps this move silent. Returns true when the
    // move text is to be sent to the server (refused moves included), false
    // only when the user closed the promotion dialog without a choice: the
    // move is then abandoned.
    bool MakeMove(char* move, bool sound);

    // Draws `shown` (an earlier position of the game, not owned) instead of
    // the game's record and takes no move while it is set; null returns to
    // the game. Moves still go into the game's record meanwhile.
    void ShowEarlier(game* shown);
    bool IsShowingEarlier() const { return fShown != nullptr; }

    // Material of one side: pawn 1, knight 3, bishop 3, rook 5, queen 9.
    int32 BlackStrength() const;
    int32 WhiteStrength() const;

    // The game window holding the view, or null.
    GameWindow* GameInfo() const;

    // MSG_PIECE_DRAG with the points "click_location" and "_drop_point_"
    // (view coordinates) makes the drop; every other message is ignored.
    void MessageReceived(BMessage* message);

    // Conversions; points are in view coordinates.
    QRect PointToSquare(QPoint point) const;
    char PointToPiece(QPoint point) const;
    const QImage* PointToBitmap(QPoint point) const;
    // Writes the four-character move text (unterminated) into `out`.
    void PointsToMove(QPoint from, QPoint to, char* out) const;

    // Screen cells of the last move (-1 before the first one) and of the
    // piece being dragged (-1 when none is).
    int32 LastFrom() const { return fLastFrom; }
    int32 LastTo() const { return fLastTo; }
    int32 DragBox() const { return fDragBox; }
    int32 Color() const { return fColor; }

    // True while the promotion dialog is open; AbandonPromotion() closes it
    // without a choice (the move is then abandoned).
    bool IsChoosingPromotion() const { return !fPromotion.isNull(); }
    void AbandonPromotion();

    // Number of completed paints (for the benchmark's latency figure).
    int64 PaintCount() const { return fPaintCount; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int32 _ReverseBox(int32 box) const { return 63 - box; }
    int32 _PointToBox(QPoint point) const;
    int32 _PositionToBox(const char* text) const;
    QPoint _BoxToPoint(int32 box) const;
    QRect _BoxToSquare(int32 box) const;
    char _BoxToPiece(int32 box) const;
    const QImage* _BoxToBitmap(int32 box) const;
    void _BoxToPosition(int32 box, char* out) const;
    void _SetLastMove(const char* move);
    // Screen cell <-> board index; the same mapping both ways.
    int32 _Flip(int32 cell) const;
    char _ChoosePromotion(int32 side);
    void _Drop(QPoint from, QPoint to);
    int32 _Strength(bool white) const;

    game* fGame;
    game* fShown = nullptr;
    int32 fColor;
    int32 fDragBox = -1;
    int32 fLastFrom = -1;
    int32 fLastTo = -1;
    // White pawn, rook, knight, bishop, queen, king, then the black ones;
    // a null image when its file is missing or cannot be decoded.
    std::array<QImage, 12> fPieceImages;
    QImage fBoardImage;
    bool fSkinLoaded = false;

    QPoint fDragOrigin;
    QPoint fDragPosition;
    QPoint fDragOffset;
    QPointer<ChoosePromotionWindow> fPromotion;
    int64 fPaintCount = 0;
};
