#include "widgets/UpdateThrottle.h"

#include <QWidget>

UpdateThrottle::UpdateThrottle(QWidget* window, int intervalMs)
    : QObject(window), fWindow(window), fInterval(intervalMs)
{
    fRelease.setSingleShot(true);
    connect(&fRelease, &QTimer::timeout, this, [this] { _Release(); });
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
    fWindow->setUpdatesEnabled(false);
    fRelease.start(static_cast<int>(fInterval - fSinceRelease.elapsed()));
}

void UpdateThrottle::_Release()
{
    fWindow->setUpdatesEnabled(true);
    fSinceRelease.start();
}
