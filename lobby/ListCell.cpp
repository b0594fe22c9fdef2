#include "lobby/ListCell.h"

#include "widgets/ColumnListView.h"
#include "widgets/GenericFunctions.h"

#include <QFontMetrics>
#include <QPainter>

namespace ListCell {

void StyleList(ColumnListView* list)
{
    QPalette colours = list->palette();
    colours.setColor(QPalette::Base, kBackground);
    list->setPalette(colours);
    list->SetRowHeight(kRowHeight);
}

void Paint(QPainter* painter, const QRect& cell, bool selected, const QString& text,
           const QColor& colour)
{
    QFont font = GenericFunctions::PlainFont(11);
    painter->setFont(font);
    painter->fillRect(cell, selected ? kSelected : kBackground);
    QFontMetrics metrics(font);
    int height = cell.bottom() - cell.top();
    qreal baseline =
        cell.bottom() - (height - (metrics.ascent() + metrics.descent())) * 0.5 - metrics.descent();
    painter->setPen(colour);
    painter->drawText(QPointF(cell.left() + 5, baseline), text);
}

} // namespace ListCell
