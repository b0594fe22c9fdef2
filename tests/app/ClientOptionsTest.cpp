#include "app/ClientOptions.h"

#include <gtest/gtest.h>

TEST(ClientOptions, PortAndServerFromTheCommandLineOrTheEnvironment)
{
    struct Case
    {
        std::vector<std::string> arguments;
        const char* variable;
        int port;
        std::string server;
        bool help;
        bool error;
    };
    const std::vector<Case> cases = {
        {{"tolvar"}, nullptr, 5000, "", false, false},
        {{"tolvar", "--port", "6001"}, nullptr, 6001, "", false, false},
        {{"tolvar", "--port=65535", "--server", "chess.example"},
         nullptr,
         65535,
         "chess.example",
         false,
         false},
        {{"tolvar", "--server=h", "-platform", "offscreen"}, "7000", 7000, "h", false, false},
        {{"tolvar"}, "", 5000, "", false, false},
        {{"tolvar", "--port", "6001"}, "nonsense", 6001, "", false, false},
        {{"tolvar", "--help"}, nullptr, 5000, "", true, false},
        {{"tolvar", "-h"}, nullptr, 5000, "", true, false},
        {{"tolvar"}, "70000", 0, "", false, true},
        {{"tolvar", "--port", "0"}, nullptr, 0, "", false, true},
        {{"tolvar", "--port", "12x"}, nullptr, 0, "", false, true},
        {{"tolvar", "--port", "-5"}, nullptr, 0, "", false, true},
        {{"tolvar", "--port"}, nullptr, 5000, "", false, true},
        {{"tolvar", "--server", ""}, nullptr, 5000, "", false, true},
    };
    for (const Case& c : cases) {
        const ClientOptions options = ClientOptions::Parse(c.arguments, c.variable);
        const std::string line = testing::PrintToString(c.arguments);
        EXPECT_EQ(!options.error.empty(), c.error) << line << ": " << options.error;
        if (c.error)
            continue;
        EXPECT_EQ(options.port, c.port) << line;
        EXPECT_EQ(options.server, c.server) << line;
        EXPECT_EQ(options.help, c.help) << line;
    }
}
