#include "server/OutputQueue.h"

namespace tolvar::server {

OutputQueue::OutputQueue(std::size_t burst, std::chrono::milliseconds interval,
                         std::size_t maxQueued)
    : fBurst(burst), fInterval(interval), fMaxQueued(maxQueued)
{
}

bool OutputQueue::Push(std::string_view line)
{
    if (QueuedBytes() + line.size() > fMaxQueued)
        return false;
    fBuffer.append(line);
    return true;
}

std::string OutputQueue::Take(Clock::time_point now, Clock::duration* wait)
{
    *wait = Clock::duration::zero();
    if (Empty())
        return {};

    std::string out;
    if (fInterval <= Clock::duration::zero()) {
        // Everything goes; the buffer itself changes hands when it can.
        if (fStart == 0)
            out.swap(fBuffer);
        else
            out.assign(fBuffer, fStart);
        std::string().swap(fBuffer);
        fStart = 0;
        return out;
    }

    while (!fRecent.empty() && fRecent.front().first + fInterval <= now)
        fRecent.pop_front();
    std::size_t used = 0;
    for (const auto& write : fRecent)
        used += write.second;
    std::size_t allowed = used >= fBurst ? 0 : fBurst - used;
    std::size_t end = std::string::npos;
    if (allowed > 0) {
        std::size_t last = fStart + std::min(allowed, QueuedBytes()) - 1;
        std::size_t lf = fBuffer.rfind('\n', last);
        if (lf != std::string::npos && lf >= fStart)
            end = lf + 1;
    }
    if (end == std::string::npos) {
        if (!fRecent.empty()) {
            *wait = fRecent.front().first + fInterval - now;
            return {};
        }
        // A line longer than a whole burst would never fit; it goes alone
        // once the interval is clear, rather than never.
        std::size_t lf = fBuffer.find('\n', fStart);
        end = lf == std::string::npos ? fBuffer.size() : lf + 1;
    }
    out.assign(fBuffer, fStart, end - fStart);
    fStart = end;
    if (fStart == fBuffer.size()) {
        // A burst of a large answer is not kept around once sent.
        if (fBuffer.capacity() > 16 * 1024)
            std::string().swap(fBuffer);
        fBuffer.clear();
        fStart = 0;
    } else if (fStart > 64 * 1024 && fStart > fBuffer.size() / 2) {
        fBuffer.erase(0, fStart);
        fStart = 0;
    }
    fRecent.emplace_back(now, out.size());
    return out;
}

} // namespace tolvar::server
