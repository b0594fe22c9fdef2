#include "game/GameClock.h"

#include "cgc/cgc.h"

#include <algorithm>
#include <cstdio>

void GameClock::Update(int64 whiteMs, int64 blackMs, int32 running, Time now)
{
    // Only a clock that runs before and after the figures can be seen to
    // run backwards; it holds at most a tenth above what it showed.
    const bool keepsRunning = fTimed && running >= 0 && running == fRunning;
    const int64 shownBefore = keepsRunning ? Shown(running, now) : 0;
    fTimed = true;
    fWhiteMs = whiteMs;
    fBlackMs = blackMs;
    fRunning = running;
    fSince = now;
    fCeiling = -1;
    if (keepsRunning && _Estimate(running, now) > shownBefore + kLargestStepBack)
        fCeiling = shownBefore + kLargestStepBack;
}

void GameClock::Stop(Time now)
{
    if (fRunning < 0)
        return;
    const int64 shown = Shown(fRunning, now);
    (fRunning == CGC_WHITE ? fWhiteMs : fBlackMs) = shown;
    fRunning = -1;
    fCeiling = -1;
}

int64 GameClock::_Estimate(int32 side, Time now) const
{
    int64 left = side == CGC_WHITE ? fWhiteMs : fBlackMs;
    if (side == fRunning)
        left -= std::chrono::duration_cast<std::chrono::milliseconds>(now - fSince).count();
    return std::max<int64>(left, 0);
}

int64 GameClock::Shown(int32 side, Time now) const
{
    const int64 estimate = _Estimate(side, now);
    if (side == fRunning && fCeiling >= 0)
        return std::min(estimate, fCeiling);
    return estimate;
}

int64 GameClock::Figure(int32 side) const
{
    return side == CGC_WHITE ? fWhiteMs : fBlackMs;
}

std::string GameClock::Format(int64 ms)
{
    ms = std::max<int64>(ms, 0);
    const long long minutes = ms / 60000;
    const long long seconds = ms / 1000 % 60;
    char text[32];
    if (ms < 20000)
        std::snprintf(text, sizeof text, "%02lld:%02lld.%lld", minutes, seconds,
                      static_cast<long long>(ms / 100 % 10));
    else
        std::snprintf(text, sizeof text, "%02lld:%02lld", minutes, seconds);
    return text;
}
