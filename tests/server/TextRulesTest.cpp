#include "server/TextRules.h"

#include <gtest/gtest.h>

using namespace tolvar::server;

TEST(TextRules, UserNames)
{
    struct Case
    {
        const char* name;
        bool valid;
    };
    const Case cases[] = {
        {"al", true},
        {"a", false},
        {"sixteen_chars-ok", true},
        {"seventeen_chars_x", false},
        {"Bob_2", true},
        {"", false},
        {"has blank", false},
        {"colon:", false},
        {"dot.name", false},
        {"\xc3\xa9t\xc3\xa9", false}, // letters outside ASCII
        {"tab\tname", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsValidUserName(c.name), c.valid) << c.name;
}

TEST(TextRules, CleanTextRefusesControlsAndBrokenUtf8)
{
    using namespace std::string_literals;
    struct Case
    {
        std::string text;
        bool clean;
        const char* what;
    };
    const Case cases[] = {
        {"Let's Play!", true, "plain ASCII"},
        {"", true, "empty"},
        {"caf\xc3\xa9 \xe2\x99\x9e \xf0\x9f\x98\x80", true, "two, three and four byte forms"},
        {"a\rb", false, "CR"},
        {"a\nb", false, "LF"},
        {"a\0b"s, false, "NUL"},
        {"a\tb", false, "tab"},
        {"\x1b[31m", false, "escape"},
        {"\x7f", false, "DEL"},
        {"\xc2\x85", false, "C1 next-line"},
        {"\xc2\xa0", true, "no-break space, just past C1"},
        {"\xc3", false, "truncated two-byte form"},
        {"\xe2\x99", false, "truncated three-byte form"},
        {"\x80", false, "lone continuation byte"},
        {"\xc0\xaf", false, "overlong slash"},
        {"\xe0\x80\x8a", false, "overlong LF"},
        {"\xed\xa0\x80", false, "UTF-16 surrogate"},
        {"\xf4\x90\x80\x80", false, "past U+10FFFF"},
        {"\xf4\x8f\xbf\xbf", true, "U+10FFFF"},
        {"\xff", false, "byte never used in UTF-8"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsCleanText(c.text), c.clean) << c.what;
}

TEST(TextRules, ShortenedCutsBetweenCharacters)
{
    EXPECT_EQ(Shortened("E2E4", 20), "E2E4");
    EXPECT_EQ(Shortened("abcdef", 4), "abcd...");
    // The fourth byte is inside the second "é"; the cut moves before it.
    EXPECT_EQ(Shortened("a\xc3\xa9\xc3\xa9", 4), "a\xc3\xa9...");
}

TEST(TextRules, PrintableEscapesEverythingOutsidePrintableAscii)
{
    using namespace std::string_literals;
    EXPECT_EQ(Printable("MOVE 1 E2E4"), "MOVE 1 E2E4");
    EXPECT_EQ(Printable("a\r\n\0\\"s), "a\\x0d\\x0a\\x00\\x5c");
    EXPECT_EQ(Printable("\xc3\xa9"), "\\xc3\\xa9");
}
