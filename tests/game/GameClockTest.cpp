// The clocks' correction rule against a simulated server.

#include "game/GameClock.h"

#include "cgc/cgc.h"

#include <gtest/gtest.h>

#include <random>

// One clock runs for two minutes while figures arrive every 700 ms, late
// or early by up to 300 ms: sampled every 10 ms, the display never steps
// back by more than kLargestStepBack, never shows more than the latest
// figure counted down, and has caught up with it 600 ms after each figure.
// Figures that start or stop a clock show as they are, even when they give
// the stopped side more time (its increment).
TEST(GameClock, FiguresCorrectTheDisplayWithoutVisibleStepsBack)
{
    std::mt19937 random(17);
    std::uniform_int_distribution<int64> jitter(-300, 300);
    const auto at = [](int64 ms) { return GameClock::Time{} + std::chrono::milliseconds(ms); };
    GameClock clock;
    clock.Update(180000, 180000, CGC_WHITE, at(0));
    int64 figure = 180000;
    int64 figureAt = 0;
    int64 shownBefore = figure;
    for (int64 now = 10; now < 120000; now += 10) {
        if (now % 700 == 0) {
            figure = 180000 - now + jitter(random);
            figureAt = now;
            clock.Update(figure, 180000, CGC_WHITE, at(now));
        }
        const int64 shown = clock.Shown(CGC_WHITE, at(now));
        const int64 estimate = figure - (now - figureAt);
        ASSERT_LE(shown, shownBefore + GameClock::kLargestStepBack) << now;
        ASSERT_LE(shown, estimate) << now;
        if (now - figureAt >= 600) {
            ASSERT_EQ(shown, estimate) << now;
        }
        ASSERT_EQ(clock.Shown(CGC_BLACK, at(now)), 180000);
        shownBefore = shown;
    }
    clock.Update(62000, 58000, CGC_BLACK, at(200000));
    EXPECT_EQ(clock.Shown(CGC_WHITE, at(200500)), 62000);
    EXPECT_EQ(clock.Shown(CGC_BLACK, at(200500)), 57500);
    clock.Stop(at(201000));
    EXPECT_EQ(clock.Shown(CGC_BLACK, at(205000)), 57000);
    clock.Update(100, 58000, CGC_WHITE, at(210000));
    EXPECT_EQ(clock.Shown(CGC_WHITE, at(211000)), 0);
    EXPECT_EQ(GameClock::Format(19999) + " " + GameClock::Format(20000), "00:19.9 00:20");
}
