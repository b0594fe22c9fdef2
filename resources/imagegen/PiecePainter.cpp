#include "PiecePainter.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {
// The shapes leave a generous margin on their canvas and stand high on it;
// drawn a little larger and lower they fill the cell evenly.
constexpr double kEnlarge = 1.06;
constexpr double kDrop = 0.08; // of the enlargement

QString Hex(const QColor& colour)
{
    return colour.name(QColor::HexRgb);
}

// The presentation attributes that paint an element of class `name`; false
// for an unknown class. Inner lines are a little finer than the outline,
// which they must not outweigh on the dark pieces.
bool WritePaint(QXmlStreamWriter& out, QStringView name, const PieceScheme& scheme)
{
    const QString width = QString::number(scheme.outlineWidth);
    if (name == u"body") {
        out.writeAttribute("fill", "url(#shade)");
        out.writeAttribute("stroke", Hex(scheme.outline));
        out.writeAttribute("stroke-width", width);
        out.writeAttribute("stroke-linejoin", "round");
        out.writeAttribute("stroke-linecap", "round");
    } else if (name == u"detail") {
        out.writeAttribute("fill", "none");
        out.writeAttribute("stroke", Hex(scheme.detail));
        out.writeAttribute("stroke-width", QString::number(scheme.outlineWidth * 0.8));
        out.writeAttribute("stroke-linecap", "round");
    } else if (name == u"dot") {
        out.writeAttribute("fill", Hex(scheme.detail));
        out.writeAttribute("stroke", "none");
    } else {
        return false;
    }
    return true;
}

// The part of a shape's canvas `viewBox` that a piece's picture shows.
QRectF FramedViewBox(const QRectF& viewBox)
{
    const double side = viewBox.width() / kEnlarge;
    const double extra = side * (kEnlarge - 1.0);
    return QRectF(viewBox.x() + extra / 2, viewBox.y() - extra * kDrop, side, side);
}

// The gradient that the bodies are filled with, in the coordinates of the shapes.
void WriteGradient(QXmlStreamWriter& out, const PieceScheme& scheme)
{
    out.writeStartElement("defs");
    out.writeStartElement("linearGradient");
    out.writeAttribute("id", "shade");
    out.writeAttribute("x1", "8");
    out.writeAttribute("y1", "6");
    out.writeAttribute("x2", "37");
    out.writeAttribute("y2", "39");
    out.writeAttribute("gradientUnits", "userSpaceOnUse");
    for (const auto& [offset, colour] :
         {std::pair{"0", scheme.bodyLight}, std::pair{"1", scheme.bodyShade}}) {
        out.writeEmptyElement("stop");
        out.writeAttribute("offset", offset);
        out.writeAttribute("stop-color", Hex(colour));
    }
    out.writeEndElement();
    out.writeEndElement();
}

QString ViewBoxText(const QRectF& box)
{
    QStringList numbers;
    for (double value : {box.x(), box.y(), box.width(), box.height()})
        numbers << QString::number(value, 'f', 6);
    return numbers.join(' ');
}
} // namespace

QByteArray BakePieceSvg(const QByteArray& svg, const PieceScheme& scheme, int size)
{
    const QRectF viewBox = QSvgRenderer(svg).viewBoxF();
    if (viewBox.isEmpty())
        return {};
    QXmlStreamReader in(svg);
    QByteArray baked;
    QXmlStreamWriter out(&baked);
    out.setAutoFormatting(true);
    out.writeStartDocument();
    bool root = true;
    while (!in.atEnd()) {
        switch (in.readNext()) {
        case QXmlStreamReader::StartElement:
            if (root)
                out.writeDefaultNamespace(in.namespaceUri().toString());
            out.writeStartElement(in.namespaceUri().toString(), in.name().toString());
            if (root) {
                out.writeAttribute("width", QString::number(size));
                out.writeAttribute("height", QString::number(size));
                out.writeAttribute("viewBox", ViewBoxText(FramedViewBox(viewBox)));
            }
            for (const QXmlStreamAttribute& attribute : in.attributes()) {
                const QStringView name = attribute.qualifiedName();
                if (root && (name == u"width" || name == u"height" || name == u"viewBox"))
                    continue;
                if (name != u"class")
                    out.writeAttribute(name.toString(), attribute.value().toString());
                else if (!WritePaint(out, attribute.value(), scheme))
                    return {};
            }
            if (root)
                WriteGradient(out, scheme);
            root = false;
            break;
        case QXmlStreamReader::EndElement:
            out.writeEndElement();
            break;
        default:
            // Text between the elements is only layout; comments go too.
            break;
        }
    }
    if (in.hasError())
        return {};
    out.writeEndDocument();
    return baked;
}

QImage RenderPieceSvg(const QByteArray& svg, const PieceScheme& scheme, int size)
{
    QSvgRenderer renderer(BakePieceSvg(svg, scheme, size));
    if (!renderer.isValid())
        return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}
