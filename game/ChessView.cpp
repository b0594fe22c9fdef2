#include "game/ChessView.h"

#include "app/AppLocation.h"
#include "app/MessageCodes.h"
#include "cgc/cgc.h"
#include "game/BoardSkin.h"
#include "game/ChoosePromotionWindow.h"
#include "game/GameWindow.h"
#include "game/SoundSystem.h"
#include "net/ClientLines.h"
#include "net/SpeakerLink.h"
#include "xml/UserSettings.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cstring>

namespace {

// Board-text letters in the order of the piece images.
const char kPieceLetters[] = "PRNBQKprnbqk";

std::string Skin(const char* key)
{
    std::optional<std::string> skin = UserSettings::Instance()->Data(key);
    return skin ? *skin : std::string("Standard");
}

int PieceIndex(char letter)
{
    const char* found = letter == '\0' ? nullptr : std::strchr(kPieceLetters, letter);
    return found == nullptr ? -1 : static_cast<int>(found - kPieceLetters);
}

// Board index <-> the engine's files and ranks (rank 0 is White's back rank).
int32 BoxOf(int file, int rank)
{
    return 8 * (7 - rank) + file;
}

const QColor kLastMoveTint(255, 214, 10, 90);
const QColor kSelectedTint(20, 140, 60, 110);
const QColor kPremoveTint(40, 90, 220, 120);
const QColor kHintColour(0, 0, 0, 60);

} // namespace

ChessView::ChessView(const QRect& frame, game* record, int32 colour, QWidget* parent)
    : QWidget(parent), fGame(record), fColor(colour), fSkin(std::make_unique<BoardSkin>())
{
    setGeometry(frame);
    // The view paints every pixel it owns itself; Qt's backing store gives
    // the flicker-free update that the off-screen bitmap gave.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A click on the board takes the keys for F and Escape; typing goes on
    // in the chat (keyPressEvent).
    setFocusPolicy(Qt::ClickFocus);
    fSharpen.setSingleShot(true);
    fSharpen.setInterval(150);
    connect(&fSharpen, &QTimer::timeout, this, qOverload<>(&QWidget::update));
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
    AppLocation* location = AppLocation::Instance();
    fSkin->Load(location->AbsolutePath("resources/chess-sets/boards/" + Skin("board-skin")),
                location->AbsolutePath("resources/chess-sets/pieces/" + Skin("pieces-skin")));
    std::optional<std::string> coordinates = UserSettings::Instance()->Data("coordinates");
    fCoordinates = !coordinates || *coordinates != "off";
    update();
}

void ChessView::SetCellSize(int cell)
{
    cell = std::max(cell, int(kCellSize));
    // Rendering every picture afresh at each step of a window drag would
    // make the drag stutter.
    if (cell != fCell && fSkin->RenderedCell() != 0)
        fSharpen.start();
    fCell = cell;
    resize(8 * fCell, 8 * fCell);
    update();
}

void ChessView::Flip()
{
    fFlipped = !fFlipped;
    fLastFrom = fLastFrom == -1 ? -1 : _ReverseBox(fLastFrom);
    fLastTo = fLastTo == -1 ? -1 : _ReverseBox(fLastTo);
    if (fDragBox != -1) {
        fDragBox = -1;
        fSelected = -1;
        fHints.clear();
    }
    update();
}

void ChessView::CancelPickUp()
{
    fDragBox = -1;
    fSelected = -1;
    fHints.clear();
    fPremoveFrom = fPremoveTo = -1;
    update();
}

GameWindow* ChessView::GameInfo() const
{
    return dynamic_cast<GameWindow*>(window());
}

std::vector<int32> ChessView::Hints() const
{
    std::vector<int32> cells;
    for (int32 box : fHints)
        cells.push_back(_Flip(box));
    return cells;
}

std::string ChessView::Premove() const
{
    if (fPremoveFrom == -1)
        return std::string();
    char text[5] = {};
    _BoxToPosition(fPremoveFrom, text);
    _BoxToPosition(fPremoveTo, text + 2);
    return text;
}

// --- conversions ---

int32 ChessView::_Flip(int32 cell) const
{
    return (fColor == CGC_BLACK) != fFlipped ? _ReverseBox(cell) : cell;
}

