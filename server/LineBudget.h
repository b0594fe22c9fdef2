#pragma once
// How many lines a connection may still send: a bucket of `burst` lines that
// refills at `perSecond` lines a second. Used on the network thread only.

#include <chrono>

namespace tolvar::server {

class LineBudget
{
public:
    using Clock = std::chrono::steady_clock;

    // perSecond <= 0 means no limit.
    LineBudget(int burst, int perSecond, Clock::time_point now);

    // Spends one line; false when the bucket is empty.
    bool Take(Clock::time_point now);

private:
    double fBurst;
    double fPerSecond;
    double fTokens;
    Clock::time_point fLast;
};

} // namespace tolvar::server
