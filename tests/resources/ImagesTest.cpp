// The images the client loads: present, decodable, of the sizes the views
// draw them at, and legible where they are drawn.

#include "ImageMeasures.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>

namespace {
const char* const kPieceFiles[] = {
    "white-pawn.png",   "white-knight.png", "white-bishop.png", "white-rook.png",
    "white-queen.png",  "white-king.png",   "black-pawn.png",   "black-knight.png",
    "black-bishop.png", "black-rook.png",   "black-queen.png",  "black-king.png",
};

QImage Load(const QString& relative)
{
    QImage image(ResourcePath(relative));
    return image.convertToFormat(QImage::Format_ARGB32);
}

bool CornersTransparent(const QImage& image)
{
    const int r = image.width() - 1, b = image.height() - 1;
    return qAlpha(image.pixel(0, 0)) == 0 && qAlpha(image.pixel(r, 0)) == 0 &&
           qAlpha(image.pixel(0, b)) == 0 && qAlpha(image.pixel(r, b)) == 0;
}

int CountAlpha(const QImage& image, int low, int high)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            count += alpha >= low && alpha <= high;
        }
    }
    return count;
}

// The extremes of the cells' mean luminance, per colour. The dark cells, A1's
// colour, are those whose column and row (from the top) add up to an odd number.
struct CellLuminance
{
    double darkest, darkMax;   // the darkest and the lightest dark cell
    double lightMin, lightest; // the darkest and the lightest light cell
};

CellLuminance MeasureCells(const QImage& board)
{
    CellLuminance m{255, 0, 255, 0};
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 8; ++column) {
            const double mean = MeanLuminance(board, QRect(40 * column, 40 * row, 40, 40));
            if ((column + row) % 2 == 1) {
                m.darkMax = std::max(m.darkMax, mean);
                m.darkest = std::min(m.darkest, mean);
            } else {
                m.lightMin = std::min(m.lightMin, mean);
                m.lightest = std::max(m.lightest, mean);
            }
        }
    }
    return m;
}
} // namespace

TEST(ProgramImages, EveryFixedPathDecodesAtItsDrawnSize)
{
    struct Expected
    {
        const char* path;
        int width, height;
    };
    const Expected images[] = {
        {"graphics/create-game.png", 64, 32},
        {"graphics/create-game-down.png", 64, 32},
        {"graphics/create-game-disabled.png", 64, 32},
        {"graphics/join-game.png", 64, 32},
        {"graphics/join-game-down.png", 64, 32},
        {"graphics/join-game-disabled.png", 64, 32},
        {"graphics/watch-game.png", 64, 32},
        {"graphics/watch-game-down.png", 64, 32},
        {"graphics/watch-game-disabled.png", 64, 32},
        {"chess-sets/boards/Standard/320x320.png", 320, 320},
    };
    for (const Expected& expected : images) {
        SCOPED_TRACE(expected.path);
        const QImage image = Load(expected.path);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width(), expected.width);
        EXPECT_EQ(image.height(), expected.height);
    }
    for (const char* file : kPieceFiles) {
        SCOPED_TRACE(file);
        const QImage image = Load(QString("chess-sets/pieces/Standard/") + file);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(40, 40));
    }
    for (const char* file :
         {"graphics/game-background.png", "graphics/turn.png", "graphics/good-ending.png"}) {
        SCOPED_TRACE(file);
        EXPECT_FALSE(Load(file).isNull());
    }
}

TEST(BoardSkins, StandardAndMoreAreEightByEightWithA1Dark)
{
    const QStringList skins = SkinNames("chess-sets/boards");
    EXPECT_TRUE(skins.contains("Standard"));
    EXPECT_GE(skins.size(), 3);
    for (const QString& skin : skins) {
        SCOPED_TRACE(skin.toStdString());
        const QImage board = Load("chess-sets/boards/" + skin + "/320x320.png");
        ASSERT_EQ(board.size(), QSize(320, 320));
        EXPECT_EQ(CountAlpha(board, 0, 254), 0) << "the board must be opaque";

        const CellLuminance cells = MeasureCells(board);
        // Every dark cell, A1's colour, is darker than every light cell, by a
        // clear margin: a board shifted by a cell or with cells of the wrong
        // size fails here.
        EXPECT_LT(cells.darkMax + 30, cells.lightMin);
        const double a1 = MeanLuminance(board, QRect(0, 280, 40, 40));
        const double b1 = MeanLuminance(board, QRect(40, 280, 40, 40));
        EXPECT_LT(a1, b1);
        // The cells are 40 pixels: one pixel either side of a cell border
        // belongs to cells of different colours all along the board.
        for (int border = 40; border < 320; border += 40) {
            const double left = MeanLuminance(board, QRect(border - 2, 0, 1, 40));
            const double right = MeanLuminance(board, QRect(border + 1, 0, 1, 40));
            EXPECT_GT(std::abs(left - right), 20) << "vertical border at x = " << border;
        }
        // Dark squares light enough for black pieces, light squares dark
        // enough that white pieces do not vanish into them.
        EXPECT_GT(cells.darkest, 60);
        EXPECT_LT(cells.lightest, 250);
    }
}

