#include "app/ClientOptions.h"

#include <charconv>

namespace {

// The port in `text`, or 0 when it is not a whole number from 1 to 65535.
int PortNumber(const std::string& text)
{
    int port = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, port);
    if (error != std::errc() || stop != end || port < 1 || port > 65535)
        return 0;
    return port;
}

} // namespace

ClientOptions ClientOptions::Parse(const std::vector<std::string>& arguments,
                                   const char* portVariable)
{
    ClientOptions options;
    bool portGiven = false;
    for (size_t i = 1; i < arguments.size() && options.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            continue;
        }
        std::string name = argument;
        std::string value;
        bool hasValue = false;
        if (size_t equals = argument.find('=');
            argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            hasValue = true;
        }
        if (name != "--port" && name != "--server")
            continue;
        if (!hasValue) {
            if (i + 1 == arguments.size()) {
                options.error = name + " needs a value";
                break;
            }
            value = arguments[++i];
        }
        if (name == "--server") {
            options.server = value;
            if (value.empty())
                options.error = "--server needs a host name";
        } else {
            portGiven = true;
            options.port = PortNumber(value);
            if (options.port == 0)
                options.error = "--port is not a port number: " + value;
        }
    }
    if (!portGiven && options.error.empty() && portVariable != nullptr && portVariable[0] != '\0') {
        options.port = PortNumber(portVariable);
        if (options.port == 0)
            options.error = "TOLVAR_PORT is not a port number: " + std::string(portVariable);
    }
    return options;
}

std::string ClientOptions::Usage()
{
    return "Usage: tolvar [--server HOST] [--port PORT]\n"
           "\n"
           "The Tolvar Chess client.\n"
           "\n"
           "  --server HOST  the server the login window offers (default: localhost)\n"
           "  --port PORT    the server's TCP port (default: 5000; the environment\n"
           "                 variable TOLVAR_PORT sets it when --port is not given)\n"
           "  --help         show this text and end\n"
           "\n"
           "Qt's own options, such as -platform offscreen, are accepted too.\n";
}
