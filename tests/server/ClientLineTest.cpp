#include "server/ClientLine.h"
#include "server/LineFramer.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tolvar::server;

TEST(ClientLine, Splitting)
{
    struct Case
    {
        const char* line;
        const char* command;
        std::vector<std::string> words;
        bool hasText;
        const char* text;
    };
    const Case cases[] = {
        {"GAMES", "GAMES", {}, false, ""},
        {"games", "GAMES", {}, false, ""},
        {"MAKE 1 :Let's Play!", "MAKE", {"1"}, true, "Let's Play!"},
        {"MAKE 0", "MAKE", {"0"}, false, ""},
        {"MAKE 1 :", "MAKE", {"1"}, true, ""},
        {"PUBLMSG :  two  blanks kept ", "PUBLMSG", {}, true, "  two  blanks kept "},
        {"GAMEMSG 12 :a: b :c", "GAMEMSG", {"12"}, true, "a: b :c"},
        {"MOVE  12   E2E4", "MOVE", {"12", "E2E4"}, false, ""},
        {"OBSERVE 7 on", "OBSERVE", {"7", "on"}, false, ""},
        {"  ABORT 3", "ABORT", {"3"}, false, ""},
        {"", "", {}, false, ""},
    };
    for (const Case& c : cases) {
        ClientLine parsed = ClientLine::Parse(c.line);
        EXPECT_EQ(parsed.Command(), c.command) << c.line;
        EXPECT_EQ(parsed.Words(), c.words) << c.line;
        EXPECT_EQ(parsed.HasText(), c.hasText) << c.line;
        EXPECT_EQ(parsed.Text(), c.text) << c.line;
    }
}

TEST(ClientLine, CredentialsKeepThePasswordAsTyped)
{
    struct Case
    {
        const char* line;
        const char* name;
        const char* password;
    };
    const Case cases[] = {
        {"USER alice secret", "alice", "secret"},
        {"USER alice two words", "alice", "two words"},
        {"USER alice :colon", "alice", ":colon"},
        {"USER alice  leading", "alice", " leading"},
        {"USER alice trailing ", "alice", "trailing "},
        {"USER alice   ", "alice", "  "},
        {"USER alice", "alice", ""},
        {"USER", "", ""},
        {"CREATE bob pw", "bob", "pw"},
    };
    for (const Case& c : cases) {
        ClientLine parsed = ClientLine::Parse(c.line);
        EXPECT_EQ(parsed.CredentialName(), c.name) << c.line;
        EXPECT_EQ(parsed.CredentialPassword(), c.password) << c.line;
    }
}

namespace {

std::vector<FramedLine> Frame(LineFramer& framer, const std::string& bytes)
{
    framer.Append(bytes);
    std::vector<FramedLine> lines;
    while (auto line = framer.Next())
        lines.push_back(*line);
    return lines;
}

} // namespace

TEST(LineFramer, RemovesTheLineEndAndExactlyOneBlank)
{
    struct Case
    {
        const char* bytes;
        const char* line;
    };
    const Case cases[] = {
        {"GAMES \r\n", "GAMES"},
        {"GAMES\r\n", "GAMES"},
        {"GAMES\n", "GAMES"},
        {"GAMES \n", "GAMES"},
        {"PUBLMSG :hi  \r\n", "PUBLMSG :hi "},
        {"USER a b  \r\n", "USER a b "},
        {" \r\n", ""},
        {"x\r\r\n", "x\r"}, // only one CR is framing; the other is refused later as not text
    };
    for (const Case& c : cases) {
        LineFramer framer(1024);
        auto lines = Frame(framer, c.bytes);
        ASSERT_EQ(lines.size(), 1u) << c.bytes;
        EXPECT_FALSE(lines[0].tooLong);
        EXPECT_EQ(lines[0].text, c.line) << c.bytes;
    }
}

TEST(LineFramer, JoinsLinesSplitAcrossReadsAndKeepsTheRestForLater)
{
    LineFramer framer(1024);
    EXPECT_TRUE(Frame(framer, "MOVE 1 E2").empty());
    auto lines = Frame(framer, "E4 \r\nGAMES \r\nUSE");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "MOVE 1 E2E4");
    EXPECT_EQ(lines[1].text, "GAMES");
    EXPECT_EQ(framer.Buffered(), 3u);
    lines = Frame(framer, "RS \r\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "USERS");
}

TEST(LineFramer, ALineOverTheLimitIsReportedOnceAndSkippedToItsEnd)
{
    LineFramer framer(10);
    auto lines = Frame(framer, "0123456789\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_FALSE(lines[0].tooLong) << "ten bytes is still within the limit";

    // Arriving whole with its line end.
    lines = Frame(framer, "0123456789A\nGAMES\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].tooLong);
    EXPECT_EQ(lines[1].text, "GAMES");

    // Arriving in pieces: reported as soon as it passes the limit, and the
    // buffer does not keep what follows until the line end.
    lines = Frame(framer, "0123456789ABC");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].tooLong);
    EXPECT_TRUE(Frame(framer, std::string(5000, 'x')).empty());
    EXPECT_EQ(framer.Buffered(), 0u);
    lines = Frame(framer, "yy\nUSERS\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "USERS");
}
