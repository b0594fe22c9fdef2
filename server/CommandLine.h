#pragma once
// The server's command line: tolvar-server [--listen ADDRESS] [--port N]
// [--db PATH] [--log PATH] [--set NAME=VALUE]..., --help, --version.
// Pure; any thread.

#include "server/ServerConfig.h"

#include <functional>
#include <string>
#include <vector>

namespace tolvar::server {

struct CommandLine
{
    enum class Action
    {
        Run,
        Help,
        Version,
        Fail
    };
    Action action = Action::Run;
    ServerConfig config;
    std::string logPath; // empty: the log goes to standard error
    std::string message; // the help or version text, or what was wrong
};

// Reads the environment through `environment` (a getenv look-alike) for the
// default database below the XDG data directory.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::function<const char*(const char*)>& environment);

// $XDG_DATA_HOME/tolvar/server.db, else ~/.local/share/tolvar/server.db;
// empty when neither variable gives an absolute directory.
std::string DefaultDatabasePath(const std::function<const char*(const char*)>& environment);

} // namespace tolvar::server
