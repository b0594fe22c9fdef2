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
