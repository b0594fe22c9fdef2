#include "GlyphPiecePainter.h"

#include "TextPath.h"

#include <QPainter>
#include <QPainterPathStroker>

#include <QXmlStreamWriter>

#include <algorithm>
#include <optional>

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

// The contours of `path` that lie inside no other one, curves and all: the
// silhouette with its holes filled. The outer contours of a font's glyph all
// run the same way round, so together they fill with the non-zero rule.
QPainterPath OuterContours(const QPainterPath& path)
{
    const QList<QPolygonF> contours = path.toSubpathPolygons();
    auto inner = [&](qsizetype i) {
        for (qsizetype j = 0; j < contours.size(); ++j) {
            if (j != i && !contours[i].isEmpty() &&
                contours[j].containsPoint(contours[i].first(), Qt::OddEvenFill))
                return true;
        }
        return false;
    };
    QPainterPath outer;
    outer.setFillRule(Qt::WindingFill);
    qsizetype contour = -1;
    bool keep = false;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        if (e.isMoveTo()) {
            keep = !inner(++contour);
            if (keep)
                outer.moveTo(e);
        } else if (keep && e.isLineTo()) {
            outer.lineTo(e);
        } else if (keep && e.isCurveTo() && i + 2 < path.elementCount()) {
            outer.cubicTo(e, path.elementAt(i + 1), path.elementAt(i + 2));
            i += 2;
        }
    }
    return outer;
}

// The contours of `path` united into one outline that nowhere crosses itself,
// so that a line drawn along it stays on the edge. Uniting turns curves into
// straight segments some half a unit off the curve at most; `precision` times
// finer when it is worked out on a drawing that many times larger.
QPainterPath United(const QPainterPath& path, double precision = 1.0)
{
    const QTransform up = QTransform::fromScale(precision, precision);
    QPainterPath outline;
    outline.setFillRule(Qt::WindingFill);
    for (const QPolygonF& contour : path.toSubpathPolygons(up)) {
        QPainterPath piece;
        piece.addPolygon(contour);
        outline = outline.united(piece);
    }
    return precision == 1.0 ? outline : up.inverted().map(outline);
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

// The paths of one piece, placed in its `size` × `size` cell.
struct GlyphShapes
{
    QPainterPath body;   // the solid symbol's outer contours
    QPainterPath solid;  // the solid symbol
    QPainterPath hollow; // the hollow symbol
};

std::optional<GlyphShapes> Shapes(const QRawFont& font, PieceKind kind, int size)
{
    const char16_t hollowCode = HollowSymbol(kind);
    const char16_t solidCode = static_cast<char16_t>(hollowCode + 6);
    if (!font.supportsCharacter(QChar(hollowCode)) || !font.supportsCharacter(QChar(solidCode)))
        return std::nullopt;
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
    GlyphShapes shapes;
    shapes.solid = transform.map(solidGlyph);
    shapes.hollow = transform.map(hollowGlyph);
    shapes.body = OuterContours(shapes.solid);
    return shapes;
}

// The paint, the same in the image and in the SVG drawing. A white piece is
// a light body under the hollow symbol's lines, with an outline of its own
// since those lines do not always follow the solid symbol's edge. A black
// piece is the solid symbol over a light rim that keeps it apart from a dark
// square.
const QColor kInk(24, 20, 16);
const QColor kWhiteBody(250, 247, 240);
const QColor kRim(230, 222, 206, 200);

double OutlineWidth(int size)
{
    return size / 40.0;
}

double RimWidth(int size)
{
    return size / 22.0;
}

QString Colour(const QColor& colour)
{
    return colour.name(QColor::HexRgb);
}
} // namespace

QImage RenderGlyphPiece(const QRawFont& font, PieceKind kind, bool white, int size)
{
    const std::optional<GlyphShapes> shapes = Shapes(font, kind, size);
    if (!shapes)
        return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    if (white) {
        painter.setPen(QPen(kInk, OutlineWidth(size)));
        painter.setBrush(kWhiteBody);
        painter.drawPath(United(shapes->body));
        painter.setPen(Qt::NoPen);
        painter.setBrush(kInk);
        painter.drawPath(shapes->hollow);
    } else {
        QPainterPathStroker rim;
        rim.setWidth(RimWidth(size));
        rim.setJoinStyle(Qt::RoundJoin);
        painter.setBrush(kRim);
        painter.drawPath(rim.createStroke(United(shapes->body)));
        painter.setBrush(kInk);
        painter.drawPath(shapes->solid);
    }
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QByteArray GlyphPieceSvg(const QRawFont& font, PieceKind kind, bool white, int size)
{
    const std::optional<GlyphShapes> shapes = Shapes(font, kind, size);
    if (!shapes)
        return {};
    QByteArray svg;
    QXmlStreamWriter out(&svg);
    out.setAutoFormatting(true);
    out.writeStartDocument();
    const QString ns = QStringLiteral("http://www.w3.org/2000/svg");
    out.writeDefaultNamespace(ns);
    out.writeStartElement(ns, "svg");
    out.writeAttribute("width", QString::number(size));
    out.writeAttribute("height", QString::number(size));
    out.writeAttribute("viewBox", QString("0 0 %1 %1").arg(size));
    auto fill = [&](const QPainterPath& shape, const QString& paint) {
        out.writeEmptyElement("path");
        out.writeAttribute("d", SvgPathData(shape));
        out.writeAttribute("fill", paint);
        out.writeAttribute("fill-rule",
                           shape.fillRule() == Qt::WindingFill ? "nonzero" : "evenodd");
    };
    // Strokes as QPainter draws them: its pens have square caps, and the
    // rim is a stroke with round joins.
    auto stroke = [&](const QColor& colour, double width, const char* join) {
        out.writeAttribute("stroke", Colour(colour));
        if (colour.alpha() != 255)
            out.writeAttribute("stroke-opacity", QString::number(colour.alphaF(), 'f', 4));
        out.writeAttribute("stroke-width", QString::number(width, 'f', 4));
        out.writeAttribute("stroke-linejoin", join);
        out.writeAttribute("stroke-linecap", "square");
    };
    // Fine enough to stay smooth on a drawing sixteen times the size.
    const QPainterPath body = United(shapes->body, 16.0);
    if (white) {
        fill(body, Colour(kWhiteBody));
        stroke(kInk, OutlineWidth(size), "bevel");
        fill(shapes->hollow, Colour(kInk));
    } else {
        fill(body, "none");
        stroke(kRim, RimWidth(size), "round");
        fill(shapes->solid, Colour(kInk));
    }
    out.writeEndElement();
    out.writeEndDocument();
    return svg;
}
