#include "server/OutputQueue.h"

namespace tolvar::server {

namespace {
// Without pacing, one write still takes no more than this.
constexpr std::size_t kUnpacedWriteBytes = 64 * 1024;
} // namespace

OutputQueue::OutputQueue(std::size_t burst, std::chrono::milliseconds interval,
                         std::size_t maxQueued)
    : fBurst(burst), fInterval(interval), fMaxQueued(maxQueued)
{
}

bool OutputQueue::Push(std::string line)
{
    if (fQueuedBytes + line.size() > fMaxQueued)
        return false;
    fQueuedBytes += line.size();
    fLines.push_back(std::move(line));
    return true;
}

std::string OutputQueue::Take(Clock::time_point now, Clock::duration* wait)
{
    *wait = Clock::duration::zero();
    if (fLines.empty())
        return {};

    std::size_t allowed = kUnpacedWriteBytes;
    if (fInterval > Clock::duration::zero()) {
        while (!fRecent.empty() && fRecent.front().first + fInterval <= now)
            fRecent.pop_front();
        std::size_t used = 0;
        for (const auto& write : fRecent)
            used += write.second;
        allowed = used >= fBurst ? 0 : fBurst - used;
        // A line longer than a whole burst would never fit; it goes alone
        // once the interval is clear, rather than never.
        if (fRecent.empty() && fLines.front().size() > allowed)
            allowed = fLines.front().size();
        if (fLines.front().size() > allowed) {
            *wait = fRecent.front().first + fInterval - now;
            return {};
        }
    }

    std::string out;
    while (!fLines.empty() && out.size() + fLines.front().size() <= allowed) {
        out += fLines.front();
        fQueuedBytes -= fLines.front().size();
        fLines.pop_front();
    }
    if (fInterval > Clock::duration::zero())
        fRecent.emplace_back(now, out.size());
    return out;
}

} // namespace tolvar::server
