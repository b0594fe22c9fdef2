#include "kit/BMessage.h"

#include <gtest/gtest.h>

TEST(BMessage, FieldsOfEachTypeAreFoundByNameAndType)
{
    BMessage message(0x3f700001);
    message.AddString("data", "hello");
    message.AddInt32("length", 5);
    message.AddPoint("click_location", {12.5f, 30});

    std::string text;
    int32 number = 0;
    BPoint point;
    EXPECT_TRUE(message.FindString("data", &text));
    EXPECT_EQ(text, "hello");
    EXPECT_TRUE(message.FindInt32("length", &number));
    EXPECT_EQ(number, 5);
    EXPECT_TRUE(message.FindPoint("click_location", &point));
    EXPECT_EQ(point, (BPoint{12.5f, 30}));

    // A name holding another type counts as absent for this type.
    EXPECT_FALSE(message.FindInt32("data", &number));
    EXPECT_EQ(number, 5);
    EXPECT_FALSE(message.HasString("length"));
}

TEST(BMessage, AbsentFieldsReportAbsenceAndLeaveOutputAlone)
{
    BMessage message(1);
    std::string text = "unchanged";
    EXPECT_FALSE(message.FindString("game_id", &text));
    EXPECT_EQ(text, "unchanged");
    EXPECT_FALSE(message.HasString("game_id"));
    EXPECT_EQ(message.GetString("game_id", "fallback"), "fallback");
}

TEST(BMessage, RepeatedNamesKeepOrderAndCopiesAreIndependent)
{
    BMessage message(7);
    message.AddString("user", "alice");
    message.AddString("user", "bob");
    std::string second;
    EXPECT_TRUE(message.FindString("user", &second, 1));
    EXPECT_EQ(second, "bob");
    EXPECT_FALSE(message.FindString("user", &second, 2));

    BMessage copy = message;
    copy.AddString("extra", "x");
    copy.what = 8;
    EXPECT_FALSE(message.HasString("extra"));
    EXPECT_EQ(message.what, 7u);
    EXPECT_EQ(copy.GetString("user"), "alice");
}
