// The images the client loads: present and decodable, the board and pieces
// at the sizes the classic board draws them, and every drawing for larger
// boards showing the same picture as the classic file beside it.

#include "Resources.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cstdlib>

namespace {
const char* const kPieces[] = {"white-pawn",   "white-knight", "white-bishop", "white-rook",
                               "white-queen",  "white-king",   "black-pawn",   "black-knight",
                               "black-bishop", "black-rook",   "black-queen",  "black-king"};

// The SVG drawing in `path` rendered as the client renders it, into a
// transparent `size` × `size` image; null when it is no valid drawing.
QImage RenderSvg(const QString& path, int size)
{
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    return image;
}

int Distance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
}

// The mean colour of each of the 8 × 8 cells of a board image of any size:
// Qt scales down by averaging the pixels.
QImage CellMeans(const QImage& board)
{
    return board.convertToFormat(QImage::Format_RGB32)
        .scaled(8, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
} // namespace

TEST(ProgramImages, EveryFixedPathDecodes)
{
    QStringList paths = {"graphics/game-background.png", "graphics/turn.png",
                         "graphics/good-ending.png"};
    for (const char* action : {"create-game", "join-game", "watch-game"}) {
        for (const char* state : {"", "-down", "-disabled"})
            paths << QString("graphics/%1%2.png").arg(action, state);
    }
    for (const QString& path : paths)
        EXPECT_FALSE(QImage(ResourcePath(path)).isNull()) << path.toStdString();
}

TEST(PieceSkins, EverySvgDrawsThePictureOfItsPng)
{
    const QStringList skins = SkinNames("chess-sets/pieces");
    ASSERT_TRUE(skins.contains("Standard"));
    for (const QString& skin : skins) {
        for (const char* piece : kPieces) {
            const QString base = ResourcePath("chess-sets/pieces/" + skin + "/" + piece);
            SCOPED_TRACE(base.toStdString());
            const QImage png =
                QImage(base + ".png").convertToFormat(QImage::Format_ARGB32_Premultiplied);
            ASSERT_EQ(png.size(), QSize(40, 40));
            const QImage svg = RenderSvg(base + ".svg", 40);
            ASSERT_FALSE(svg.isNull());
            int worst = 0, differing = 0;
            for (int y = 0; y < 40; ++y) {
                for (int x = 0; x < 40; ++x) {
                    const int distance = Distance(png.pixel(x, y), svg.pixel(x, y));
                    worst = std::max(worst, distance);
                    differing += distance > 32;
                }
            }
            // Edges may be covered a little differently, nothing more: a
            // shift by half a pixel or another colour fails by far.
            EXPECT_LE(worst, 96);
            EXPECT_LE(differing, 40 * 40 / 50);
        }
    }
}

TEST(BoardSkins, EveryLargerFormShowsTheClassicBoard)
{
    const QStringList skins = SkinNames("chess-sets/boards");
    ASSERT_TRUE(skins.contains("Standard"));
    for (const QString& skin : skins) {
        const QString base = ResourcePath("chess-sets/boards/" + skin + "/");
        SCOPED_TRACE(base.toStdString());
        const QImage classic(base + "320x320.png");
        ASSERT_EQ(classic.size(), QSize(320, 320));
        QList<QImage> larger;
        if (QFile::exists(base + "board.svg"))
            larger << RenderSvg(base + "board.svg", 640);
        if (QFile::exists(base + "1280x1280.png")) {
            larger << QImage(base + "1280x1280.png");
            EXPECT_EQ(larger.back().size(), QSize(1280, 1280));
        }
        EXPECT_EQ(larger.size(), 1) << "a shipped skin has one drawing for larger boards";
        const QImage expected = CellMeans(classic);
        for (const QImage& image : larger) {
            ASSERT_FALSE(image.isNull());
            const QImage means = CellMeans(image);
            for (int cell = 0; cell < 64; ++cell) {
                const QPoint at(cell % 8, cell / 8);
                EXPECT_LE(Distance(means.pixel(at), expected.pixel(at)), 2) << "cell " << cell;
            }
        }
    }
}
