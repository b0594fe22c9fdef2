#pragma once
// Renders pieces from the chess symbols of a font (U+2654..U+265F): the
// solid symbol gives the silhouette, the hollow one the inner drawing.

#include <QImage>
#include <QRawFont>

enum class PieceKind
{
    Pawn,
    Knight,
    Bishop,
    Rook,
    Queen,
    King
};

// One piece, `size` × `size`, transparent around it; white pieces are a light
// body under the hollow symbol's dark lines, black pieces the solid symbol
// with a light rim. A null image when the font lacks the symbol.
QImage RenderGlyphPiece(const QRawFont& font, PieceKind kind, bool white, int size);

// The same piece as an SVG drawing of `size` × `size` units, the symbols'
// outlines written as path data, so that it is drawn at any size without the
// font. Empty when the font lacks the symbol.
QByteArray GlyphPieceSvg(const QRawFont& font, PieceKind kind, bool white, int size);
