#include "widgets/UpdateThrottle.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

TEST(UpdateThrottle, ABurstOfChangesHoldsRepaintsUntilTheIntervalEnds)
{
    QWidget window;
    window.show();
    UpdateThrottle throttle(&window, 200);
    // A first change after a quiet spell repaints at once.
    throttle.NoteChange();
    EXPECT_FALSE(throttle.IsHolding());
    EXPECT_TRUE(window.updatesEnabled());
    // The next ones, close behind, are held back together.
    throttle.NoteChange();
    throttle.NoteChange();
    EXPECT_TRUE(throttle.IsHolding());
    EXPECT_FALSE(window.updatesEnabled());
    // Released within the interval (the wait's limit is the watchdog).
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.updatesEnabled(); }, 5000));
    EXPECT_FALSE(throttle.IsHolding());
    // After a quiet spell a change shows at once again.
    QTest::qWait(250);
    throttle.NoteChange();
    EXPECT_TRUE(window.updatesEnabled());
}
