#pragma once
// Paints the window graphics: the lobby's bitmap buttons, the game window's
// tiled background, the turn and winner markers of the player panels, and
// the application icon.

#include <QImage>
#include <QRawFont>
#include <QString>

enum class ButtonAction
{
    Create,
    Join,
    Watch
};
enum class ButtonState
{
    Up,
    Down,
    Disabled
};

// A 64 × 32 lobby button with a symbol and a one-word label set in `font`
// (a bold face; the pixel size is chosen here).
QImage PaintButton(const QString& fontPath, ButtonAction action, ButtonState state);

// A square tile that repeats without seams in both directions.
QImage PaintGameBackground();

// The turn marker: an arrow that reads on a black and on a white panel.
QImage PaintTurnMarker();

// The winner marker: a gold star that reads on a black and on a white panel.
QImage PaintWinnerMarker();

// The application icon at `size` × `size`: a knight before two board squares.
// `knightSvg` is the shape of the standard knight.
QImage PaintIcon(const QByteArray& knightSvg, int size);
