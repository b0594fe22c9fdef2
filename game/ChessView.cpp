#include "game/ChessView.h"

#include "app/AppLocation.h"
#include "app/MessageCodes.h"
#include "cgc/cgc.h"
#include "game/ChoosePromotionWindow.h"
#include "game/GameWindow.h"
#include "game/SoundSystem.h"
#include "net/ClientLines.h"
#include "net/SpeakerLink.h"
#include "xml/UserSettings.h"

#include <QMouseEvent>
#include <QPainter>

#include <cstring>

namespace {

const char* const kPieceFiles[12] = {"/white-pawn.png",   "/white-rook.png",  "/white-knight.png",
                                     "/white-bishop.png", "/white-queen.png", "/white-king.png",
                                     "/black-pawn.png",   "/black-rook.png",  "/black-knight.png",
                                     "/black-bishop.png", "/black-queen.png", "/black-king.png"};

// Board-text letters in the order of the piece images.
const char kPieceLetters[] = "PRNBQKprnbqk";

QImage LoadImage(const std::string& relative)
{
    QImage image(QString::fromStdString(AppLocation::Instance()->AbsolutePath(relative)));
    if (!image.isNull())
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    return image;
}

std::string Skin(const char* key)
{
    std::optional<std::string> skin = UserSettings::Instance()->Data(key);
    return skin ? *skin : std::string("Standard");
}

} // namespace

ChessView::ChessView(const QRect& frame, game* record, int32 colour, QWidget* parent)
    : QWidget(parent), fGame(record), fColor(colour)
{
    setGeometry(frame);
    // The view paints every pixel it owns itself; Qt's backing store gives
    // the flicker-free update that the off-screen bitmap gave.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

ChessView::~ChessView()
{
    AbandonPromotion();
}

void ChessView::showEvent(QShowEvent* event)
{
    if (!fSkinLoaded)
        ResetSkin();
    QWidget::showEvent(event);
}

void ChessView::ResetSkin()
{
    fSkinLoaded = true;
    const std::string pieces = "resources/chess-sets/pieces/" + Skin("pieces-skin");
    for (int i = 0; i < 12; ++i)
        fPieceImages[i] = LoadImage(pieces + kPieceFiles[i]);
    fBoardImage = LoadImage("resources/chess-sets/boards/" + Skin("board-skin") + "/320x320.png");
    update();
}

GameWindow* ChessView::GameInfo() const
{
    return dynamic_cast<GameWindow*>(window());
}

// --- conversions ---

int32 ChessView::_Flip(int32 cell) const
{
    return fColor == CGC_BLACK ? _ReverseBox(cell) : cell;
}

int32 ChessView::_PointToBox(QPoint point) const
{
    int32 column = point.x() / kCellSize;
    int32 row = point.y() / kCellSize;
    return _Flip(column + 8 * row);
}

int32 ChessView::_PositionToBox(const char* text) const
{
    int32 file = 0;
    int32 rank = 8;
    if (text[0] >= 'A' && text[0] <= 'H')
        file = text[0] - 'A';
    if (text[1] >= '1' && text[1] <= '8')
        rank = text[1] - '0';
    return _Flip(8 * (8 - rank) + file);
}

QPoint ChessView::_BoxToPoint(int32 box) const
{
    return QPoint(kCellSize * (box % 8), kCellSize * (box / 8));
}

QRect ChessView::_BoxToSquare(int32 box) const
{
    return QRect(_BoxToPoint(box), QSize(kCellSize, kCellSize));
}

char ChessView::_BoxToPiece(int32 box) const
{
    if (box < 0 || box > 63 || fGame == nullptr)
        return '-';
    char board[CGC_BOARD_TEXT_LENGTH + 1];
    cgc_getboard(fGame, board);
    return board[box + box / 8];
}

const QImage* ChessView::_BoxToBitmap(int32 box) const
{
    const char* letter = std::strchr(kPieceLetters, _BoxToPiece(box));
    if (letter == nullptr || *letter == '\0')
        return nullptr;
    const QImage& image = fPieceImages[letter - kPieceLetters];
    return image.isNull() ? nullptr : &image;
}

void ChessView::_BoxToPosition(int32 box, char* out) const
{
    out[0] = static_cast<char>('A' + box % 8);
    out[1] = static_cast<char>('8' - box / 8);
}

void ChessView::_SetLastMove(const char* move)
{
    fLastFrom = _PositionToBox(move);
    fLastTo = _PositionToBox(move + 2);
}

QRect ChessView::PointToSquare(QPoint point) const
{
    return _BoxToSquare(point.x() / kCellSize + 8 * (point.y() / kCellSize));
}

char ChessView::PointToPiece(QPoint point) const
{
    return _BoxToPiece(_PointToBox(point));
}

const QImage* ChessView::PointToBitmap(QPoint point) const
{
    return _BoxToBitmap(_PointToBox(point));
}

void ChessView::PointsToMove(QPoint from, QPoint to, char* out) const
{
    _BoxToPosition(_PointToBox(from), out);
    _BoxToPosition(_PointToBox(to), out + 2);
}

// --- material ---

int32 ChessView::_Strength(bool white) const
{
    if (fGame == nullptr)
        return 0;
    char board[CGC_BOARD_TEXT_LENGTH + 1];
    cgc_getboard(fGame, board);
    int32 strength = 0;
    for (int i = 0; i < CGC_BOARD_TEXT_LENGTH; ++i) {
        char c = board[i];
        bool isWhite = c >= 'A' && c <= 'Z';
        bool isBlack = c >= 'a' && c <= 'z';
        if ((white && !isWhite) || (!white && !isBlack))
            continue;
        switch (c | 0x20) {
        case 'p':
            strength += 1;
            break;
        case 'n':
        case 'b':
            strength += 3;
            break;
        case 'r':
            strength += 5;
            break;
        case 'q':
            strength += 9;
            break;
        default:
            break;
        }
    }
    return strength;
}

int32 ChessView::BlackStrength() const
{
    return _Strength(false);
}

int32 ChessView::WhiteStrength() const
{
    return _Strength(true);
}

// --- drawing ---

void ChessView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Always the whole board: a move changes squares all over it.
    if (fBoardImage.isNull())
        painter.fillRect(rect(), palette().window());
    else
        painter.drawImage(0, 0, fBoardImage);

    if (fLastFrom != -1 && fLastTo != -1) {
        QPen pen(QColor(255, 0, 0, 255));
        pen.setWidthF(2.5);
        painter.setPen(pen);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPoint centre(kCellSize / 2, kCellSize / 2);
        painter.drawLine(_BoxToPoint(fLastFrom) + centre, _BoxToPoint(fLastTo) + centre);
        painter.setRenderHint(QPainter::Antialiasing, false);
    }

    // One look at the board text serves all 64 cells.
    char board[CGC_BOARD_TEXT_LENGTH + 1];
    if (fGame != nullptr)
        cgc_getboard(fGame, board);
    else
        std::memset(board, '-', sizeof(board));
    for (int32 cell = 0; cell < 64; ++cell) {
        if (cell == fDragBox)
            continue;
        int32 box = _Flip(cell);
        const char* letter = std::strchr(kPieceLetters, board[box + box / 8]);
        if (letter == nullptr || *letter == '\0')
            continue;
        const QImage& image = fPieceImages[letter - kPieceLetters];
        if (!image.isNull())
            painter.drawImage(_BoxToPoint(cell), image);
    }

    // The dragged piece follows the pointer, held where it was grabbed.
    if (fDragBox != -1) {
        if (const QImage* image = _BoxToBitmap(_Flip(fDragBox)))
            painter.drawImage(fDragPosition - fDragOffset, *image);
    }
    ++fPaintCount;
}

