#pragma once
// Paints the board skins: 8 × 8 cells, 40 pixels each on the 320-pixel
// board, the cell at the bottom left (A1 seen from White's side) dark. A flat
// skin is two colours and also comes as an SVG drawing; a textured skin is
// computed texel by texel and can be painted at a multiple of the size.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

// The names of the board skins that PaintBoard knows.
QStringList BoardSkinNames();

// Paints the board skin `name` at `scale` times 320 × 320 pixels: the same
// picture, computed at every pixel of the larger board, not enlarged. A null
// image for an unknown name.
QImage PaintBoard(const QString& name, int scale = 1);

// The flat skin `name` as an SVG drawing of nominally 320 × 320 pixels;
// empty for a textured or unknown skin.
QByteArray BoardSvg(const QString& name);

// Whether the cell in image column `column` and row `row` (0..7, row 0 at the
// top) is a dark square.
bool IsDarkCell(int column, int row);
