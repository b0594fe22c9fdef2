// tolvar-server: the chess server of Tolvar Chess.

#include "server/CommandLine.h"
#include "server/EventLog.h"
#include "server/PasswordHash.h"
#include "server/Server.h"

#include <asio.hpp>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace tolvar::server;

namespace {

// Every client holds a descriptor; the usual soft limit of 1024 is too low
// for a busy server, so take what the hard limit allows.
void RaiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    CommandLine command =
        ParseCommandLine(arguments, [](const char* name) { return std::getenv(name); });
    switch (command.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
        std::fputs(command.message.c_str(), stdout);
        return 0;
    case CommandLine::Action::Fail:
        std::fputs(("tolvar-server: " + command.message).c_str(), stderr);
        return 2;
    case CommandLine::Action::Run:
        break;
    }

    // A file-size limit makes a write fail with EFBIG, which the store
    // handles like a full disk, instead of killing the server.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    RaiseDescriptorLimit();
    if (!command.logPath.empty()) {
        int log = ::open(command.logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        // A log written before by other means may have been readable by all.
        if (log < 0 || ::fchmod(log, 0600) != 0 || ::dup2(log, STDERR_FILENO) < 0) {
            std::perror(("tolvar-server: cannot open the log " + command.logPath).c_str());
            return 1;
        }
        ::close(log);
    }
    if (!InitialisePasswordHashing()) {
        LogEvent("cannot initialise libsodium");
        return 1;
    }
    std::filesystem::path parent = std::filesystem::path(command.config.databasePath).parent_path();
    std::error_code ignored;
    if (!parent.empty())
        std::filesystem::create_directories(parent, ignored);

    asio::io_context loop(1);
    Server server(loop, command.config);
    std::string error;
    if (!server.Start(&error)) {
        LogEvent(error);
        return 1;
    }
    asio::signal_set signals(loop, SIGINT, SIGTERM);
    signals.async_wait([&](const asio::error_code& failed, int signal) {
        if (failed)
            return;
        LogEvent(std::string("stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
        server.Stop();
        loop.stop();
    });
    loop.run();
    return 0;
}
