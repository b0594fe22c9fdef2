#include "ContactSheet.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QSvgRenderer>

namespace {
constexpr int kBoard = 320;
constexpr int kGap = 16;
constexpr int kCaption = 20;
constexpr int kLargeCell = 80; // the SVG pieces in a row
constexpr int kLargeBoard = 1280;
constexpr const char* kKinds[] = {"pawn", "knight", "bishop", "rook", "queen", "king"};

// The initial position, rank 8 first, in the board view's piece letters.
const char* const kInitial[8] = {"rnbqkbnr", "pppppppp", "--------", "--------",
                                 "--------", "--------", "PPPPPPPP", "RNBQKBNR"};

QString PieceFile(char letter, const char* suffix = ".png")
{
    const bool white = letter >= 'A' && letter <= 'Z';
    QString kind;
    switch (letter | 0x20) {
    case 'p':
        kind = "pawn";
        break;
    case 'n':
        kind = "knight";
        break;
    case 'b':
        kind = "bishop";
        break;
    case 'r':
        kind = "rook";
        break;
    case 'q':
        kind = "queen";
        break;
    case 'k':
        kind = "king";
        break;
    default:
        return {};
    }
    return (white ? "white-" : "black-") + kind + suffix;
}

QStringList Skins(const QString& directory)
{
    return QDir(directory).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

void DrawBoard(QPainter& painter, const QPoint& at, const QString& board, const QString& pieces)
{
    painter.drawImage(at, QImage(board + "/320x320.png"));
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 8; ++column) {
            const QString file = PieceFile(kInitial[row][column]);
            if (!file.isEmpty())
                painter.drawImage(at + QPoint(40 * column, 40 * row), QImage(pieces + "/" + file));
        }
    }
}

// Draws the SVG drawing in `path` into `target`; nothing when it is missing.
void DrawSvg(QPainter& painter, const QString& path, const QRectF& target)
{
    QSvgRenderer renderer(path);
    if (renderer.isValid())
        renderer.render(&painter, target);
}

// The largest board a skin offers: its SVG drawing, else its large picture,
// else the classic one, drawn at `side` pixels.
void DrawLargeBoard(QPainter& painter, const QPoint& at, int side, const QString& board,
                    const QString& pieces)
{
    const QRect area(at, QSize(side, side));
    if (QFile::exists(board + "/board.svg"))
        DrawSvg(painter, board + "/board.svg", area);
    else if (QFile::exists(board + "/1280x1280.png"))
        painter.drawImage(area, QImage(board + "/1280x1280.png"));
    else
        painter.drawImage(area, QImage(board + "/320x320.png"));
    const int cell = side / 8;
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 8; ++column) {
            const QString file = PieceFile(kInitial[row][column], ".svg");
            if (!file.isEmpty())
                DrawSvg(painter, pieces + "/" + file,
                        QRectF(at.x() + cell * column, at.y() + cell * row, cell, cell));
        }
    }
}

// A player panel as the game window draws it: fill, border, the name, the
// strength line and whichever markers are asked for.
void DrawPanel(QPainter& painter, const QPoint& at, bool black, const QImage& turn,
               const QImage& winner)
{
    const QColor fill = black ? Qt::black : Qt::white;
    const QColor ink = black ? Qt::white : Qt::black;
    painter.save();
    painter.translate(at);
    painter.fillRect(QRect(0, 0, 300, 60), fill);
    painter.setPen(ink);
    painter.drawRect(QRect(0, 0, 299, 59));
    QFont name(QStringLiteral("DejaVu Sans"));
    name.setBold(true);
    name.setPixelSize(34);
    painter.setFont(name);
    painter.drawText(QRect(0, 0, 300, 60), Qt::AlignCenter, black ? "Bert" : "Alice");
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(11);
    painter.setFont(small);
    painter.drawText(QPoint(222, 15), "Strength: 39");
    if (!turn.isNull())
        painter.drawImage(QPoint(6, 15), turn);
    if (!winner.isNull())
        painter.drawImage(QPoint(267, 21), winner);
    painter.restore();
}
} // namespace