TEST(PieceSkins, StandardAndAnotherHaveTwelveTransparentAntialiasedPieces)
{
    const QStringList skins = SkinNames("chess-sets/pieces");
    EXPECT_TRUE(skins.contains("Standard"));
    EXPECT_GE(skins.size(), 2);
    for (const QString& skin : skins) {
        for (const char* file : kPieceFiles) {
            SCOPED_TRACE((skin + "/" + file).toStdString());
            const QImage piece = Load("chess-sets/pieces/" + skin + "/" + file);
            ASSERT_EQ(piece.size(), QSize(40, 40));
            EXPECT_TRUE(
                QImage(ResourcePath("chess-sets/pieces/" + skin + "/" + file)).hasAlphaChannel());
            EXPECT_TRUE(CornersTransparent(piece));
            const int solid = CountAlpha(piece, 128, 255);
            const int edge = CountAlpha(piece, 1, 254);
            // A piece covers a fair part of its cell but not all of it...
            EXPECT_GT(solid, 40 * 40 / 8);
            EXPECT_LT(solid, 40 * 40 * 3 / 4);
            // ...and its edges are smoothed rather than jagged.
            EXPECT_GT(edge, 20);
        }
    }
}

TEST(PieceSkins, TheSixShapesOfASetAreToldApart)
{
    for (const QString& skin : SkinNames("chess-sets/pieces")) {
        for (const char* side : {"white-", "black-"}) {
            QList<QImage> shapes;
            for (const char* kind : {"pawn", "knight", "bishop", "rook", "queen", "king"})
                shapes << Load("chess-sets/pieces/" + skin + "/" + side + kind + ".png");
            for (qsizetype i = 0; i < shapes.size(); ++i) {
                for (qsizetype j = i + 1; j < shapes.size(); ++j) {
                    SCOPED_TRACE(QString("%1 %2: shapes %3 and %4")
                                     .arg(skin, side)
                                     .arg(i)
                                     .arg(j)
                                     .toStdString());
                    // At least 5 % of the cell: well beyond anti-aliasing noise.
                    EXPECT_GT(SilhouetteDifference(shapes[i], shapes[j]), 0.05);
                }
            }
        }
    }
}

TEST(PieceSkins, WhiteIsLightBlackIsDarkAndBothReadOnEveryBoard)
{
    const QStringList boards = SkinNames("chess-sets/boards");
    for (const QString& skin : SkinNames("chess-sets/pieces")) {
        for (const char* file : kPieceFiles) {
            SCOPED_TRACE((skin + "/" + file).toStdString());
            const QImage piece = Load("chess-sets/pieces/" + skin + "/" + file);
            const bool white = QString(file).startsWith("white");
            // Over neutral grey, a piece is clearly lighter or darker than its
            // counterpart of the other side.
            QString other = file;
            other.replace(white ? "white-" : "black-", white ? "black-" : "white-");
            const QImage counterpart = Load("chess-sets/pieces/" + skin + "/" + other);
            const double contrast =
                CoveredLuminance(piece, Qt::gray) - CoveredLuminance(counterpart, Qt::gray);
            EXPECT_GT(white ? contrast : -contrast, 35);

            // Drawn over the cells of its hardest colour on every board (white
            // on light, black on dark), the piece still changes what is seen.
            for (const QString& boardSkin : boards) {
                const QImage board = Load("chess-sets/boards/" + boardSkin + "/320x320.png");
                const CellLuminance cells = MeasureCells(board);
                const double hardest = white ? cells.lightest : cells.darkest;
                const QColor square = QColor::fromRgbF(hardest / 255, hardest / 255, hardest / 255);
                EXPECT_GT(Visibility(piece, square), 35)
                    << "on the " << boardSkin.toStdString() << " board";
            }
        }
    }
}

