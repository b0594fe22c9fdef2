#pragma once
// Outlines of text taken straight from a font file, so that generated images
// do not depend on which fonts the system offers or how it hints them, and
// outlines written as SVG path data.

#include <QPainterPath>
#include <QRawFont>
#include <QString>

// The font in `path` at `pixelSize`; invalid when the file cannot be used.
QRawFont LoadFont(const QString& path, double pixelSize);

// The outline of `text` set on a baseline at y = 0, starting at x = 0.
QPainterPath TextPath(const QRawFont& font, const QString& text);

// `path` as the data of an SVG path element ("M", "L", "C" and "Z"), with
// coordinates to a thousandth of a unit.
QString SvgPathData(const QPainterPath& path);
