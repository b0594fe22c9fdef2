#pragma once
// The bytes waiting to be written to one connection, and the pacing that
// keeps a client that reads in small pieces from losing lines: within any
// `interval`, at most `burst` bytes are handed out, always as whole lines,
// so that each of the client's reads (at most 999 bytes) ends on a line end.
//
// A connection's own lines are kept back to back in one buffer; lines that
// go to many connections are queued as pieces of one shared text, so they
// are held once however many clients wait for them. Every piece holds whole
// lines. Used on the network thread only; never blocks.

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvar::server {

class OutputQueue
{
public:
    using Clock = std::chrono::steady_clock;
    using Text = std::shared_ptr<const std::string>;
    // Bytes [begin, end) of a shared text.
    struct Piece
    {
        Text text;
        std::size_t begin;
        std::size_t end;
        std::string_view View() const { return {text->data() + begin, end - begin}; }
    };

    // A zero interval turns pacing off; `maxQueued` bounds the unsent bytes.
    OutputQueue(std::size_t burst, std::chrono::milliseconds interval, std::size_t maxQueued);

    // Queues one line, LF included, or a piece of whole lines; false (and
    // nothing queued) when the bound would be passed, unless `unbounded`.
    bool Push(std::string_view line);
    bool Push(Piece piece, bool unbounded = false);

    // Whole lines for the next write at `now`, counted against the current
    // interval (without pacing: everything queued). Empty when nothing may
    // go yet; then `*wait` says how long until something may (zero when
    // nothing is queued).
    std::vector<Piece> Take(Clock::time_point now, Clock::duration* wait);

    std::size_t QueuedBytes() const { return fQueued; }
    bool Empty() const { return fQueued == 0; }

private:
    void _Seal();

    std::size_t fBurst;
    Clock::duration fInterval;
    std::size_t fMaxQueued;
    std::deque<Piece> fPieces;
    std::string fOwn; // own lines after the last piece
    std::size_t fQueued = 0;
    // Recent writes still inside the interval: when, and how many bytes.
    std::deque<std::pair<Clock::time_point, std::size_t>> fRecent;
};

} // namespace tolvar::server