TEST(LobbyButtons, StatesAndActionsLookDifferent)
{
    auto spread = [](const QImage& image) {
        double low = 255, high = 0;
        const QImage flat = Composite(image, QColor(216, 216, 216));
        for (int y = 0; y < flat.height(); ++y) {
            for (int x = 0; x < flat.width(); ++x) {
                low = std::min(low, Luminance(flat.pixel(x, y)));
                high = std::max(high, Luminance(flat.pixel(x, y)));
            }
        }
        return high - low;
    };
    QList<QImage> ups;
    for (const char* action : {"create-game", "join-game", "watch-game"}) {
        SCOPED_TRACE(action);
        const QImage up = Load(QString("graphics/%1.png").arg(action));
        const QImage down = Load(QString("graphics/%1-down.png").arg(action));
        const QImage disabled = Load(QString("graphics/%1-disabled.png").arg(action));
        ASSERT_FALSE(up.isNull() || down.isNull() || disabled.isNull());
        EXPECT_NE(up, down);
        // Greyed out: the label's contrast drops well below the usable state's.
        EXPECT_LT(spread(disabled), spread(up) * 0.7);
        // The label is legible on an enabled button.
        EXPECT_GT(spread(up), 150);
        ups << up;
    }
    EXPECT_NE(ups[0], ups[1]);
    EXPECT_NE(ups[1], ups[2]);
    EXPECT_NE(ups[0], ups[2]);
}

TEST(PanelMarkers, FitThePanelAndReadOnBlackAndOnWhite)
{
    struct Marker
    {
        const char* path;
        QPoint at;
    };
    const QRect panel(0, 0, 300, 60);
    // The strength line is drawn from x = 222 on its baseline at y = 15.
    const QRect strengthText(222, 4, 78, 12);
    for (const Marker& marker : {Marker{"graphics/turn.png", QPoint(6, 15)},
                                 Marker{"graphics/good-ending.png", QPoint(267, 21)}}) {
        SCOPED_TRACE(marker.path);
        const QImage image = Load(marker.path);
        ASSERT_FALSE(image.isNull());
        EXPECT_TRUE(QImage(ResourcePath(marker.path)).hasAlphaChannel());
        EXPECT_TRUE(CornersTransparent(image));
        const QRect placed(marker.at, image.size());
        EXPECT_TRUE(panel.contains(placed));
        EXPECT_FALSE(placed.intersects(strengthText));
        EXPECT_LE(image.width(), 32);
        EXPECT_LE(image.height(), 32);
        EXPECT_GT(Visibility(image, Qt::black), 60);
        EXPECT_GT(Visibility(image, Qt::white), 60);
    }
}

TEST(GameBackground, TilesWithoutSeams)
{
    const QImage tile = Load("graphics/game-background.png");
    ASSERT_FALSE(tile.isNull());
    ASSERT_GE(tile.width(), 32);
    ASSERT_GE(tile.height(), 32);
    // Across the seam of two tiles (last column to first) the picture should
    // change no more than between neighbouring columns inside the tile.
    auto columnStep = [&](int a, int b) {
        double sum = 0;
        for (int y = 0; y < tile.height(); ++y)
            sum += std::abs(Luminance(tile.pixel(a, y)) - Luminance(tile.pixel(b, y)));
        return sum / tile.height();
    };
    auto rowStep = [&](int a, int b) {
        double sum = 0;
        for (int x = 0; x < tile.width(); ++x)
            sum += std::abs(Luminance(tile.pixel(x, a)) - Luminance(tile.pixel(x, b)));
        return sum / tile.width();
    };
    double inner = 0;
    for (int x = 0; x + 1 < tile.width(); ++x)
        inner += columnStep(x, x + 1) / (tile.width() - 1);
    EXPECT_LE(columnStep(tile.width() - 1, 0), 1.5 * inner + 0.5);
    inner = 0;
    for (int y = 0; y + 1 < tile.height(); ++y)
        inner += rowStep(y, y + 1) / (tile.height() - 1);
    EXPECT_LE(rowStep(tile.height() - 1, 0), 1.5 * inner + 0.5);
}
