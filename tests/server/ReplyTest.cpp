#include "server/Reply.h"

#include "net/ServerLine.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tolvar::server;

TEST(Reply, EveryLineByteForByte)
{
    struct Case
    {
        std::string line;
        const char* expected;
    };
    const Case cases[] = {
        {Reply::Greeting("Tolvar chess server"), "101 1.31 :Tolvar chess server\n"},
        {Reply::Moved(12, 3, "E7E8Q"), "114 12 3 E7E8Q\n"},
        {Reply::PublicChat("alice", "hi all"), "115 alice lobby :hi all\n"},
        {Reply::GameInfo(12, "alice", "", "Let's Play!"), "118 12 1 0 alice :Let's Play!\n"},
        {Reply::GameInfo(12, "", "bob", "Let's Play!"), "118 12 0 1 bob :Let's Play!\n"},
        {Reply::GameInfo(12, "alice", "bob", "Let's Play!"), "118 12 1 1 alice bob :Let's Play!\n"},
        {Reply::GameInfo(7, "alice", "", ""), "118 7 1 0 alice\n"},
        {Reply::GameInfo(7, "alice", "bob", ""), "118 7 1 1 alice bob\n"},
        {Reply::GameEnded(12, "White mates. 1-0"), "119 12 : White mates. 1-0\n"},
        {Reply::Watching(12, "alice", "bob", "E2E4 E7E5 "), "120 12 alice bob :E2E4 E7E5 \n"},
        {Reply::Watching(12, "alice", "bob", ""), "120 12 alice bob :\n"},
        {Reply::GameChat("bob", 12, "gg"), "123 bob 12 :gg\n"},
        {Reply::LoggedIn("alice"), "201 :welcome, alice\n"},
        {Reply::AccountCreated("alice"), "401 :account alice created\n"},
        {Reply::AccountRefused("the name alice is taken"), "402 :the name alice is taken\n"},
        {Reply::LoginRefused(), "403 :unknown name or wrong password\n"},
        {Reply::Refused("log in first"), "404 :log in first\n"},
        {Reply::MoveRefused(12, "E2E5", "illegal move"), "405 12 E2E5 :illegal move\n"},
        {Reply::NoSuchGame("99"), "406 99 :no such game\n"},
        {Reply::NoSuchGame(std::string(30, '9')), "406 99999999999999999999... :no such game\n"},
        {Reply::MoveRefused(1, std::string(25, 'E'), "illegal move"),
         "405 1 EEEEEEEEEEEEEEEEEEEE... :illegal move\n"},
        {Reply::NotAllowed("game 12 is full"), "407 :game 12 is full\n"},
        {Reply::AlreadyLoggedIn("alice"), "504 :alice is already logged in\n"},
        {Reply::Aborted(12, 0), "601 12 0\n"},
        {Reply::Aborted(12, 1), "601 12 1\n"},
        {Reply::UserOnline("alice", 1516), "700 alice 1516\n"},
        {Reply::UserArrived("bob", 1500), "701 bob 1500\n"},
        {Reply::UserLeft("bob"), "702 bob\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.line, c.expected);
}

namespace {

// The arguments as the client reads them, with the client's own splitting.
std::vector<std::string> ClientArguments(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return ServerLine::from_string(line).args;
}

} // namespace

TEST(Reply, GameLinesPutTheSeatsWhereTheClientReadsThem)
{
    // args[1] flags the black seat, args[2] the white one; names follow,
    // black first; the description is last.
    using Args = std::vector<std::string>;
    EXPECT_EQ(ClientArguments(Reply::GameInfo(5, "ann", "", "d e")),
              (Args{"5", "1", "0", "ann", "d e"}));
    EXPECT_EQ(ClientArguments(Reply::GameInfo(5, "", "bo", "d")), (Args{"5", "0", "1", "bo", "d"}));
    EXPECT_EQ(ClientArguments(Reply::GameInfo(5, "ann", "bo", "d")),
              (Args{"5", "1", "1", "ann", "bo", "d"}));
    // The watch reply keeps its trailing blank so the client replays the last move.
    EXPECT_EQ(ClientArguments(Reply::Watching(5, "ann", "bo", "E2E4 ")),
              (Args{"5", "ann", "bo", "E2E4 "}));
    // An empty move list is still an argument: the client needs four.
    EXPECT_EQ(ClientArguments(Reply::Watching(5, "ann", "bo", "")).size(), 4u);
}
