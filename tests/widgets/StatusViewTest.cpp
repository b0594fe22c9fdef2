#include "widgets/StatusView.h"
#include "widgets/BubbleView.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace {
bool HasPixel(const QImage& image, const QRect& area, const std::function<bool(QColor)>& match)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (match(image.pixelColor(x, y)))
                return true;
    return false;
}

bool Dark(QColor colour)
{
    return colour.lightness() < 80;
}

bool White(QColor colour)
{
    return colour == QColor(255, 255, 255);
}
} // namespace

TEST(StatusView, PlacesItselfAtTheBottomOfItsParentAndFollowsResizes)
{
    QWidget parent;
    parent.resize(650, 402);
    parent.show();
    StatusView status("status", &parent);
    int h = status.GetHeight();
    EXPECT_GT(h, 0);
    EXPECT_EQ(status.geometry(), QRect(0, 402 - (h + 3), 650, h + 3));
    parent.resize(700, 500);
    EXPECT_EQ(status.geometry(), QRect(0, 500 - (h + 3), 700, h + 3));

    // A view made without a parent places itself once it gets one.
    StatusView late("late");
    late.setParent(&parent);
    EXPECT_EQ(late.geometry(), QRect(0, 500 - (h + 3), 700, h + 3));
}

TEST(StatusView, DrawsTwoRulesAndTheMessageInBlackBelowThem)
{
    QWidget parent;
    parent.resize(300, 100);
    StatusView status("status", &parent);
    parent.show();
    QImage empty = status.grab().toImage();
    QRect below(0, 2, empty.width(), empty.height() - 2);
    for (int x = 0; x < empty.width(); ++x) {
        ASSERT_EQ(empty.pixelColor(x, 0), QColor(152, 152, 152)) << x;
        ASSERT_EQ(empty.pixelColor(x, 1), QColor(255, 255, 255)) << x;
    }
    // Nothing but background below the rules while the message is empty.
    QColor background = empty.pixelColor(0, 2);
    for (int y = below.top(); y <= below.bottom(); ++y)
        for (int x = 0; x < empty.width(); ++x)
            ASSERT_EQ(empty.pixelColor(x, y), background) << x << "," << y;

    status.SetMessage("connected as bob");
    EXPECT_EQ(status.Message(), "connected as bob");
    QImage shown = status.grab().toImage();
    EXPECT_TRUE(HasPixel(shown, QRect(5, 2, 100, shown.height() - 2), Dark));
    EXPECT_FALSE(HasPixel(shown, QRect(0, 2, 4, shown.height() - 2), Dark));
}

TEST(BubbleView, FillsWithTheBackgroundFramesAndWritesInTheTextColour)
{
    QWidget parent;
    parent.resize(400, 100);
    BubbleView bubble(QRect(10, 10, 300, 22), "", "White Mates.", QColor(0, 0, 255),
                      QColor(255, 255, 255), &parent);
    bubble.SetAlignment(Qt::AlignCenter);
    parent.show();
    QImage image = bubble.grab().toImage();
    ASSERT_EQ(image.size(), QSize(300, 22));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(255, 255, 255));
    EXPECT_EQ(image.pixelColor(299, 21), QColor(255, 255, 255));
    EXPECT_EQ(image.pixelColor(2, 2), QColor(0, 0, 255));
    // Centred text: white inside the middle, none near the left end.
    EXPECT_TRUE(HasPixel(image, QRect(100, 2, 100, 18), White));
    EXPECT_FALSE(HasPixel(image, QRect(2, 2, 40, 18), White));
}
