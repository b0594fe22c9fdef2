#include "PiecePainter.h"

#include <QPainter>
#include <QSvgRenderer>

namespace {
QString Css(const QColor& colour)
{
    return colour.name(QColor::HexRgb);
}

// The gradient and stylesheet that paint the classes of a shape, placed right
// after the root element's start tag so that they apply to the whole drawing.
QByteArray Paint(const PieceScheme& scheme)
{
    // Inner lines are a little finer than the outline, which they must not
    // outweigh on the dark pieces.
    const QString width = QString::number(scheme.outlineWidth);
    QString text =
        QStringLiteral("<defs><linearGradient id='shade' x1='8' y1='6' x2='37' y2='39' "
                       "gradientUnits='userSpaceOnUse'>"
                       "<stop offset='0' stop-color='%1'/><stop offset='1' stop-color='%2'/>"
                       "</linearGradient></defs>"
                       "<style type='text/css'>"
                       ".body{fill:url(#shade);stroke:%3;stroke-width:%4;"
                       "stroke-linejoin:round;stroke-linecap:round}"
                       ".detail{fill:none;stroke:%5;stroke-width:%6;stroke-linecap:round}"
                       ".dot{fill:%5;stroke:none}"
                       "</style>")
            .arg(Css(scheme.bodyLight), Css(scheme.bodyShade), Css(scheme.outline), width,
                 Css(scheme.detail), QString::number(scheme.outlineWidth * 0.8));
    return text.toUtf8();
}
} // namespace

QImage RenderPieceSvg(const QByteArray& svg, const PieceScheme& scheme, int size)
{
    const int rootStart = svg.indexOf("<svg");
    const int rootEnd = rootStart < 0 ? -1 : svg.indexOf('>', rootStart);
    if (rootEnd < 0)
        return {};
    QByteArray painted = svg;
    painted.insert(rootEnd + 1, Paint(scheme));

    QSvgRenderer renderer(painted);
    if (!renderer.isValid())
        return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // The shapes leave a generous margin on their 45-unit canvas and stand
    // high on it; drawn a little larger and lower they fill the cell evenly.
    const double scale = 1.06;
    const double extra = size * (scale - 1.0);
    renderer.render(&painter, QRectF(-extra / 2, extra * 0.08, size * scale, size * scale));
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}
