#pragma once
// Renders the pieces of the vector piece skins. Each piece shape is an SVG
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

// Renders one SVG shape with `scheme` into a transparent `size` × `size` image.
// Returns a null image when the SVG cannot be parsed.
QImage RenderPieceSvg(const QByteArray& svg, const PieceScheme& scheme, int size);
