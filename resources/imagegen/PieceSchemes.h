#pragma once
// The colour schemes of the vector piece skins, by skin name.

#include "PiecePainter.h"

#include <QString>

struct PieceSchemePair
{
    PieceScheme white;
    PieceScheme black;
};

// The schemes of the piece skin `skin`, or null when there is none.
const PieceSchemePair* FindPieceSchemes(const QString& skin);
