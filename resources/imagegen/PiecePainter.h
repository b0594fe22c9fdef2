#pragma once
// Draws the pieces of the vector piece skins. Each piece shape is an SVG
// file whose parts carry the classes "body" (filled and outlined), "detail"
// (an inner line) and "dot" (a small filled mark); a colour scheme supplies
// the paint, so one set of shapes serves both sides and several skins.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

// The paint of one side of a piece skin.
struct PieceScheme
{
    QColor bodyLight;    // body colour where the light falls (upper left)
    QColor bodyShade;    // body colour on the far side
    QColor outline;      // outline of every body part
    QColor detail;       // inner lines and marks, chosen to contrast with the body
    double outlineWidth; // in the 45-unit canvas of the shapes
};

// The SVG shape `svg` as a drawing of its own: the paint of `scheme` written
// into every part as attributes, the square canvas framed so that the piece
// fills its cell, and a nominal size of `size` pixels. Empty when the shape
// cannot be parsed or uses an unknown class.
QByteArray BakePieceSvg(const QByteArray& svg, const PieceScheme& scheme, int size);

// BakePieceSvg's drawing rendered into a transparent `size` × `size` image;
// a null image when there is none.
QImage RenderPieceSvg(const QByteArray& svg, const PieceScheme& scheme, int size);
