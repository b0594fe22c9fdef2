#pragma once
// The two clocks of a timed game, in game milliseconds. Each side's clock
// starts after that side's first move (so the first move of each side is
// free); from then on the clock of the side to move runs, and each move of a
// side whose clock ran earns the increment. A value type without timers of
// its own: the caller passes the time and arms its timer for Deadline().
// Network thread only.

#include "server/GameEnd.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvar::server {

struct TimeControl
{
    int minutes = 0; // base time
    int seconds = 0; // increment per move
    bool Timed() const { return minutes > 0 || seconds > 0; }
};

class GameClock
{
public:
    using Clock = std::chrono::steady_clock;

    // `scale` makes game time run that many times faster than real time
    // (1 in play; larger in tests so that a flag falls within milliseconds).
    GameClock(TimeControl control, int scale);

    // `mover` made the game's move number `ply` (from 1) at `now`: its clock
    // stops and earns the increment, and the other side's starts if it has
    // moved before. Records the mover's time left.
    void Moved(Side mover, int ply, Clock::time_point now);
    // Stops the running clock, keeping what it shows at `now`.
    void Stop(Clock::time_point now);
    // The running clock counts from `now` on: the move it follows has only
    // now been announced, once stored, and its time so far is not charged.
    void StartFrom(Clock::time_point now);
    // Both clocks show these times, stopped (a game taken up after a restart).
    void Restore(std::int64_t whiteMs, std::int64_t blackMs);

    // Time left on `side`'s clock at `now`, never below zero.
    std::int64_t Left(Side side, Clock::time_point now) const;
    // The side whose clock runs, if any.
    std::optional<Side> Running() const { return fRunning; }
    // The moment the running side's time is used up (only while one runs).
    Clock::time_point Deadline() const;
    // The mover's time left after each move, blank-separated.
    std::string MoveTimes() const;

private:
    std::int64_t _Elapsed(Clock::time_point now) const;

    std::int64_t fIncrement;
    int fScale;
    std::int64_t fLeft[2]; // by Side
    std::optional<Side> fRunning;
    Clock::time_point fSince;
    std::vector<std::int64_t> fMoveTimes;
};

} // namespace tolvar::server
