#include "GlyphPiecePainter.h"

#include "TextPath.h"

#include <QPainter>
#include <QPainterPathStroker>

#include <algorithm>

namespace {
// The hollow ("white") symbol of each kind; the solid one is six code points on.
char16_t HollowSymbol(PieceKind kind)
{
    switch (kind) {
    case PieceKind::King:
        return u'\u2654';
    case PieceKind::Queen:
        return u'\u2655';
    case PieceKind::Rook:
        return u'\u2656';
    case PieceKind::Bishop:
        return u'\u2657';
    case PieceKind::Knight:
        return u'\u2658';
    case PieceKind::Pawn:
        return u'\u2659';
    }
    return u'\u2659';
}

// The font draws all symbols about as tall as each other; a set on the board
// reads better when the pawn is clearly the smallest and the royals the tallest.
double RelativeSize(PieceKind kind)
{
    switch (kind) {
    case PieceKind::Pawn:
        return 0.8;
    case PieceKind::Knight:
    case PieceKind::Bishop:
    case PieceKind::Rook:
        return 0.92;
    case PieceKind::Queen:
    case PieceKind::King:
        return 1.0;
    }
    return 1.0;
}

// The silhouette of `path` with its holes filled: every contour that lies
// inside another one is dropped, the rest are united.
QPainterPath OuterOutline(const QPainterPath& path)
{
    const QList<QPolygonF> contours = path.toSubpathPolygons();
    QPainterPath outline;
    outline.setFillRule(Qt::WindingFill);
    for (qsizetype i = 0; i < contours.size(); ++i) {
        bool inner = false;
        for (qsizetype j = 0; j < contours.size() && !inner; ++j) {
            inner = j != i && !contours[i].isEmpty() &&
                    contours[j].containsPoint(contours[i].first(), Qt::OddEvenFill);
        }
        if (!inner) {
            QPainterPath piece;
            piece.addPolygon(contours[i]);
            outline = outline.united(piece);
        }
    }
    return outline;
}

// Scales and moves the symbols so that the largest of the set fills the cell
// with a margin and every piece stands on the same base line: one scale for
// all, so a pawn stays smaller than a king.
QTransform Fit(const QRawFont& font, int size)
{
    QRectF box;
    double base = 0;
    for (char16_t code = u'\u265A'; code <= u'\u265F'; ++code) {
        const QRectF glyph = TextPath(font, QString(QChar(code))).boundingRect();
        box = box.united(glyph);
        base = std::max(base, glyph.bottom());
    }
    const double margin = size * 0.06;
    const double scale =
        std::min((size - 2 * margin) / box.height(), (size - 2 * margin) / box.width());
    QTransform transform;
    transform.translate(size / 2.0, size - margin);
    transform.scale(scale, scale);
    transform.translate(-box.center().x(), -base);
    return transform;
}
} // namespace

QImage RenderGlyphPiece(const QRawFont& font, PieceKind kind, bool white, int size)
{
    const char16_t hollowCode = HollowSymbol(kind);
    const char16_t solidCode = static_cast<char16_t>(hollowCode + 6);
    if (!font.supportsCharacter(QChar(hollowCode)) || !font.supportsCharacter(QChar(solidCode)))
        return {};
    const QPainterPath solidGlyph = TextPath(font, QString(QChar(solidCode)));
    const QPainterPath hollowGlyph = TextPath(font, QString(QChar(hollowCode)));
    // Each symbol is centred on its own, since their advance widths differ,
    // and shrunk to its relative size about the middle of its base.
    const QTransform fit = Fit(font, size);
    const QRectF placed = fit.map(solidGlyph).boundingRect();
    const double relative = RelativeSize(kind);
    QTransform adjust;
    adjust.translate(size / 2.0, placed.bottom());
    adjust.scale(relative, relative);
    adjust.translate(-placed.center().x(), -placed.bottom());
    const QTransform transform = fit * adjust;
    const QPainterPath solid = transform.map(solidGlyph);
    const QPainterPath hollow = transform.map(hollowGlyph);

    const QPainterPath body = OuterOutline(solid);

    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QColor ink(24, 20, 16);
    if (white) {
        // The hollow symbol's lines do not always follow the solid one's edge,
        // so the body gets an outline of its own.
        painter.setPen(QPen(ink, size / 40.0));
        painter.setBrush(QColor(250, 247, 240));
        painter.drawPath(body);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        painter.drawPath(hollow);
    } else {
        // A light rim keeps the dark piece apart from a dark square.
        QPainterPathStroker rim;
        rim.setWidth(size / 22.0);
        rim.setJoinStyle(Qt::RoundJoin);
        painter.setBrush(QColor(230, 222, 206, 200));
        painter.drawPath(rim.createStroke(body));
        painter.setBrush(ink);
        painter.drawPath(solid);
    }
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}