QImage ComposeContactSheet(const QString& resources)
{
    const QString boards = resources + "/chess-sets/boards";
    const QString pieces = resources + "/chess-sets/pieces";
    const QString graphics = resources + "/graphics";
    const QStringList boardSkins = Skins(boards);
    const QStringList pieceSkins = Skins(pieces);

    const int columns = std::max<int>(1, static_cast<int>(boardSkins.size()));
    const int width = kGap + columns * (kBoard + kGap);
    const int boardsHeight = static_cast<int>(pieceSkins.size()) * (kBoard + kCaption + kGap);
    const int rowsHeight = static_cast<int>(pieceSkins.size()) * (kLargeCell + kCaption + kGap);
    const int largeHeight = kLargeBoard + kCaption + kGap;
    const int extrasHeight = 250 + 256 + kGap;
    const int height = kGap + boardsHeight + rowsHeight + largeHeight + extrasHeight;
    QImage sheet(std::max(width, kLargeBoard + 2 * kGap), height, QImage::Format_RGB32);
    sheet.fill(QColor(216, 216, 216));

    QPainter painter(&sheet);
    QFont caption(QStringLiteral("DejaVu Sans"));
    caption.setPixelSize(13);
    painter.setFont(caption);
    painter.setPen(Qt::black);

    int y = kGap;
    for (const QString& pieceSkin : pieceSkins) {
        int x = kGap;
        for (const QString& boardSkin : boardSkins) {
            painter.drawText(QPoint(x, y + 14), boardSkin + " board, " + pieceSkin + " pieces");
            DrawBoard(painter, QPoint(x, y + kCaption), boards + "/" + boardSkin,
                      pieces + "/" + pieceSkin);
            x += kBoard + kGap;
        }
        y += kBoard + kCaption + kGap;
    }

    // The pieces of every skin drawn from their SVG drawings at twice the
    // classic size, on alternating squares of the Standard board.
    const QString squaresSkin = boardSkins.contains("Standard") ? "Standard" : boardSkins.value(0);
    const QImage squares(boards + "/" + squaresSkin + "/320x320.png");
    for (const QString& pieceSkin : pieceSkins) {
        painter.drawText(QPoint(kGap, y + 14), pieceSkin + " pieces, SVG, 80 pixels");
        int x = kGap;
        for (const char* side : {"white-", "black-"}) {
            for (const char* kind : kKinds) {
                const QRect cell(x, y + kCaption, kLargeCell, kLargeCell);
                const bool dark = (x - kGap) / kLargeCell % 2 == 1;
                painter.drawImage(cell, squares, QRect(dark ? 40 : 0, 0, 40, 40));
                DrawSvg(painter, pieces + "/" + pieceSkin + "/" + side + kind + ".svg", cell);
                x += kLargeCell;
            }
        }
        y += kLargeCell + kCaption + kGap;
    }

    // One board at the largest size the client draws, with SVG pieces.
    const QString largeBoard = boardSkins.contains("Marble") ? "Marble" : boardSkins.value(0);
    const QString largePieces = pieceSkins.contains("Standard") ? "Standard" : pieceSkins.value(0);
    painter.drawText(
        QPoint(kGap, y + 14),
        QString("%1 board, %2 pieces, %3 pixels").arg(largeBoard, largePieces).arg(kLargeBoard));
    DrawLargeBoard(painter, QPoint(kGap, y + kCaption), kLargeBoard, boards + "/" + largeBoard,
                   pieces + "/" + largePieces);
    y += largeHeight;

    // Lobby buttons: up, down, disabled, on the lobby's grey.
    const char* const actions[] = {"create-game", "join-game", "watch-game"};
    const char* const states[] = {"", "-down", "-disabled"};
    for (int a = 0; a < 3; ++a) {
        for (int s = 0; s < 3; ++s) {
            const QImage button(graphics + "/" + actions[a] + states[s] + ".png");
            painter.drawImage(QPoint(kGap + s * 80, y + a * 44), button);
            // Twice the size as well, to judge the details.
            painter.drawImage(QRect(kGap + 260 + s * 140, y + a * 80, 128, 64), button);
        }
    }

    // Player panels: the turn marker on both colours, the winner marker on both.
    const QImage turn(graphics + "/turn.png");
    const QImage winner(graphics + "/good-ending.png");
    const int panelsX = kGap + 700;
    DrawPanel(painter, QPoint(panelsX, y), true, turn, QImage());
    DrawPanel(painter, QPoint(panelsX, y + 70), false, turn, QImage());
    DrawPanel(painter, QPoint(panelsX, y + 140), true, QImage(), winner);
    DrawPanel(painter, QPoint(panelsX, y + 210), false, QImage(), winner);

    // The game background, tiled over an area as large as four tiles and more.
    const QImage tile(graphics + "/game-background.png");
    const QRect backgroundArea(panelsX + 320, y, 300, 250);
    if (!tile.isNull())
        painter.fillRect(backgroundArea, QBrush(tile));

    // The application icons.
    int iconX = kGap;
    for (int size : {256, 128, 64, 48}) {
        painter.drawImage(QPoint(iconX, y + 250),
                          QImage(QString("%1/icons/tolvar-%2.png").arg(resources).arg(size)));
        iconX += size + kGap;
    }
    painter.end();
    return sheet;
}
