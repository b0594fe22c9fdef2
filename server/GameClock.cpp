#include "server/GameClock.h"

#include <algorithm>

namespace tolvar::server {

namespace {
int Index(Side side)
{
    return static_cast<int>(side);
}
} // namespace

GameClock::GameClock(TimeControl control, int scale)
    : fIncrement(control.seconds * 1000LL),
      fScale(std::max(scale, 1)), fLeft{control.minutes * 60000LL, control.minutes * 60000LL}
{
}

std::int64_t GameClock::_Elapsed(Clock::time_point now) const
{
    auto real = std::chrono::duration_cast<std::chrono::microseconds>(now - fSince).count();
    return std::max<std::int64_t>(real, 0) * fScale / 1000;
}

void GameClock::Moved(Side mover, int ply, Clock::time_point now)
{
    if (fRunning == mover) {
        fLeft[Index(mover)] = std::max<std::int64_t>(fLeft[Index(mover)] - _Elapsed(now), 0);
        fLeft[Index(mover)] += fIncrement;
    }
    fMoveTimes.push_back(fLeft[Index(mover)]);
    // After the second move both sides have moved once, and from then on
    // the side to move always has a running clock.
    fRunning.reset();
    if (ply >= 2) {
        fRunning = Opponent(mover);
        fSince = now;
    }
}

void GameClock::Stop(Clock::time_point now)
{
    if (!fRunning)
        return;
    fLeft[Index(*fRunning)] = Left(*fRunning, now);
    fRunning.reset();
}

void GameClock::StartFrom(Clock::time_point now)
{
    if (fRunning)
        fSince = now;
}

void GameClock::Restore(std::int64_t whiteMs, std::int64_t blackMs)
{
    fLeft[Index(Side::White)] = whiteMs;
    fLeft[Index(Side::Black)] = blackMs;
    fRunning.reset();
}

std::int64_t GameClock::Left(Side side, Clock::time_point now) const
{
    std::int64_t left = fLeft[Index(side)];
    if (fRunning == side)
        left -= _Elapsed(now);
    return std::max<std::int64_t>(left, 0);
}

GameClock::Clock::time_point GameClock::Deadline() const
{
    if (!fRunning)
        return Clock::time_point::max();
    // Rounded up, so that the clock shows zero once the deadline has come.
    std::int64_t real = (fLeft[Index(*fRunning)] * 1000 + fScale - 1) / fScale;
    return fSince + std::chrono::microseconds(real);
}

std::string GameClock::MoveTimes() const
{
    std::string text;
    for (std::int64_t left : fMoveTimes) {
        if (!text.empty())
            text += ' ';
        text += std::to_string(left);
    }
    return text;
}

} // namespace tolvar::server
