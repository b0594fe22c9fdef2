#include "game/BoardSkin.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace {

const char* const kPieceNames[12] = {"white-pawn",   "white-rook",   "white-knight", "white-bishop",
                                     "white-queen",  "white-king",   "black-pawn",   "black-rook",
                                     "black-knight", "black-bishop", "black-queen",  "black-king"};

constexpr int kClassicCell = 40;

QImage LoadImage(const QString& path)
{
    QImage image(path);
    if (!image.isNull())
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    return image;
}

// A shape that fails to parse counts as absent: its PNG file is used then.
std::unique_ptr<QSvgRenderer> LoadShape(const QString& path)
{
    if (!QFile::exists(path))
        return nullptr;
    auto renderer = std::make_unique<QSvgRenderer>(path);
    if (!renderer->isValid())
        return nullptr;
    return renderer;
}

} // namespace

BoardSkin::BoardSkin() = default;
BoardSkin::~BoardSkin() = default;

void BoardSkin::Load(const std::string& boardDirectory, const std::string& piecesDirectory)
{
    const QString pieces = QString::fromStdString(piecesDirectory) + '/';
    for (int i = 0; i < 12; ++i) {
        fPieces[i].image = LoadImage(pieces + kPieceNames[i] + ".png");
        fPieces[i].shape = LoadShape(pieces + kPieceNames[i] + ".svg");
    }
    const QString board = QString::fromStdString(boardDirectory) + '/';
    fBoard.image = LoadImage(board + "320x320.png");
    fBoard.shape = LoadShape(board + "board.svg");
    fBoard.large = fBoard.shape ? QImage() : LoadImage(board + "1280x1280.png");

    // Square colours for the coordinates: the middle of A8 (light) and B8.
    const QPixmap sample = _Render(fBoard, 8 * kClassicCell, 1.0, true);
    if (!sample.isNull()) {
        const QImage image = sample.toImage();
        fLight = image.pixelColor(kClassicCell / 2, kClassicCell / 2);
        fDark = image.pixelColor(kClassicCell + kClassicCell / 2, kClassicCell / 2);
    } else {
        fLight = Qt::white;
        fDark = Qt::gray;
    }
    fCacheCell = 0;
}

bool BoardSkin::HasPiece(int index) const
{
    return !fPieces[index].image.isNull() || fPieces[index].shape != nullptr;
}

bool BoardSkin::HasBoard() const
{
    return !fBoard.image.isNull() || fBoard.shape != nullptr || !fBoard.large.isNull();
}

const QPixmap& BoardSkin::Piece(int index, int cell, qreal ratio)
{
    _Prepare(cell, ratio);
    QPixmap& cached = fPieceCache[index];
    if (cached.isNull() && HasPiece(index))
        cached = _Render(fPieces[index], cell, ratio, cell == kClassicCell && ratio == 1.0);
    return cached;
}

const QPixmap& BoardSkin::Board(int cell, qreal ratio)
{
    _Prepare(cell, ratio);
    if (fBoardCache.isNull() && HasBoard())
        fBoardCache = _Render(fBoard, 8 * cell, ratio, cell == kClassicCell && ratio == 1.0);
    return fBoardCache;
}

void BoardSkin::_Prepare(int cell, qreal ratio)
{
    if (cell == fCacheCell && ratio == fCacheRatio)
        return;
    fCacheCell = cell;
    fCacheRatio = ratio;
    for (QPixmap& piece : fPieceCache)
        piece = QPixmap();
    fBoardCache = QPixmap();
}

QPixmap BoardSkin::_Render(const Source& source, int size, qreal ratio, bool classic)
{
    const int pixels = static_cast<int>(std::lround(size * ratio));
    QPixmap pixmap;
    if (classic && !source.image.isNull()) {
        pixmap = QPixmap::fromImage(source.image);
    } else if (source.shape != nullptr) {
        QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        source.shape->render(&painter, QRectF(0, 0, pixels, pixels));
        painter.end();
        pixmap = QPixmap::fromImage(image);
    } else {
        const QImage& best =
            !source.large.isNull() && (source.image.isNull() || pixels > source.image.width())
                ? source.large
                : source.image;
        if (best.isNull())
            return QPixmap();
        pixmap = QPixmap::fromImage(
            best.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    pixmap.setDevicePixelRatio(classic ? 1.0 : ratio);
    return pixmap;
}
