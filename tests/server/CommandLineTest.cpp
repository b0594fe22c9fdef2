#include "server/CommandLine.h"

#include <gtest/gtest.h>

#include <map>

using namespace tolvar::server;

namespace {

auto Environment(std::map<std::string, std::string> values)
{
    return [values = std::move(values)](const char* name) -> const char* {
        auto found = values.find(name);
        return found == values.end() ? nullptr : found->second.c_str();
    };
}

} // namespace

TEST(CommandLine, OptionsAndDefaults)
{
    auto env = Environment({{"HOME", "/home/u"}});
    struct Case
    {
        std::vector<std::string> args;
        const char* address;
        int port;
        const char* db;
    };
    const Case cases[] = {
        {{}, "127.0.0.1", 5000, "/home/u/.local/share/tolvar/server.db"},
        {{"--port", "0"}, "127.0.0.1", 0, "/home/u/.local/share/tolvar/server.db"},
        {{"--port=6000", "--listen", "0.0.0.0"},
         "0.0.0.0",
         6000,
         "/home/u/.local/share/tolvar/server.db"},
        {{"--db", "/tmp/x.db", "--listen=::1"}, "::1", 5000, "/tmp/x.db"},
    };
    for (const Case& c : cases) {
        CommandLine line = ParseCommandLine(c.args, env);
        ASSERT_EQ(line.action, CommandLine::Action::Run) << line.message;
        EXPECT_EQ(line.config.listenAddress, c.address);
        EXPECT_EQ(line.config.port, c.port);
        EXPECT_EQ(line.config.databasePath, c.db);
    }
}

TEST(CommandLine, TheDataDirectoryComesFromXdgFirst)
{
    EXPECT_EQ(DefaultDatabasePath(Environment({{"XDG_DATA_HOME", "/data"}, {"HOME", "/home/u"}})),
              "/data/tolvar/server.db");
    EXPECT_EQ(
        DefaultDatabasePath(Environment({{"XDG_DATA_HOME", "relative"}, {"HOME", "/home/u"}})),
        "/home/u/.local/share/tolvar/server.db")
        << "a relative XDG directory is ignored";
    EXPECT_EQ(DefaultDatabasePath(Environment({})), "");
}

TEST(CommandLine, HelpVersionAndMistakes)
{
    auto env = Environment({{"HOME", "/home/u"}});
    CommandLine help = ParseCommandLine({"--help"}, env);
    EXPECT_EQ(help.action, CommandLine::Action::Help);
    EXPECT_NE(help.message.find("--port N"), std::string::npos);

    CommandLine version = ParseCommandLine({"--version"}, env);
    EXPECT_EQ(version.action, CommandLine::Action::Version);
    EXPECT_NE(version.message.find("protocol 1.31"), std::string::npos);

    const std::vector<std::vector<std::string>> wrong = {
        {"--port"},  {"--port", "65536"}, {"--port", "-1"}, {"--port", "12x"},
        {"--bogus"}, {"--db="},           {"stray"},
    };
    for (const auto& args : wrong)
        EXPECT_EQ(ParseCommandLine(args, env).action, CommandLine::Action::Fail) << args[0];

    EXPECT_EQ(ParseCommandLine({}, Environment({})).action, CommandLine::Action::Fail)
        << "no place for the database";
}
