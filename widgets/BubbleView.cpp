#include "widgets/BubbleView.h"

#include "widgets/GenericFunctions.h"

#include <QPainter>

BubbleView::BubbleView(const QRect& frame, const QString& name, const QString& text,
                       const QColor& background, const QColor& foreground, QWidget* parent)
    : QWidget(parent), fText(text), fBackground(background), fForeground(foreground)
{
    setObjectName(name);
    setGeometry(frame);
    setFont(GenericFunctions::BoldFont(15));
}

void BubbleView::SetAlignment(Qt::Alignment alignment)
{
    fAlignment = alignment;
    update();
}

void BubbleView::SetText(const QString& text)
{
    fText = text;
    update();
}

void BubbleView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), fBackground);
    painter.setPen(fForeground);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setFont(font());
    QRect text = rect().adjusted(3, 1, -3, -1);
    painter.drawText(text, static_cast<int>(fAlignment) | Qt::TextSingleLine, fText);
}
