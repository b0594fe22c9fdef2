#include "widgets/UpdateThrottle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

// Holding works on the window's repaint requests rather than on
// setUpdatesEnabled(): the item views switch their own updates off and on
// internally, and a window-wide switch leaves some of them off for good.
// A held request keeps every dirty region; the one request sent on release
// repaints them all.

UpdateThrottle::UpdateThrottle(QWidget* window, int intervalMs)
    : QObject(window), fWindow(window), fInterval(intervalMs)
{
    fRelease.setSingleShot(true);
    connect(&fRelease, &QTimer::timeout, this, [this] { _Release(); });
    fWindow->installEventFilter(this);
}

void UpdateThrottle::NoteChange()
{
    if (fRelease.isActive())
        return;
    if (!fSinceRelease.isValid() || fSinceRelease.elapsed() >= fInterval) {
        // The first change after a quiet spell shows at once; the ones that
        // follow it closely wait for the end of the interval.
        fSinceRelease.start();
        return;
    }
    fRelease.start(static_cast<int>(fInterval - fSinceRelease.elapsed()));
}

bool UpdateThrottle::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == fWindow && event->type() == QEvent::UpdateRequest && fRelease.isActive()) {
        fHeldRequest = true;
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void UpdateThrottle::_Release()
{
    fSinceRelease.start();
    if (fHeldRequest) {
        fHeldRequest = false;
        QCoreApplication::postEvent(fWindow, new QEvent(QEvent::UpdateRequest),
                                    Qt::LowEventPriority);
    }
}
