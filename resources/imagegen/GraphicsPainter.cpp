#include "GraphicsPainter.h"

#include "Noise.h"
#include "PiecePainter.h"
#include "TextPath.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
constexpr int kButtonWidth = 64;
constexpr int kButtonHeight = 32;

QImage Transparent(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage Finished(const QImage& image)
{
    return image.convertToFormat(QImage::Format_ARGB32);
}

// A plus sign in a ring: something new.
void DrawCreateSymbol(QPainter& painter, const QPointF& centre, const QColor& colour)
{
    painter.setPen(QPen(colour, 1.6));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, 5.6, 5.6);
    painter.setPen(QPen(colour, 2.0, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(centre + QPointF(-3.2, 0), centre + QPointF(3.2, 0));
    painter.drawLine(centre + QPointF(0, -3.2), centre + QPointF(0, 3.2));
}

// An arrow into an open box: take a seat.
void DrawJoinSymbol(QPainter& painter, const QPointF& centre, const QColor& colour)
{
    painter.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    QPainterPath box;
    box.moveTo(centre + QPointF(0.5, -5.5));
    box.lineTo(centre + QPointF(5.5, -5.5));
    box.lineTo(centre + QPointF(5.5, 5.5));
    box.lineTo(centre + QPointF(0.5, 5.5));
    painter.drawPath(box);
    painter.drawLine(centre + QPointF(-6, 0), centre + QPointF(2.5, 0));
    QPainterPath head;
    head.moveTo(centre + QPointF(-0.8, -3.3));
    head.lineTo(centre + QPointF(2.5, 0));
    head.lineTo(centre + QPointF(-0.8, 3.3));
    painter.drawPath(head);
}

// An eye: look on.
void DrawWatchSymbol(QPainter& painter, const QPointF& centre, const QColor& colour)
{
    painter.setPen(QPen(colour, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    QPainterPath eye;
    eye.moveTo(centre + QPointF(-6.5, 0));
    eye.quadTo(centre + QPointF(0, -7.5), centre + QPointF(6.5, 0));
    eye.quadTo(centre + QPointF(0, 7.5), centre + QPointF(-6.5, 0));
    painter.drawPath(eye);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(centre, 2.3, 2.3);
}

QString Label(ButtonAction action)
{
    switch (action) {
    case ButtonAction::Create:
        return QStringLiteral("New");
    case ButtonAction::Join:
        return QStringLiteral("Join");
    case ButtonAction::Watch:
        return QStringLiteral("Watch");
    }
    return {};
}

// The path of a five-pointed star centred at `centre`.
QPainterPath Star(const QPointF& centre, double outer, double inner)
{
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? outer : inner;
        const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const QPointF point = centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
        if (i == 0)
            star.moveTo(point);
        else
            star.lineTo(point);
    }
    star.closeSubpath();
    return star;
}
} // namespace

QImage PaintButton(const QString& fontPath, ButtonAction action, ButtonState state)
{
    QImage image = Transparent(kButtonWidth, kButtonHeight);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const bool down = state == ButtonState::Down;
    const bool disabled = state == ButtonState::Disabled;
    const QRectF frame(0.5, 0.5, kButtonWidth - 1.0, kButtonHeight - 1.0);

    QLinearGradient fill(0, 0, 0, kButtonHeight);
    if (disabled) {
        fill.setColorAt(0, QColor(228, 228, 228));
        fill.setColorAt(1, QColor(214, 214, 214));
    } else if (down) {
        fill.setColorAt(0, QColor(150, 162, 178));
        fill.setColorAt(1, QColor(186, 196, 208));
    } else {
        fill.setColorAt(0, QColor(252, 252, 250));
        fill.setColorAt(1, QColor(206, 212, 220));
    }
    painter.setPen(QPen(disabled ? QColor(176, 176, 176) : QColor(88, 96, 110), 1.0));
    painter.setBrush(fill);
    painter.drawRoundedRect(frame, 5, 5);

    // Pressed, the face sinks: the content moves one pixel down and right.
    const QPointF shift = down ? QPointF(1, 1) : QPointF(0, 0);
    const QColor ink = disabled ? QColor(160, 160, 160) : QColor(28, 38, 56);

    const QPointF symbolCentre = QPointF(12, 16) + shift;
    switch (action) {
    case ButtonAction::Create:
        DrawCreateSymbol(painter, symbolCentre, ink);
        break;
    case ButtonAction::Join:
        DrawJoinSymbol(painter, symbolCentre, ink);
        break;
    case ButtonAction::Watch:
        DrawWatchSymbol(painter, symbolCentre, ink);
        break;
    }

    const QRawFont font = LoadFont(fontPath, 10.5);
    QPainterPath label = TextPath(font, Label(action));
    // Centred in the space right of the symbol, on a baseline that centres
    // the capitals vertically.
    const double left = 21, right = kButtonWidth - 3;
    const double x =
        left + (right - left - label.boundingRect().width()) / 2.0 - label.boundingRect().left();
    const double baseline = (kButtonHeight + font.capHeight()) / 2.0;
    label.translate(QPointF(x, baseline) + shift);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawPath(label);
    painter.end();
    return Finished(image);
}

QImage PaintGameBackground()
{
    // A dark green baize: a soft cloudy layer and a fine fibre layer, both
    // periodic over the tile so that the tiling shows no seams.
    constexpr int kTile = 256;
    const PeriodicNoise cloud(41, 6);
    const PeriodicNoise fibre(43, 128);
    QImage image(kTile, kTile, QImage::Format_RGB32);
    for (int y = 0; y < kTile; ++y) {
        for (int x = 0; x < kTile; ++x) {
            const double u = x * 6.0 / kTile, v = y * 6.0 / kTile;
            const double soft = cloud.Fractal(u, v, 3) - 0.5;
            const double fine = fibre.At(x * 128.0 / kTile, y * 128.0 / kTile) - 0.5;
            const double light = 1.0 + 0.16 * soft + 0.07 * fine;
            const int r = std::clamp(static_cast<int>(std::lround(46 * light)), 0, 255);
            const int g = std::clamp(static_cast<int>(std::lround(84 * light)), 0, 255);
            const int b = std::clamp(static_cast<int>(std::lround(68 * light)), 0, 255);
            image.setPixel(x, y, qRgb(r, g, b));
        }
    }
    return image;
}

QImage PaintTurnMarker()
{
    // An amber arrow pointing at the name, with a dark outline for white
    // panels and a light rim for black ones.
    constexpr int kSize = 28;
    QImage image = Transparent(kSize, kSize);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath arrow;
    arrow.moveTo(5, 4.5);
    arrow.lineTo(23.5, 14);
    arrow.lineTo(5, 23.5);
    arrow.lineTo(9, 14);
    arrow.closeSubpath();
    painter.setPen(QPen(QColor(245, 240, 225), 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(arrow);
    QLinearGradient fill(0, 4, 0, 24);
    fill.setColorAt(0, QColor(255, 208, 72));
    fill.setColorAt(1, QColor(226, 140, 20));
    painter.setPen(QPen(QColor(60, 36, 6), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(fill);
    painter.drawPath(arrow);
    painter.end();
    return Finished(image);
}

QImage PaintWinnerMarker()
{
    constexpr int kSize = 26;
    QImage image = Transparent(kSize, kSize);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath star = Star(QPointF(13, 13.8), 11.2, 4.6);
    painter.setPen(QPen(QColor(245, 240, 225), 3.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(star);
    QLinearGradient fill(0, 2, 0, 24);
    fill.setColorAt(0, QColor(255, 226, 96));
    fill.setColorAt(1, QColor(214, 150, 16));
    painter.setPen(QPen(QColor(80, 50, 4), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(fill);
    painter.drawPath(star);
    painter.end();
    return Finished(image);
}

QImage PaintIcon(const QByteArray& knightSvg, int size)
{
    QImage image = Transparent(size, size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double unit = size / 64.0;
    const QRectF tile(2 * unit, 2 * unit, 60 * unit, 60 * unit);
    QPainterPath rounded;
    rounded.addRoundedRect(tile, 10 * unit, 10 * unit);

    // Two light and two dark board squares, clipped to a rounded tile.
    painter.setClipPath(rounded);
    painter.fillRect(tile, QColor(239, 219, 180));
    const double half = 30 * unit;
    painter.fillRect(QRectF(tile.left() + half, tile.top(), half, half), QColor(171, 122, 84));
    painter.fillRect(QRectF(tile.left(), tile.top() + half, half, half), QColor(171, 122, 84));
    painter.setClipping(false);
    painter.setPen(QPen(QColor(70, 46, 28), 1.5 * unit));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(rounded);

    const PieceScheme white{QColor(255, 255, 255), QColor(214, 206, 190), QColor(26, 22, 18),
                            QColor(26, 22, 18), 1.5};
    const QImage knight =
        RenderPieceSvg(knightSvg, white, static_cast<int>(std::lround(56 * unit)));
    // The knight's shape leans left in its canvas; this centres it on the tile.
    painter.drawImage(QPointF(6 * unit, 3 * unit), knight);
    painter.end();
    return Finished(image);
}
