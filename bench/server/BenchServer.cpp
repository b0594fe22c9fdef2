#include "BenchServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tolvar::bench {

ServerChild StartServer(const std::string& binary, const std::string& database,
                        const std::string& log, const std::vector<std::string>& extra)
{
    ServerChild child;
    child.pid = ::fork();
    if (child.pid == 0) {
        // The server goes when the benchmark goes, however it ends.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(fd, STDERR_FILENO);
        std::vector<std::string> arguments = {binary, "--port", "0"};
        if (!database.empty())
            arguments.insert(arguments.end(), {"--db", database});
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    const std::string marker = "listening on 127.0.0.1:";
    for (int i = 0; i < 500 && child.port == 0; ++i) {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        std::size_t at = text.str().rfind(marker);
        if (at != std::string::npos)
            child.port =
                static_cast<std::uint16_t>(std::atoi(text.str().c_str() + at + marker.size()));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return child;
}

std::vector<std::string> CrowdOptions()
{
    return {"--set", "max-guests-per-address=100000",         "--set", "max-waiting-logins=100000",
            "--set", "max-waiting-logins-per-address=100000", "--set", "flood-lines-per-second=0"};
}

std::string RunDirectory(const std::string& name)
{
    std::string dir = std::filesystem::temp_directory_path() /
                      ("tolvar-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

ServerChild StartResumingServer(const std::string& binary, const std::string& dir,
                                const std::string& log)
{
    std::vector<std::string> extra = CrowdOptions();
    extra.insert(extra.end(), {"--set", "hash-cost=minimum", "--grace-seconds", "60"});
    return StartServer(binary, dir + "/server.db", dir + "/" + log, extra);
}

long PeakMemoryKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

} // namespace tolvar::bench
