#pragma once
// The two clocks of a timed game as the client shows them: the server's
// figures, counted down locally for the side whose clock runs, and
// corrected by each new figure. A correction never makes a running clock
// jump up by more than kLargestStepBack: the shown time then holds still
// until the server's figure, counted down, reaches it. A clock that stops
// or starts takes the server's figure as it is (a stopped clock may gain
// its increment).
//
// Plain data with the time passed in, so that it is exact to test; GUI
// thread (owned by the game window).

#include "kit/Types.h"

#include <chrono>
#include <string>

class GameClock
{
public:
    using Time = std::chrono::steady_clock::time_point;

    static constexpr int64 kLargestStepBack = 100;

    // The server's figures (milliseconds) received at `now`; `running` is
    // CGC_WHITE, CGC_BLACK or -1 (no clock runs).
    void Update(int64 whiteMs, int64 blackMs, int32 running, Time now);
    // Stops both clocks at what they show at `now` (the game is over).
    void Stop(Time now);

    // True once the server sent figures: the game is timed.
    bool IsTimed() const { return fTimed; }
    int32 Running() const { return fRunning; }
    // The milliseconds to show for `side` at `now`; never below 0.
    int64 Shown(int32 side, Time now) const;
    // The server's latest figure for `side`, and when it came.
    int64 Figure(int32 side) const;
    Time UpdatedAt() const { return fSince; }

    // `ms` as a clock shows it: "m:ss" (minutes as many digits as they need,
    // at least two), and with tenths under 20 seconds ("00:19.4"). Rounded
    // down, so that a clock reads 00:00.0 only when it has run out.
    static std::string Format(int64 ms);

private:
    int64 _Estimate(int32 side, Time now) const;

    bool fTimed = false;
    int64 fWhiteMs = 0;
    int64 fBlackMs = 0;
    int32 fRunning = -1;
    Time fSince{};
    // While >= 0: the running clock shows no more than this.
    int64 fCeiling = -1;
};
