#pragma once
// One side's clock beside its player panel: the time left as GameClock
// formats it, on a light face while the clock runs (with a marker on the
// left), on a grey face while it stands, and in red under ten seconds.
//
// A child widget of the game window, which owns the clocks it reads and
// repaints it; GUI thread only.

#include "kit/Types.h"

#include <QWidget>

class GameClock;

class ClockDisplay : public QWidget
{
public:
    static constexpr int kWidth = 110;
    static constexpr int kHeight = 26;
    // Under this many milliseconds the time is drawn in red.
    static constexpr int64 kLowTime = 10000;

    // `clock` must outlive the display; `side` is CGC_WHITE or CGC_BLACK.
    ClockDisplay(const GameClock& clock, int32 side, QWidget* parent);

    // The text shown now, and whether the clock is marked as running.
    QString Text() const;
    bool IsRunning() const;
    bool IsLow() const;
    int32 Side() const { return fSide; }
    const GameClock& Clock() const { return fClock; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const GameClock& fClock;
    int32 fSide;
};
