#pragma once
// Coalesces the repaints of a window that changes in bursts. A server can
// announce thousands of games and players in a second; repainting the whole
// window after each one would keep the GUI thread busy for many seconds.
// After a change the window repaints at once if it has not painted for an
// interval, otherwise its repaint requests are held and it repaints once
// when the interval is over. Input keeps being handled meanwhile, and
// nothing that changed is lost.
//
// Owned by the window it throttles (a QObject child); GUI thread only.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

class UpdateThrottle : public QObject
{
public:
    UpdateThrottle(QWidget* window, int intervalMs);

    // Call after each change of the window's content.
    void NoteChange();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void _Release();

    QWidget* fWindow;
    int fInterval;
    QElapsedTimer fSinceRelease;
    QTimer fRelease;
    bool fHeldRequest = false;
};