int32 ChessView::_CellAt(QPoint point) const
{
    if (point.x() < 0 || point.y() < 0 || point.x() >= 8 * fCell || point.y() >= 8 * fCell)
        return -1;
    return point.x() / fCell + 8 * (point.y() / fCell);
}

int32 ChessView::_BoxAt(QPoint point) const
{
    const int32 cell = _CellAt(point);
    return cell == -1 ? -1 : _Flip(cell);
}

int32 ChessView::_PointToBox(QPoint point) const
{
    int32 column = point.x() / fCell;
    int32 row = point.y() / fCell;
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
    return QPoint(fCell * (box % 8), fCell * (box / 8));
}

QRect ChessView::_BoxToSquare(int32 box) const
{
    return QRect(_BoxToPoint(box), QSize(fCell, fCell));
}

char ChessView::_BoxToPiece(int32 box) const
{
    if (box < 0 || box > 63 || fGame == nullptr)
        return '-';
    char board[CGC_BOARD_TEXT_LENGTH + 1];
    cgc_getboard(fGame, board);
    return board[box + box / 8];
}

const QPixmap* ChessView::_BoxToBitmap(int32 box) const
{
    const int index = PieceIndex(_BoxToPiece(box));
    if (index < 0 || !fSkin->HasPiece(index))
        return nullptr;
    const QPixmap& pixmap = fSkin->Piece(index, fCell, devicePixelRatioF());
    return pixmap.isNull() ? nullptr : &pixmap;
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
    return _BoxToSquare(point.x() / fCell + 8 * (point.y() / fCell));
}

char ChessView::PointToPiece(QPoint point) const
{
    return _BoxToPiece(_PointToBox(point));
}

const QPixmap* ChessView::PointToBitmap(QPoint point) const
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
    const qreal ratio = devicePixelRatioF();
    const bool quick = fSharpen.isActive() && !fSkin->RenderedBoard().isNull();
    // Always the whole board: a move changes squares all over it.
    const QPixmap& boardPicture = quick ? fSkin->RenderedBoard() : fSkin->Board(fCell, ratio);
    if (boardPicture.isNull()) {
        painter.fillRect(rect(), palette().window());
    } else if (quick) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(rect(), boardPicture);
    } else {
        painter.drawPixmap(0, 0, boardPicture);
    }

    // One look at the board text serves all 64 cells.
    char board[CGC_BOARD_TEXT_LENGTH + 1];
    if (fShown != nullptr)
        cgc_getboard(fShown, board);
    else if (fGame != nullptr)
        cgc_getboard(fGame, board);
    else
        std::memset(board, '-', sizeof(board));

    // An earlier position shows the move that led to it.
    int32 lastFrom = fLastFrom;
    int32 lastTo = fLastTo;
    if (fShown != nullptr) {
        const bool anyMove = std::strcmp(fShown->last_move, "none") != 0;
        lastFrom = anyMove ? _PositionToBox(fShown->last_move) : -1;
        lastTo = anyMove ? _PositionToBox(fShown->last_move + 2) : -1;
    }
    _DrawMarks(painter, board, lastFrom, lastTo);
    if (fCoordinates)
        _DrawCoordinates(painter);

    if (lastFrom != -1 && lastTo != -1) {
        QPen pen(QColor(255, 0, 0, 255));
        pen.setWidthF(2.5 * fCell / kCellSize);
        painter.setPen(pen);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPoint centre(fCell / 2, fCell / 2);
        painter.drawLine(_BoxToPoint(lastFrom) + centre, _BoxToPoint(lastTo) + centre);
        painter.setRenderHint(QPainter::Antialiasing, false);
    }

    for (int32 cell = 0; cell < 64; ++cell) {
        if (cell == fDragBox)
            continue;
        const int32 box = _Flip(cell);
        const int index = PieceIndex(board[box + box / 8]);
        if (index >= 0 && fSkin->HasPiece(index))
            _DrawPiece(painter, index, _BoxToSquare(cell));
    }

    // Destinations over the pieces: a dot on an empty square, a ring
    // around a piece that would be taken.
    if (!fHints.empty()) {
        painter.setRenderHint(QPainter::Antialiasing);
        for (int32 box : fHints) {
            const QRectF square = _BoxToSquare(_Flip(box));
            const char target = board[box + box / 8];
            if (target == '-') {
                const qreal radius = fCell * 0.16;
                painter.setPen(Qt::NoPen);
                painter.setBrush(kHintColour);
                painter.drawEllipse(square.center(), radius, radius);
            } else {
                QPen ring(kHintColour);
                ring.setWidthF(fCell * 0.08);
                painter.setPen(ring);
                painter.setBrush(Qt::NoBrush);
                const qreal inset = fCell * 0.06;
                painter.drawEllipse(square.adjusted(inset, inset, -inset, -inset));
            }
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
    }

    // The dragged piece follows the pointer, held where it was grabbed.
    if (fDragBox != -1) {
        const int index = PieceIndex(_BoxToPiece(_Flip(fDragBox)));
        if (index >= 0 && fSkin->HasPiece(index))
            _DrawPiece(painter, index, QRect(fDragPosition - fDragOffset, QSize(fCell, fCell)));
    }
    ++fPaintCount;
}