// --- dragging ---

void ChessView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // A press while a drag is under way means its release was lost (another
    // window took the pointer): that piece goes home first.
    if (fDragBox != -1) {
        fDragBox = -1;
        update();
    }
    const QPoint point = event->position().toPoint();
    if (!rect().contains(point))
        return;
    GameWindow* window = GameInfo();
    if (window == nullptr || fColor != window->Turn())
        return;
    const char piece = PointToPiece(point);
    if (piece == '-' || PointToBitmap(point) == nullptr)
        return;
    if (!window->Winner().empty() || !window->TakesMoves())
        return;
    const bool white = piece >= 'A' && piece <= 'Z';
    if ((fColor == CGC_BLACK && white) || (fColor == CGC_WHITE && !white))
        return;

    fDragBox = point.x() / kCellSize + 8 * (point.y() / kCellSize);
    fDragOrigin = point;
    fDragPosition = point;
    fDragOffset = QPoint(point.x() % kCellSize, point.y() % kCellSize);
    update();
}

void ChessView::mouseMoveEvent(QMouseEvent* event)
{
    if (fDragBox == -1)
        return;
    fDragPosition = event->position().toPoint();
    update();
}

void ChessView::mouseReleaseEvent(QMouseEvent* event)
{
    if (fDragBox == -1 || event->button() != Qt::LeftButton)
        return;
    const QPoint point = event->position().toPoint();
    const int32 originCell = fDragBox;
    fDragBox = -1;
    update();
    // Off the board, or back on its own square, the piece just goes home.
    if (!rect().contains(point))
        return;
    if (point.x() / kCellSize + 8 * (point.y() / kCellSize) == originCell)
        return;
    BMessage drop(MSG_PIECE_DRAG);
    drop.AddPoint("click_location", BPoint{float(fDragOrigin.x()), float(fDragOrigin.y())});
    drop.AddPoint("_drop_point_", BPoint{float(point.x()), float(point.y())});
    MessageReceived(&drop);
}

