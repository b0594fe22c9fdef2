#include "kit/BMessage.h"

#include <gtest/gtest.h>

TEST(BMessage, FieldsAreFoundByNameTypeAndIndex)
{
    BMessage message(7);
    message.AddString("user", "alice");
    message.AddInt32("length", 5);
    message.AddString("user", "bob");
    message.AddPoint("click", {12.5f, 30});

    std::string text;
    int32 number = 0;
    BPoint point;
    EXPECT_EQ(message.GetString("user"), "alice");
    EXPECT_TRUE(message.FindString("user", &text, 1));
    EXPECT_EQ(text, "bob");
    EXPECT_TRUE(message.FindInt32("length", &number));
    EXPECT_EQ(number, 5);
    EXPECT_TRUE(message.FindPoint("click", &point));
    EXPECT_EQ(point, (BPoint{12.5f, 30}));

    // Another type under the name, an index past the last and an unknown
    // name count as absent, and leave the output alone.
    text = "unchanged";
    EXPECT_FALSE(message.FindString("length", &text));
    EXPECT_FALSE(message.FindString("user", &text, 2));
    EXPECT_FALSE(message.FindInt32("user", &number));
    EXPECT_FALSE(message.FindPoint("game_id", &point));
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(number, 5);
    EXPECT_EQ(message.GetString("game_id", "fallback"), "fallback");

    BMessage copy = message;
    copy.AddString("extra", "x");
    EXPECT_FALSE(message.FindString("extra", &text));
}