void ChessView::_DrawPiece(QPainter& painter, int index, const QRect& square)
{
    if (fSharpen.isActive() && !fSkin->RenderedPiece(index).isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(square, fSkin->RenderedPiece(index));
        return;
    }
    const QPixmap& piece = fSkin->Piece(index, fCell, devicePixelRatioF());
    if (!piece.isNull())
        painter.drawPixmap(square.topLeft(), piece);
}

void ChessView::_DrawMarks(QPainter& painter, const char* board, int32 lastFrom, int32 lastTo)
{
    if (lastFrom != -1 && lastTo != -1) {
        painter.fillRect(_BoxToSquare(lastFrom), kLastMoveTint);
        painter.fillRect(_BoxToSquare(lastTo), kLastMoveTint);
    }
    if (fPremoveFrom != -1) {
        painter.fillRect(_BoxToSquare(_Flip(fPremoveFrom)), kPremoveTint);
        painter.fillRect(_BoxToSquare(_Flip(fPremoveTo)), kPremoveTint);
    }
    if (fSelected != -1)
        painter.fillRect(_BoxToSquare(_Flip(fSelected)), kSelectedTint);

    // The king in check glows red under its picture.
    if (fInCheck && fGame != nullptr && fShown == nullptr) {
        const char king = fGame->turn == CGC_WHITE ? 'K' : 'k';
        for (int32 box = 0; box < 64; ++box) {
            if (board[box + box / 8] != king)
                continue;
            const QRectF square = _BoxToSquare(_Flip(box));
            QRadialGradient glow(square.center(), fCell * 0.6);
            glow.setColorAt(0.0, QColor(255, 0, 0, 230));
            glow.setColorAt(0.5, QColor(230, 0, 0, 160));
            glow.setColorAt(1.0, QColor(160, 0, 0, 0));
            painter.fillRect(square, glow);
        }
    }
}

void ChessView::_DrawCoordinates(QPainter& painter)
{
    QFont font = painter.font();
    font.setPixelSize(std::max(9, fCell / 5));
    font.setBold(true);
    painter.setFont(font);
    const int margin = std::max(2, fCell / 20);
    const bool whiteBelow = _Flip(56) == 56;
    for (int i = 0; i < 8; ++i) {
        // Rank numbers in the top left corner of the left column, file
        // letters in the bottom right corner of the bottom row, each in the
        // colour of the other kind of square.
        const int32 leftCell = 8 * i;
        const int32 bottomCell = 56 + i;
        const char rank = static_cast<char>(whiteBelow ? '8' - i : '1' + i);
        const char file = static_cast<char>(whiteBelow ? 'a' + i : 'h' - i);
        const bool leftLight = i % 2 == 0;
        const bool bottomLight = i % 2 == 1;
        painter.setPen(leftLight ? fSkin->DarkSquare() : fSkin->LightSquare());
        painter.drawText(_BoxToSquare(leftCell).adjusted(margin, margin / 2, 0, 0),
                         Qt::AlignLeft | Qt::AlignTop, QString(QChar(rank)));
        painter.setPen(bottomLight ? fSkin->DarkSquare() : fSkin->LightSquare());
        painter.drawText(_BoxToSquare(bottomCell).adjusted(0, 0, -margin, -margin / 2),
                         Qt::AlignRight | Qt::AlignBottom, QString(QChar(file)));
    }
}

