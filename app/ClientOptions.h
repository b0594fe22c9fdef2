#pragma once
// The client's command line:
//   --port N        the server's TCP port (1 to 65535); TOLVAR_PORT in the
//                   environment sets it when --port is not given
//   --server HOST   the server the login window offers
//   --help          prints the usage and ends the program
// Both "--port N" and "--port=N" are accepted. Other arguments are left for
// Qt, which has options of its own (-platform, -style, ...). A pure function
// of its arguments; any thread.

#include <string>
#include <vector>

struct ClientOptions
{
    static constexpr int kDefaultPort = 5000;

    int port = kDefaultPort;
    // Empty: the login window's own default.
    std::string server;
    bool help = false;
    // Set when the command line is wrong; the program then says so and ends.
    std::string error;

    // `portVariable` is the value of TOLVAR_PORT, or null when it is not set.
    static ClientOptions Parse(const std::vector<std::string>& arguments, const char* portVariable);
    static std::string Usage();
};
