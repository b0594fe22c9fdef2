#pragma once
// The lines waiting to be written to one connection, and the pacing that
// keeps the client from losing them: within any `interval`, at most `burst`
// bytes are handed out, always as whole lines, so that each of the client's
// reads (at most 999 bytes, 50 ms apart) ends on a line end. Used on the
// network thread only; never blocks.

#include <chrono>
#include <cstddef>
#include <deque>
#include <string>
#include <utility>

namespace tolvar::server {

class OutputQueue
{
public:
    using Clock = std::chrono::steady_clock;

    // A zero interval turns pacing off; `maxQueued` bounds the unsent bytes.
    OutputQueue(std::size_t burst, std::chrono::milliseconds interval, std::size_t maxQueued);

    // Queues one line; false (and nothing queued) when the bound would be passed.
    bool Push(std::string line);

    // Whole lines for the next write at `now`, counted against the current
    // interval. Empty when nothing may go yet; then `*wait` says how long
    // until something may (zero when nothing is queued).
    std::string Take(Clock::time_point now, Clock::duration* wait);

    std::size_t QueuedBytes() const { return fQueuedBytes; }
    bool Empty() const { return fLines.empty(); }

private:
    std::size_t fBurst;
    Clock::duration fInterval;
    std::size_t fMaxQueued;
    std::deque<std::string> fLines;
    std::size_t fQueuedBytes = 0;
    // Recent writes still inside the interval: when, and how many bytes.
    std::deque<std::pair<Clock::time_point, std::size_t>> fRecent;
};

} // namespace tolvar::server
