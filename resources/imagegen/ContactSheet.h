#pragma once
// One picture of all the generated art, for looking at it in one go: every
// board skin with every piece skin in the initial position, every piece skin
// drawn from its SVG files at 80 pixels, one board at 1280 pixels, then the
// lobby buttons, the player panels with their markers, the tiled game
// background and the application icon.

#include <QImage>
#include <QString>

// Composes the sheet from the files below `resources` (the directory that
// holds chess-sets/, graphics/ and icons/). Missing files are left blank.
QImage ComposeContactSheet(const QString& resources);
