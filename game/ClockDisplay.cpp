#include "game/ClockDisplay.h"

#include "game/GameClock.h"
#include "widgets/GenericFunctions.h"

#include <QPainter>
#include <QPainterPath>

ClockDisplay::ClockDisplay(const GameClock& clock, int32 side, QWidget* parent)
    : QWidget(parent), fClock(clock), fSide(side)
{
    resize(kWidth, kHeight);
}

QString ClockDisplay::Text() const
{
    return QString::fromStdString(
        GameClock::Format(fClock.Shown(fSide, std::chrono::steady_clock::now())));
}

bool ClockDisplay::IsRunning() const
{
    return fClock.Running() == fSide;
}

bool ClockDisplay::IsLow() const
{
    return fClock.Shown(fSide, std::chrono::steady_clock::now()) < kLowTime;
}

void ClockDisplay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool running = IsRunning();
    painter.fillRect(rect(), running ? QColor(255, 255, 224) : QColor(200, 200, 200));
    painter.setPen(QColor(0, 0, 0));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (running) {
        // A small triangle on the left marks the clock that runs.
        QPainterPath marker;
        const int middle = height() / 2;
        marker.moveTo(6, middle - 6);
        marker.lineTo(14, middle);
        marker.lineTo(6, middle + 6);
        marker.closeSubpath();
        painter.fillPath(marker, QColor(0, 0, 0));
    }
    painter.setFont(GenericFunctions::BoldFont(18));
    painter.setPen(IsLow() ? QColor(200, 0, 0) : QColor(0, 0, 0));
    painter.drawText(rect().adjusted(18, 0, -8, 0), Qt::AlignRight | Qt::AlignVCenter, Text());
}
