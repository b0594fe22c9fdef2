#pragma once
// The bytes waiting to be written to one connection, and the pacing that
// keeps a client that reads in small pieces from losing lines: within any
// `interval`, at most `burst` bytes are handed out, always as whole lines,
// so that each of the client's reads (at most 999 bytes) ends on a line end.
// Lines are kept back to back in one buffer, so a queued line costs its own
// bytes and nothing more. Used on the network thread only; never blocks.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <utility>

namespace tolvar::server {

class OutputQueue
{
public:
    using Clock = std::chrono::steady_clock;

    // A zero interval turns pacing off; `maxQueued` bounds the unsent bytes.
    OutputQueue(std::size_t burst, std::chrono::milliseconds interval, std::size_t maxQueued);

    // Queues one line, LF included; false (and nothing queued) when the
    // bound would be passed.
    bool Push(std::string_view line);

    // Whole lines for the next write at `now`, counted against the current
    // interval (without pacing: everything queued). Empty when nothing may
    // go yet; then `*wait` says how long until something may (zero when
    // nothing is queued).
    std::string Take(Clock::time_point now, Clock::duration* wait);

    std::size_t QueuedBytes() const { return fBuffer.size() - fStart; }
    bool Empty() const { return QueuedBytes() == 0; }

private:
    std::size_t fBurst;
    Clock::duration fInterval;
    std::size_t fMaxQueued;
    std::string fBuffer;
    std::size_t fStart = 0; // bytes at the front already handed out
    // Recent writes still inside the interval: when, and how many bytes.
    std::deque<std::pair<Clock::time_point, std::size_t>> fRecent;
};

} // namespace tolvar::server