void ChessView::MessageReceived(BMessage* message)
{
    if (message->what != MSG_PIECE_DRAG)
        return;
    BPoint from, to;
    if (!message->FindPoint("click_location", &from) || !message->FindPoint("_drop_point_", &to))
        return;
    fDragBox = -1;
    const QPoint fromPoint(int(from.x), int(from.y));
    const QPoint toPoint(int(to.x), int(to.y));
    if (!rect().contains(fromPoint) || !rect().contains(toPoint))
        return;
    _Drop(fromPoint, toPoint);
}

void ChessView::_Drop(QPoint from, QPoint to)
{
    // A game that has gone takes no more moves, however the drop came.
    if (GameWindow* window = GameInfo(); window != nullptr && !window->TakesMoves())
        return;
    char move[8] = {};
    PointsToMove(from, to, move);
    QPointer<ChessView> self(this);
    if (!MakeMove(move, true) || self.isNull())
        return;
    if (GameWindow* window = GameInfo())
        Speaker().PostLine(ClientLines::Move(window->GameID(), move));
}

// --- moves ---

bool ChessView::MakeMove(char* move, bool sound)
{
    const int result = cgc_make_move(fGame, move);
    SoundSystem* sounds = SoundSystem::Instance();
    GameWindow* window = GameInfo();

    auto endGame = [&](const char* who, const char* text) {
        if (window == nullptr)
            return;
        window->SetWhoIsWinner(who);
        window->SetWinner(text);
    };

    switch (result) {
    case CGC_MOVE_OK:
    case CGC_CHECK:
        if (result == CGC_CHECK)
            sounds->PlayCheck(sound);
        else
            sounds->PlayPieceMoved(sound);
        _SetLastMove(move);
        if (window != nullptr)
            window->AlternateTurn();
        break;
    case CGC_MATE:
        sounds->PlayCheckmate(sound);
        _SetLastMove(move);
        // The turn stays with the mover, who is the winner.
        if (window != nullptr) {
            window->SetWhoIsWinner(window->NameTurn());
            window->SetWinner(window->Turn() == CGC_BLACK ? "Black Mates." : "White Mates.");
        }
        break;
    case CGC_STALEMATE:
        sounds->PlayDraw(sound);
        _SetLastMove(move);
        endGame("draw", "Stalemate.");
        break;
    case CGC_DRAW_FIFTY:
        sounds->PlayDraw(sound);
        _SetLastMove(move);
        endGame("draw", "Draw. 50-Move Rule.");
        break;
    case CGC_DRAW_REPETITION:
        sounds->PlayDraw(sound);
        _SetLastMove(move);
        endGame("draw", "Draw. Position Repeated Three Times.");
        break;
    case CGC_DRAW_MATERIAL:
        sounds->PlayDraw(sound);
        _SetLastMove(move);
        endGame("draw", "Draw. Insufficient Mating Material.");
        break;
    case CGC_NEED_PROMOTION: {
        // The engine has not applied the move: the five-character text goes
        // to the server, and the record takes the move when the server
        // reports it.
        const int32 side = window != nullptr ? window->Turn() : fGame->turn;
        QPointer<ChessView> self(this);
        const char letter = _ChoosePromotion(side);
        if (self.isNull())
            return false;
        if (window != nullptr)
            window->PromotionEnded();
        if (letter == 0) {
            update();
            return false;
        }
        move[4] = letter;
        move[5] = '\0';
        break;
    }
    default:
        break;
    }

    update();
    if (window != nullptr)
        window->MoveMade();
    return true;
}

char ChessView::_ChoosePromotion(int32 side)
{
    QPointer<ChoosePromotionWindow> dialog = new ChoosePromotionWindow(side, window());
    fPromotion = dialog;
    dialog->exec();
    char letter = 0;
    if (!dialog.isNull()) {
        letter = dialog->Result();
        delete dialog.data();
    }
    return letter;
}

void ChessView::AbandonPromotion()
{
    if (!fPromotion.isNull())
        fPromotion->reject();
}
