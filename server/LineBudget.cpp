#include "server/LineBudget.h"

#include <algorithm>

namespace tolvar::server {

LineBudget::LineBudget(int burst, int perSecond, Clock::time_point now)
    : fBurst(burst), fPerSecond(perSecond), fTokens(burst), fLast(now)
{
}

bool LineBudget::Take(Clock::time_point now)
{
    if (fPerSecond <= 0)
        return true;
    std::chrono::duration<double> elapsed = now - fLast;
    fLast = now;
    fTokens = std::min(fBurst, fTokens + elapsed.count() * fPerSecond);
    if (fTokens < 1.0)
        return false;
    fTokens -= 1.0;
    return true;
}

} // namespace tolvar::server
