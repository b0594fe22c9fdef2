#include "net/ClientLines.h"

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
