#include "TextPath.h"

#include <QList>
#include <QPointF>

QRawFont LoadFont(const QString& path, double pixelSize)
{
    return QRawFont(path, pixelSize, QFont::PreferNoHinting);
}

QPainterPath TextPath(const QRawFont& font, const QString& text)
{
    QPainterPath path;
    const QList<quint32> glyphs = font.glyphIndexesForString(text);
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs);
    QPointF pen(0, 0);
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        path.addPath(font.pathForGlyph(glyphs[i]).translated(pen));
        pen += advances[i];
    }
    return path;
}

namespace {
// A coordinate to a thousandth of a unit, without trailing zeros.
QString Number(double value)
{
    QString text = QString::number(value, 'f', 3);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text == "-0" ? "0" : text;
}

QString Point(const QPainterPath::Element& e)
{
    return Number(e.x) + ',' + Number(e.y);
}
} // namespace

QString SvgPathData(const QPainterPath& path)
{
    QStringList commands;
    QPointF start;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        if (e.isMoveTo()) {
            commands << 'M' + Point(e);
            start = e;
        } else if (e.isLineTo()) {
            commands << 'L' + Point(e);
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            commands << 'C' + Point(e) + ' ' + Point(path.elementAt(i + 1)) + ' ' +
                            Point(path.elementAt(i + 2));
            i += 2;
        }
        // A subpath that returns to its start is closed, so that an outline
        // drawn along it joins there instead of ending in two caps.
        const bool last = i + 1 >= path.elementCount() || path.elementAt(i + 1).isMoveTo();
        if (last && !e.isMoveTo() && QPointF(path.elementAt(i)) == start)
            commands << "Z";
    }
    return commands.join(' ');
}
