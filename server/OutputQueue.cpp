#include "server/OutputQueue.h"

#include <algorithm>

namespace tolvar::server {

OutputQueue::OutputQueue(std::size_t burst, std::chrono::milliseconds interval,
                         std::size_t maxQueued)
    : fBurst(burst), fInterval(interval), fMaxQueued(maxQueued)
{
}

bool OutputQueue::Push(std::string_view line)
{
    if (fQueued + line.size() > fMaxQueued)
        return false;
    fOwn.append(line);
    fQueued += line.size();
    return true;
}

bool OutputQueue::Push(Piece piece, bool unbounded)
{
    std::size_t size = piece.end - piece.begin;
    if (!unbounded && fQueued + size > fMaxQueued)
        return false;
    if (size == 0)
        return true;
    _Seal();
    fPieces.push_back(std::move(piece));
    fQueued += size;
    return true;
}

void OutputQueue::_Seal()
{
    if (fOwn.empty())
        return;
    std::size_t size = fOwn.size();
    fPieces.push_back({std::make_shared<const std::string>(std::move(fOwn)), 0, size});
    fOwn = std::string();
}

std::vector<OutputQueue::Piece> OutputQueue::Take(Clock::time_point now, Clock::duration* wait)
{
    *wait = Clock::duration::zero();
    std::vector<Piece> out;
    if (Empty())
        return out;
    _Seal();

    if (fInterval <= Clock::duration::zero()) {
        out.assign(std::make_move_iterator(fPieces.begin()),
                   std::make_move_iterator(fPieces.end()));
        fPieces.clear();
        fQueued = 0;
        return out;
    }

    while (!fRecent.empty() && fRecent.front().first + fInterval <= now)
        fRecent.pop_front();
    std::size_t used = 0;
    for (const auto& write : fRecent)
        used += write.second;
    std::size_t allowed = used >= fBurst ? 0 : fBurst - used;
    if (fRecent.empty()) {
        // A line longer than a whole burst would never fit; it goes alone
        // once the interval is clear, rather than never.
        const Piece& first = fPieces.front();
        std::size_t lf = first.View().find('\n');
        std::size_t line = lf == std::string_view::npos ? first.end - first.begin : lf + 1;
        allowed = std::max(allowed, line);
    }
    std::size_t taken = 0;
    while (!fPieces.empty()) {
        Piece& piece = fPieces.front();
        std::size_t size = piece.end - piece.begin;
        if (taken + size <= allowed) {
            taken += size;
            out.push_back(std::move(piece));
            fPieces.pop_front();
            continue;
        }
        // Whole lines of this piece, as many as fit.
        std::size_t lf = piece.View().substr(0, allowed - taken).rfind('\n');
        if (lf != std::string_view::npos) {
            out.push_back({piece.text, piece.begin, piece.begin + lf + 1});
            taken += lf + 1;
            piece.begin += lf + 1;
        }
        break;
    }
    if (out.empty()) {
        *wait = fRecent.front().first + fInterval - now;
        return out;
    }
    fQueued -= taken;
    fRecent.emplace_back(now, taken);
    return out;
}

} // namespace tolvar::server