// --- picking up, dragging and clicking ---

bool ChessView::_IsOwnPiece(char letter) const
{
    const bool white = letter >= 'A' && letter <= 'Z';
    const bool black = letter >= 'a' && letter <= 'z';
    return (fColor == CGC_WHITE && white) || (fColor == CGC_BLACK && black);
}

void ChessView::_Select(int32 box)
{
    fSelected = box;
    fHints.clear();
    // Destinations are shown on the user's turn only: while the opponent
    // is to move the engine cannot say what will be legal.
    if (box == -1 || fGame == nullptr || fGame->turn != fColor)
        return;
    cgc_move moves[CGC_MAX_MOVES];
    const int count = cgc_piece_moves(fGame, box % 8, 7 - box / 8, moves, CGC_MAX_MOVES);
    for (int i = 0; i < std::min(count, int(CGC_MAX_MOVES)); ++i) {
        const int32 target = BoxOf(moves[i].to_file, moves[i].to_rank);
        if (std::find(fHints.begin(), fHints.end(), target) == fHints.end())
            fHints.push_back(target);
    }
}

void ChessView::mousePressEvent(QMouseEvent* event)
{
    // The right button puts everything down: the picked-up piece and the
    // premove.
    if (event->button() == Qt::RightButton) {
        CancelPickUp();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    // A press while a drag is under way means its release was lost (another
    // window took the pointer): that piece goes home first.
    if (fDragBox != -1) {
        fDragBox = -1;
        update();
    }
    const QPoint point = event->position().toPoint();
    // A board that shows an earlier position takes no move.
    if (fShown != nullptr)
        return;
    const int32 box = _BoxAt(point);
    GameWindow* window = GameInfo();
    if (box == -1 || window == nullptr || IsChoosingPromotion())
        return;
    // Watchers and finished games take no moves, and say nothing about it.
    const bool player = fColor == CGC_WHITE || fColor == CGC_BLACK;
    if (!player || !window->Winner().empty() || !window->TakesMoves())
        return;
    const char piece = _BoxToPiece(box);
    const bool own = _IsOwnPiece(piece) && _BoxToBitmap(box) != nullptr;

    // A second click on another square moves the picked-up piece there.
    if (fSelected != -1 && box != fSelected && !own) {
        const int32 from = fSelected;
        _Select(-1);
        _Attempt(from, box);
        update();
        return;
    }
    if (!own) {
        _Select(-1);
        update();
        if (piece != '-' && PieceIndex(piece) >= 0)
            _Note(kNotYours);
        return;
    }
    const bool myTurn = fColor == window->Turn();
    if (!myTurn && !window->HasBothPlayers()) {
        _Note(kNotYourTurn);
        return;
    }

    fWasSelected = fSelected == box;
    _Select(box);
    fDragBox = _CellAt(point);
    fDragOrigin = point;
    fDragPosition = point;
    fDragOffset = QPoint(point.x() % fCell, point.y() % fCell);
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
    // Off the board the piece just goes home and is put down.
    if (!rect().contains(point)) {
        _Select(-1);
        return;
    }
    // Released on its own square: a click, which picks the piece up (or
    // puts it down when it was already picked up).
    if (_CellAt(point) == originCell) {
        if (fWasSelected)
            _Select(-1);
        return;
    }
    _Select(-1);
    BMessage drop(MSG_PIECE_DRAG);
    drop.AddPoint("click_location", BPoint{float(fDragOrigin.x()), float(fDragOrigin.y())});
    drop.AddPoint("_drop_point_", BPoint{float(point.x()), float(point.y())});
    MessageReceived(&drop);
}

void ChessView::keyPressEvent(QKeyEvent* event)
{
    // The board holds the keys for flipping and putting down; anything
    // typed goes to the chat field, which gets the focus back.
    if (event->key() == Qt::Key_F && event->modifiers() == Qt::NoModifier) {
        if (GameWindow* window = GameInfo())
            window->FlipBoard();
        else
            Flip();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        CancelPickUp();
        return;
    }
    GameWindow* window = GameInfo();
    if (window != nullptr && !event->text().isEmpty() && event->text()[0].isPrint()) {
        if (QLineEdit* entry = window->ChatEntry(); entry != nullptr && entry->isEnabled()) {
            entry->setFocus(Qt::OtherFocusReason);
            entry->insert(event->text());
            return;
        }
    }
    QWidget::keyPressEvent(event);
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
    _Attempt(_PointToBox(fromPoint), _PointToBox(toPoint));
}

void ChessView::_Attempt(int32 from, int32 to)
{
    GameWindow* window = GameInfo();
    // A game that has gone takes no more moves, however the move came;
    // nor does a board that shows an earlier position.
    if ((window != nullptr && !window->TakesMoves()) || fShown != nullptr)
        return;
    // While the opponent is to move, the move is queued instead (one only:
    // a new one replaces it).
    if (window != nullptr && (fColor == CGC_WHITE || fColor == CGC_BLACK) &&
        window->Turn() != fColor && window->Winner().empty()) {
        if (!_IsOwnPiece(_BoxToPiece(from)) || !window->HasBothPlayers()) {
            _Note(kNotYourTurn);
            return;
        }
        fPremoveFrom = from;
        fPremoveTo = to;
        update();
        return;
    }
    char move[8] = {};
    _BoxToPosition(from, move);
    _BoxToPosition(to, move + 2);
    _Drop(move);
}

void ChessView::_Drop(char* move)
{
    QPointer<ChessView> self(this);
    if (!MakeMove(move, true) || self.isNull())
        return;
    // The move is sent whatever the verdict (the server judges it again);
    // the user is told why it was refused here.
    switch (fLastResult) {
    case CGC_ILLEGAL:
    case CGC_NOT_SEATED:
        _Note(kNotLegal);
        break;
    case CGC_WRONG_SIDE:
        _Note(kNotYourTurn);
        break;
    default:
        if (fNoteShown) {
            fNoteShown = false;
            if (GameWindow* window = GameInfo())
                window->SetStatus("");
        }
        break;
    }
    if (GameWindow* window = GameInfo())
        window->SendMove(move, fLastResult >= 0);
}

void ChessView::_Note(const char* text)
{
    if (GameWindow* window = GameInfo()) {
        window->SetStatus(text);
        fNoteShown = true;
    }
}

void ChessView::_PlayPremove()
{
    fPremovePending = false;
    GameWindow* window = GameInfo();
    if (fPremoveFrom == -1 || window == nullptr || window->Turn() != fColor ||
        !window->Winner().empty() || !window->TakesMoves() || IsChoosingPromotion())
        return;
    const int32 from = fPremoveFrom;
    const int32 to = fPremoveTo;
    fPremoveFrom = fPremoveTo = -1;
    update();
    cgc_move moves[CGC_MAX_MOVES];
    const int count = cgc_piece_moves(fGame, from % 8, 7 - from / 8, moves, CGC_MAX_MOVES);
    for (int i = 0; i < std::min(count, int(CGC_MAX_MOVES)); ++i) {
        const cgc_move& m = moves[i];
        if (BoxOf(m.to_file, m.to_rank) != to)
            continue;
        // A premoved pawn that reaches the last rank becomes a queen: the
        // user cannot be asked in time.
        if (m.promote != 0 && m.promote != CGC_QUEEN)
            continue;
        char text[8] = {};
        cgc_move_text(&m, text);
        _Drop(text);
        return;
    }
    _Note(kPremoveDropped);
}

// --- moves ---

void ChessView::ShowEarlier(game* shown)
{
    fShown = shown;
    CancelPickUp();
    update();
}

bool ChessView::MakeMove(char* move, bool sound)
{
    const int result = cgc_make_move(fGame, move);
    fLastResult = result;
    // Every verdict from zero up applies the move.
    if (result >= 0)
        fInCheck = result == CGC_CHECK || result == CGC_MATE;
    // The position changed under the picked-up piece: its destinations too.
    if (result >= 0 && fSelected != -1) {
        if (_IsOwnPiece(_BoxToPiece(fSelected)))
            _Select(fSelected);
        else
            _Select(-1);
    }
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
    // The opponent has moved: a queued premove goes now, once this move has
    // been handled completely by whoever reported it.
    if (fPremoveFrom != -1 && result >= 0 && !fPremovePending && window != nullptr &&
        window->Turn() == fColor) {
        fPremovePending = true;
        QMetaObject::invokeMethod(
            this, [this] { _PlayPremove(); }, Qt::QueuedConnection);
    }
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
