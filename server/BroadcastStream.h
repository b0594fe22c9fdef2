#pragma once
// The lines that every logged-in client receives (arrivals, departures,
// challenges, results, lobby chat), kept once for all of them. A reader's
// position in the stream says how much of it that reader has queued; it
// catches up before anything else is queued for it, so each client still
// receives every line in the order the lines were made. Network thread only.

#include "server/OutputQueue.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvar::server {

class BroadcastStream
{
public:
    std::uint64_t End() const { return fOpenStart + fOpen.size(); }
    void Append(std::string_view line) { fOpen.append(line); }

    // The bytes from `*from` to the end, as pieces of whole lines; `*from`
    // moves to the end.
    void Collect(std::uint64_t* from, std::vector<OutputQueue::Piece>* pieces);

    // Every reader has caught up: the stream need not hold anything. The
    // pieces already queued keep their texts.
    void Forget();

private:
    void _Seal();

    std::deque<std::pair<std::uint64_t, OutputQueue::Text>> fSealed; // start, text
    std::string fOpen;
    std::uint64_t fOpenStart = 0;
};

} // namespace tolvar::server
