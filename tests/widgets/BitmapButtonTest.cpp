#include "widgets/BitmapButton.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {
QImage Solid(const QColor& colour)
{
    QImage image(64, 32, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

QColor Shown(BitmapButton& button)
{
    return button.grab().toImage().pixelColor(20, 20);
}
} // namespace

TEST(BitmapButton, DrawsTheImageOfItsState)
{
    BitmapButton button;
    button.setGeometry(0, 0, 64, 32);
    button.SetImages(Solid(Qt::red), Solid(Qt::green), Solid(Qt::blue));
    button.show();
    EXPECT_EQ(button.CurrentFace(), BitmapButton::Face::Up);
    EXPECT_EQ(Shown(button), QColor(Qt::red));
    button.setDown(true);
    EXPECT_EQ(button.CurrentFace(), BitmapButton::Face::Down);
    EXPECT_EQ(Shown(button), QColor(Qt::green));
    button.setDown(false);
    button.setEnabled(false);
    EXPECT_EQ(button.CurrentFace(), BitmapButton::Face::Disabled);
    EXPECT_EQ(Shown(button), QColor(Qt::blue));
}

TEST(BitmapButton, WithoutImagesItStillClicksAndWhenDisabledItDoesNot)
{
    BitmapButton button(QRect(0, 0, 40, 40), "/nonexistent/up.png", "", "");
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);
    button.setEnabled(false);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);
    // A missing down image falls back to the up image rather than nothing.
    BitmapButton partial;
    partial.setGeometry(0, 0, 64, 32);
    partial.SetImages(Solid(Qt::red), QImage(), QImage());
    partial.show();
    partial.setDown(true);
    EXPECT_EQ(Shown(partial), QColor(Qt::red));
}
