#include "server/OutputQueue.h"
#include "server/LineBudget.h"

#include <gtest/gtest.h>

using namespace tolvar::server;
using namespace std::chrono_literals;

namespace {
std::string Line(std::size_t size, char fill)
{
    return std::string(size - 1, fill) + "\n";
}

// What one write sends.
std::string Take(OutputQueue& queue, OutputQueue::Clock::time_point now,
                 OutputQueue::Clock::duration* wait)
{
    std::string bytes;
    for (const OutputQueue::Piece& piece : queue.Take(now, wait))
        bytes += piece.View();
    return bytes;
}
} // namespace

TEST(OutputQueue, PacedBurstsHoldWholeLinesWithinTheBudgetPerInterval)
{
    OutputQueue queue(999, 100ms, 1 << 20);
    auto t0 = OutputQueue::Clock::now();
    for (char c = 'a'; c < 'a' + 5; ++c)
        ASSERT_TRUE(queue.Push(Line(300, c)));

    OutputQueue::Clock::duration wait;
    std::string first = Take(queue, t0, &wait);
    EXPECT_EQ(first, Line(300, 'a') + Line(300, 'b') + Line(300, 'c'))
        << "a fourth line would pass 999 bytes";

    EXPECT_TRUE(Take(queue, t0 + 40ms, &wait).empty());
    EXPECT_EQ(wait, 60ms) << "room again when the first burst leaves the interval";

    std::string second = Take(queue, t0 + 100ms, &wait);
    EXPECT_EQ(second, Line(300, 'd') + Line(300, 'e'));
    EXPECT_TRUE(queue.Empty());
    EXPECT_TRUE(Take(queue, t0 + 300ms, &wait).empty());
    EXPECT_EQ(wait, OutputQueue::Clock::duration::zero()) << "nothing queued, nothing to wait for";
}

TEST(OutputQueue, SmallLinesFlowAtOnceWhileTheIntervalHasRoom)
{
    OutputQueue queue(999, 100ms, 1 << 20);
    auto t0 = OutputQueue::Clock::now();
    OutputQueue::Clock::duration wait;
    for (int i = 0; i < 30; ++i) {
        queue.Push(Line(20, 'm'));
        EXPECT_EQ(Take(queue, t0 + i * 1ms, &wait), Line(20, 'm')) << i;
    }
    // 600 bytes in 30 ms; another 20 lines would pass 999.
    for (int i = 0; i < 20; ++i)
        queue.Push(Line(20, 'n'));
    EXPECT_EQ(Take(queue, t0 + 30ms, &wait).size(), 380u);
}

TEST(OutputQueue, ALineLongerThanABurstGoesAloneOnceTheIntervalIsClear)
{
    OutputQueue queue(100, 100ms, 1 << 20);
    auto t0 = OutputQueue::Clock::now();
    OutputQueue::Clock::duration wait;
    queue.Push(Line(10, 'a'));
    queue.Push(Line(150, 'b'));
    EXPECT_EQ(Take(queue, t0, &wait), Line(10, 'a'));
    EXPECT_TRUE(Take(queue, t0 + 50ms, &wait).empty());
    EXPECT_EQ(Take(queue, t0 + 100ms, &wait), Line(150, 'b'));
}

TEST(OutputQueue, WithoutPacingEverythingQueuedGoesTogether)
{
    OutputQueue queue(999, 0ms, 1 << 20);
    for (int i = 0; i < 10; ++i)
        queue.Push(Line(300, 'x'));
    OutputQueue::Clock::duration wait;
    EXPECT_EQ(Take(queue, OutputQueue::Clock::now(), &wait).size(), 3000u);
}

TEST(OutputQueue, RefusesALineThatWouldPassTheBound)
{
    OutputQueue queue(999, 100ms, 1000);
    EXPECT_TRUE(queue.Push(Line(600, 'a')));
    EXPECT_FALSE(queue.Push(Line(401, 'b')));
    EXPECT_TRUE(queue.Push(Line(400, 'c')));
    EXPECT_EQ(queue.QueuedBytes(), 1000u);
    OutputQueue::Clock::duration wait;
    Take(queue, OutputQueue::Clock::now(), &wait);
    EXPECT_EQ(queue.QueuedBytes(), 400u) << "sent bytes no longer count";
}

TEST(LineBudget, ABurstThenTheSteadyRate)
{
    auto t0 = LineBudget::Clock::now();
    LineBudget budget(5, 10, t0);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(budget.Take(t0)) << i;
    EXPECT_FALSE(budget.Take(t0));
    EXPECT_FALSE(budget.Take(t0 + 50ms)) << "half a line earned";
    EXPECT_TRUE(budget.Take(t0 + 100ms));
    EXPECT_FALSE(budget.Take(t0 + 100ms));
    // A long pause refills only up to the burst.
    auto later = t0 + 10s;
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(budget.Take(later)) << i;
    EXPECT_FALSE(budget.Take(later));
}
