#pragma once
// How a cell of the lobby's game and player lists is painted: the plain
// 11-pixel font, dark blue behind a selected row and the list's black
// otherwise, the text 5 pixels in from the left and centred vertically,
// drawn once as plain text (names come from the network).

#include <QColor>
#include <QString>

class ColumnListView;
class QPainter;
class QRect;

namespace ListCell {

constexpr int kRowHeight = 13;
const QColor kBackground(0, 0, 0);
const QColor kSelected(0, 0, 120);
const QColor kText(255, 255, 255);
const QColor kOwnName(0, 255, 0);

// Gives a lobby list its black background and its row height.
void StyleList(ColumnListView* list);

void Paint(QPainter* painter, const QRect& cell, bool selected, const QString& text,
           const QColor& colour);

} // namespace ListCell
