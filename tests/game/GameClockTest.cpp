// The clocks' correction rule against a simulated server: every figure is
// followed, a running clock never steps back by more than a tenth, and a
// stopped or newly started clock shows the server's figure as it is.

#include "game/GameClock.h"

#include "cgc/cgc.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Time = GameClock::Time;
using std::chrono::milliseconds;

} // namespace

// A long stretch of one running clock with figures that arrive late or
// early by up to 300 ms, as a busy network delivers them: sampled every
// 10 ms, the display never steps back by more than kLargestStepBack, never
// shows more than the latest figure counted down, and has caught up with
// it 600 ms after each figure (two figures differ by 600 ms at most).
TEST(GameClock, FiguresCorrectARunningClockWithoutVisibleStepsBack)
{
    std::mt19937 random(17);
    std::uniform_int_distribution<int64> jitter(-300, 300);
    const Time start{};
    GameClock clock;
    int64 trueLeft = 180000;
    clock.Update(trueLeft, 180000, CGC_WHITE, start);
    int64 figure = trueLeft;
    int64 figureAt = 0;
    int64 shownBefore = clock.Shown(CGC_WHITE, start);
    for (int64 now = 10; now < 120000; now += 10) {
        const Time at = start + milliseconds(now);
        if (now % 700 == 0) {
            figure = 180000 - now + jitter(random);
            figureAt = now;
            clock.Update(figure, 180000, CGC_WHITE, at);
        }
        const int64 shown = clock.Shown(CGC_WHITE, at);
        const int64 estimate = std::max<int64>(figure - (now - figureAt), 0);
        ASSERT_LE(shown, shownBefore + GameClock::kLargestStepBack) << now;
        ASSERT_LE(shown, estimate) << now;
        if (now - figureAt >= 600) {
            ASSERT_EQ(shown, estimate) << now;
        }
        EXPECT_EQ(clock.Shown(CGC_BLACK, at), 180000);
        shownBefore = shown;
    }
}

// Figures that start, switch or stop a clock are shown as they are, even
// when they give a stopped side more time (its increment).
TEST(GameClock, ClocksThatStartOrStopShowTheServersFigure)
{
    struct Step
    {
        int64 at;    // ms since the start
        int64 white; // the figures, or -1 for a Stop()
        int64 black;
        int32 running;
        int64 shownWhite; // shown 100 ms later
        int64 shownBlack;
    };
    const std::vector<Step> steps = {
        {0, 60000, 60000, -1, 60000, 60000},
        {1000, 60000, 60000, CGC_BLACK, 60000, 59900},
        // White's increment while Black's clock starts: both as sent.
        {3000, 62000, 58100, CGC_WHITE, 61900, 58100},
        // The same side keeps running with a figure 1 s above the display:
        // the display holds a tenth above what it showed.
        {4000, 62000, 58100, CGC_WHITE, 61100, 58100},
        {5000, -1, -1, -1, 61000, 58100},
        {9000, 100, 58100, CGC_WHITE, 0, 58100},
    };
    GameClock clock;
    for (const Step& step : steps) {
        const Time at = Time{} + milliseconds(step.at);
        if (step.white < 0)
            clock.Stop(at);
        else
            clock.Update(step.white, step.black, step.running, at);
        const Time later = at + milliseconds(100);
        EXPECT_EQ(clock.Shown(CGC_WHITE, later), step.shownWhite) << step.at;
        EXPECT_EQ(clock.Shown(CGC_BLACK, later), step.shownBlack) << step.at;
    }
    for (auto [ms, text] : std::vector<std::pair<int64, std::string>>{
             {0, "00:00.0"}, {19999, "00:19.9"}, {20000, "00:20"}, {10800000, "180:00"}})
        EXPECT_EQ(GameClock::Format(ms), text);
}
