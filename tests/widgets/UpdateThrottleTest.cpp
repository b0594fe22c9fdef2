#include "widgets/UpdateThrottle.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {
// An opaque child, like a list's viewport, that counts its paints.
class Counting : public QWidget
{
public:
    using QWidget::QWidget;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};
} // namespace

TEST(UpdateThrottle, ABurstOfChangesRepaintsOnceWhenTheIntervalEnds)
{
    QWidget window;
    auto* child = new Counting(&window);
    child->setAttribute(Qt::WA_OpaquePaintEvent);
    child->setGeometry(0, 0, 50, 50);
    window.resize(100, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    UpdateThrottle throttle(&window, 300);

    // A first change after a quiet spell repaints at once.
    throttle.NoteChange();
    int before = child->paints;
    child->update();
    ASSERT_TRUE(QTest::qWaitFor([&] { return child->paints > before; }, 5000));

    // The next ones, close behind, are held back together...
    throttle.NoteChange();
    before = child->paints;
    child->update();
    QTest::qWait(50);
    child->update();
    QTest::qWait(50);
    EXPECT_EQ(child->paints, before);
    // ...and shown by one repaint when the interval is over (the wait's
    // limit is the watchdog).
    ASSERT_TRUE(QTest::qWaitFor([&] { return child->paints > before; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(child->paints, before + 1);
}
