#include "net/ClientLines.h"
#include "net/Reconnector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct LineCase
{
    const char* name;
    std::string line;
    std::string expected;
};

} // namespace

// Text typed by the user must never end the line early and forge another.
TEST(ClientLines, LineBreaksInFieldsCannotForgeALine)
{
    const std::vector<LineCase> cases = {
        {"chat", ClientLines::PublicMessage("hi\r\nABORT 3 \r\nthere"),
         "PUBLMSG :hiABORT 3 there \r\n"},
        {"game chat", ClientLines::GameMessage("7\n", "a\rb\nc"), "GAMEMSG 7 :abc \r\n"},
        {"user and password", ClientLines::User("al\nice", "pw\r\nGAMES"),
         "USER alice pwGAMES \r\n"},
        {"create", ClientLines::Create("x\r", "\ny"), "CREATE x y \r\n"},
        {"description", ClientLines::Make(0, "long\n game"), "MAKE 0 :long game \r\n"},
        {"description of line breaks only", ClientLines::Make(1, "\r\n"), "MAKE 1 \r\n"},
        {"move", ClientLines::Move("1", "E2E4\r\nRESIGN"), "MOVE 1 E2E4RESIGN \r\n"},
        {"NUL", ClientLines::PublicMessage(std::string("a\0b", 3)), "PUBLMSG :ab \r\n"},
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(c.line, c.expected) << c.name;
        // Exactly one line end, at the very end.
        EXPECT_EQ(c.line.find_first_of("\r\n"), c.line.size() - 2) << c.name;
    }
}

TEST(Reconnector, BackOffDoublesToSixteenSecondsThenWaitsThirtyUntilFiveMinutesHavePassed)
{
    using std::chrono::seconds;
    struct Case
    {
        int attempt;
        int elapsed;
        int wait; // -1: no more attempts
    } const cases[] = {{0, 0, 1},   {1, 1, 2},     {2, 3, 4},     {3, 7, 8},     {4, 15, 16},
                       {5, 31, 30}, {12, 241, 30}, {13, 270, 30}, {14, 271, -1}, {14, 300, -1}};
    for (const Case& c : cases) {
        std::optional<seconds> wait = Reconnector::Delay(c.attempt, seconds(c.elapsed));
        EXPECT_EQ(wait ? static_cast<int>(wait->count()) : -1, c.wait)
            << "attempt " << c.attempt << " after " << c.elapsed << " s";
    }
}
