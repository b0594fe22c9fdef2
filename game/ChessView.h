#pragma once
// The chess board of a game window: draws the board and pieces from the
// chosen skins at any square size, with the last move tinted and crossed by
// a red line, a king in check marked and the coordinates along the edges.
// The user moves one of their own pieces on their turn by dragging it or by
// clicking it and then its target; the picked-up piece's legal destinations
// (from the engine) are dotted. While the opponent is to move the user may
// queue one move (a premove), played the moment the opponent's move arrives
// if it is still legal. Every move (made here, received from the server or
// replayed) goes to the rules engine, whose verdict becomes a sound, a turn
// change or the end of the game in its window. A move made here is then
// sent to the server, whatever the local verdict; a refusal is explained in
// the window's status line.
//
// A widget of the GUI thread, owned by its game window. The engine record
// is not owned (the window owns it). MakeMove may open the promotion dialog
// and then runs a nested event loop until the user has chosen.

#include "kit/BMessage.h"
#include "kit/Types.h"

#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>
#include <string>
#include <vector>

class BoardSkin;

struct game;
class GameWindow;
class ChoosePromotionWindow;

// The board colour of a watched game: White at the bottom, nothing can be dragged.
constexpr int32 OBSERVER_COLOR = 89723;

class ChessView : public QWidget
{
public:
    // The classic square size, and the smallest one.
    static constexpr int kCellSize = 40;
    static constexpr int kBoardSize = 8 * kCellSize;

    // Texts of the status line when a move of the user's is refused.
    static constexpr const char* kNotLegal = "That move is not legal.";
    static constexpr const char* kNotYourTurn = "It is not your turn.";
    static constexpr const char* kNotYours = "That piece is not yours.";
    static constexpr const char* kPremoveDropped = "Premove dropped: no longer legal.";

    // `colour` is the user's side (CGC_WHITE, CGC_BLACK) or OBSERVER_COLOR.
    // Images are loaded when the view is first shown, or by ResetSkin().
    ChessView(const QRect& frame, game* record, int32 colour, QWidget* parent = nullptr);
    ~ChessView() override;

    // Loads the images of the current board and piece skins, reads whether
    // coordinates are shown, and redraws.
    void ResetSkin();

    // Squares of `cell` pixels (at least kCellSize); the view resizes to
    // eight of them.
    void SetCellSize(int cell);
    int CellSize() const { return fCell; }

    // Turns the board round (for this game only).
    void Flip();
    bool IsFlipped() const { return fFlipped; }

    // Drops the picked-up piece and the queued premove.
    void CancelPickUp();

    // Hands a move to the engine and acts on its verdict. `move` is a
    // writable buffer of at least 8 bytes; castling texts are rewritten to
    // coordinates, and a promotion chosen by the user is added as the fifth
    // character. `sound` false keeps this move silent. Returns true when the
    // move text is to be sent to the server (refused moves included), false
    // only when the user closed the promotion dialog without a choice: the
    // move is then abandoned.
    bool MakeMove(char* move, bool sound);

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
    // Whether the piece under the point has a picture (null when not);
    // the pointer itself is only good until the next skin change.
    const QPixmap* PointToBitmap(QPoint point) const;
    // Writes the four-character move text (unterminated) into `out`.
    void PointsToMove(QPoint from, QPoint to, char* out) const;

    // Screen cells of the last move (-1 before the first one) and of the
    // piece being dragged (-1 when none is). Screen cells stay in the
    // classic numbering, 8 x row + column from the top left, at every size.
    int32 LastFrom() const { return fLastFrom; }
    int32 LastTo() const { return fLastTo; }
    int32 DragBox() const { return fDragBox; }
    int32 Color() const { return fColor; }
    // The screen cells marked as legal destinations of the picked-up piece,
    // and the premove's text ("E2E4"), empty when none is queued.
    std::vector<int32> Hints() const;
    bool HasPickedUp() const { return fSelected != -1; }
    std::string Premove() const;

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
    void keyPressEvent(QKeyEvent* event) override;

private:
    int32 _ReverseBox(int32 box) const { return 63 - box; }
    int32 _PointToBox(QPoint point) const;
    int32 _PositionToBox(const char* text) const;
    QPoint _BoxToPoint(int32 box) const;
    QRect _BoxToSquare(int32 box) const;
    char _BoxToPiece(int32 box) const;
    const QPixmap* _BoxToBitmap(int32 box) const;
    void _BoxToPosition(int32 box, char* out) const;
    void _SetLastMove(const char* move);
    // Screen cell <-> board index; the same mapping both ways.
    int32 _Flip(int32 cell) const;
    char _ChoosePromotion(int32 side);
    // Hands a move of the user's to the engine and sends it.
    void _Drop(char* move);
    int32 _Strength(bool white) const;
    // The square (board index) a point lies on, -1 off the board.
    int32 _BoxAt(QPoint point) const;
    // The cell under a point in the screen numbering, -1 off the board.
    int32 _CellAt(QPoint point) const;
    bool _IsOwnPiece(char letter) const;
    void _Select(int32 box);
    void _Attempt(int32 from, int32 to);
    void _PlayPremove();
    void _Note(const char* text);
    void _DrawMarks(QPainter& painter, const char* board);
    void _DrawCoordinates(QPainter& painter);
    // A piece's picture at the current size: rendered for it, or the last
    // rendered one scaled while the size is changing.
    void _DrawPiece(QPainter& painter, int index, const QRect& square);

    game* fGame;
    int32 fColor;
    int32 fDragBox = -1;
    int32 fLastFrom = -1;
    int32 fLastTo = -1;
    int fCell = kCellSize;
    // Runs while the size keeps changing: meanwhile the pictures of the
    // last size are drawn scaled, and rendered afresh once it stops.
    QTimer fSharpen;
    bool fFlipped = false;
    std::unique_ptr<BoardSkin> fSkin;
    bool fSkinLoaded = false;
    bool fCoordinates = true;
    // The king of the side to move is in check after the last applied move.
    bool fInCheck = false;
    // The picked-up piece (board index, -1 when none), whether it was
    // already picked up before this press, and its legal destinations.
    int32 fSelected = -1;
    bool fWasSelected = false;
    std::vector<int32> fHints;
    // The queued premove (board indices), -1 when none.
    int32 fPremoveFrom = -1;
    int32 fPremoveTo = -1;
    bool fPremovePending = false;
    int fLastResult = 0;
    bool fNoteShown = false;

    QPoint fDragOrigin;
    QPoint fDragPosition;
    QPoint fDragOffset;
    QPointer<ChoosePromotionWindow> fPromotion;
    int64 fPaintCount = 0;
};
