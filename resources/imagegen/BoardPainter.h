#pragma once
// Paints the board skins: 320 × 320 pixels, 8 × 8 cells of 40 pixels, the
// cell at the bottom left (A1 seen from White's side) dark.

#include <QImage>
#include <QString>
#include <QStringList>

// The names of the board skins that PaintBoard knows.
QStringList BoardSkinNames();

// Paints the board skin `name`; a null image for an unknown name.
QImage PaintBoard(const QString& name);

// Whether the cell in image column `column` and row `row` (0..7, row 0 at the
// top) is a dark square.
bool IsDarkCell(int column, int row);
