#include "net/LineCutter.h"
#include "net/ServerLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

Lines FeedAll(const std::vector<std::string>& chunks)
{
    LineCutter cutter;
    Lines lines;
    for (const std::string& chunk : chunks)
        cutter.Feed(chunk, lines);
    return lines;
}

// A stream with every kind of line end, blank lines, a line with leading
// blanks, and a two-character line that must be skipped.
const std::string kStream = "101 1.31 :Halvik server\r\n"
                            "118 12 1 0 alice :Open game\r\n"
                            "700 bob 1500\n\r\n"
                            "ok\r\n"
                            "201 \r\n"
                            "  119 12 :resigned\r"
                            "\n\n"
                            "123 carol 7 :hi there\r\n";

const Lines kStreamLines = {
    "101 1.31 :Halvik server", "118 12 1 0 alice :Open game", "700 bob 1500", "201 ",
    "119 12 :resigned",        "123 carol 7 :hi there"};

} // namespace

TEST(ServerLine, SplitsCodeAndArguments)
{
    struct Case
    {
        std::string line;
        std::string code;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases = {
        {"201 ", "201", {}},
        {"201", "201", {}},
        {"118 12 w b :Open game", "118", {"12", "w", "b", "Open game"}},
        {"700   bob    1500  ", "700", {"bob", "1500"}},
        {"123 carol 7 :hi  there : yes", "123", {"carol", "7", "hi  there : yes"}},
        {"115alice x", "115", {"alice", "x"}},
        {"102 a :", "102", {"a", ""}},
        {"102 a:b c", "102", {"a:b", "c"}},
        {"12", "12", {}},
        {"", "", {}},
    };
    for (const Case& c : cases) {
        ServerLine parsed = ServerLine::from_string(c.line);
        EXPECT_EQ(parsed.code, c.code) << c.line;
        EXPECT_EQ(parsed.args, c.args) << c.line;
    }
}

TEST(LineCutter, SameLinesWhereverTheStreamIsCut)
{
    for (size_t first = 0; first <= kStream.size(); ++first) {
        for (size_t second = first; second <= kStream.size(); ++second) {
            Lines lines = FeedAll({kStream.substr(0, first), kStream.substr(first, second - first),
                                   kStream.substr(second)});
            ASSERT_EQ(lines, kStreamLines) << "cut at " << first << " and " << second;
        }
    }
}

TEST(LineCutter, OverlongLineIsDroppedUpToItsEnd)
{
    LineCutter cutter;
    Lines lines;
    cutter.Feed("201 \r\n115 a b :", lines);
    const std::string filler(999, 'x');
    size_t fed = 0;
    while (fed <= LineCutter::kMaxLineLength + filler.size()) {
        cutter.Feed(filler, lines);
        fed += filler.size();
        ASSERT_LE(cutter.Pending().size(), LineCutter::kMaxLineLength);
    }
    // The rest of the overlong line, then its end, then a good line.
    cutter.Feed("xxx 999 tail\r\n700 bob 1500\r\n", lines);
    EXPECT_EQ(lines, (Lines{"201 ", "700 bob 1500"}));
}

TEST(LineCutter, LineJustUnderTheBoundIsKept)
{
    std::string argument(LineCutter::kMaxLineLength - 9, 'y');
    std::string line = "115 a b :" + argument;
    ASSERT_LE(line.size(), LineCutter::kMaxLineLength);
    Lines lines = FeedAll({line.substr(0, 500), line.substr(500), "\r\n"});
    EXPECT_EQ(lines, Lines{line});
}
