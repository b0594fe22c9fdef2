#include "PieceSchemes.h"

namespace {
struct NamedSchemes
{
    const char* skin;
    PieceSchemePair schemes;
};

// White pieces are light with a dark outline, so they stand out on light
// squares; black pieces are dark with light inner lines, so their shape
// still shows on dark squares.
const NamedSchemes kSchemes[] = {
    {"Standard",
     {{QColor(255, 255, 255), QColor(214, 206, 190), QColor(26, 22, 18), QColor(26, 22, 18), 1.5},
      {QColor(92, 84, 76), QColor(22, 19, 16), QColor(8, 7, 6), QColor(226, 216, 198), 1.5}}},
    {"Ivory",
     {{QColor(255, 250, 232), QColor(226, 204, 160), QColor(74, 44, 20), QColor(74, 44, 20), 1.6},
      {QColor(150, 70, 48), QColor(82, 28, 18), QColor(30, 10, 6), QColor(246, 214, 186), 1.6}}},
};
} // namespace

const PieceSchemePair* FindPieceSchemes(const QString& skin)
{
    for (const NamedSchemes& entry : kSchemes) {
        if (skin == QLatin1String(entry.skin))
            return &entry.schemes;
    }
    return nullptr;
}
