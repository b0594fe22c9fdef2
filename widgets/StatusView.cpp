#include "widgets/StatusView.h"

#include "widgets/GenericFunctions.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

StatusView::StatusView(const std::string& name, QWidget* parent) : QWidget(parent)
{
    setObjectName(QString::fromStdString(name));
    setFont(GenericFunctions::PlainFont(9));
    QFontMetrics metrics(font());
    fTextHeight = metrics.ascent() + metrics.descent();
    fDescent = metrics.descent();
    // A plain light ground of its own, whatever its parent shows (the game
    // window's dark texture would leave the small black text unreadable).
    QPalette ground = palette();
    ground.setColor(QPalette::Window, QColor(216, 216, 216));
    ground.setBrush(QPalette::Window, QColor(216, 216, 216));
    setPalette(ground);
    setAutoFillBackground(true);
    _WatchParent();
}

void StatusView::SetMessage(const std::string& text)
{
    fMessage = text;
    update();
}

void StatusView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    int width = this->width();
    painter.setPen(QColor(152, 152, 152));
    painter.drawLine(0, 0, width, 0);
    painter.setPen(Qt::white);
    painter.drawLine(0, 1, width, 1);
    // Vertically centred in the space below the two rules.
    int bottom = height() - 1;
    qreal baseline = bottom - ((bottom - fTextHeight) - 2) * 0.5 - fDescent;
    painter.setPen(Qt::black);
    painter.setFont(font());
    painter.drawText(QPointF(5, baseline), QString::fromStdString(fMessage));
}

bool StatusView::event(QEvent* event)
{
    if (event->type() == QEvent::ParentChange)
        _WatchParent();
    return QWidget::event(event);
}

bool StatusView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == fWatchedParent && event->type() == QEvent::Resize)
        _Place();
    return QWidget::eventFilter(watched, event);
}

void StatusView::_WatchParent()
{
    if (fWatchedParent != nullptr)
        fWatchedParent->removeEventFilter(this);
    fWatchedParent = parentWidget();
    if (fWatchedParent != nullptr) {
        fWatchedParent->installEventFilter(this);
        _Place();
    }
}

void StatusView::_Place()
{
    int height = fTextHeight + 3;
    setGeometry(0, fWatchedParent->height() - height, fWatchedParent->width(), height);
}
