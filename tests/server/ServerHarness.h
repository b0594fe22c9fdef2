#pragma once
// Scaffolding for tests of the real tolvar-server program: the program as a
// child process, and clients that talk to it over loopback. Every wait is
// bounded, so no test can hang. Used by the transcript runner and the tests.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tolvar::server::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A fresh directory below $TMPDIR (or /tmp), removed with its contents.
class TempDir
{
public:
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        fPath = std::string(base && *base ? base : "/tmp") + "/tolvar-server-XXXXXX";
        if (!::mkdtemp(fPath.data()))
            fPath.clear();
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(fPath, ignored);
    }
    const std::string& Path() const { return fPath; }
    std::string File(const std::string& name) const { return fPath + "/" + name; }

private:
    std::string fPath;
};

class ServerProcess
{
public:
    // Runs `binary` with `arguments`, its output appended to `log`. With a
    // `database`, --port 0, --db and the cheapest password hash come first.
    // `unprivileged`: the superuser runs it as nobody.
    ServerProcess(std::string binary, std::vector<std::string> arguments, std::string log,
                  const std::string& database = {}, bool unprivileged = false)
        : fLog(std::move(log)), fLogStart(std::ifstream(fLog, std::ios::ate).tellg())
    {
        // A restart appends to the same log: only what follows is this one's.
        fLogStart = std::max<std::streamoff>(fLogStart, 0);
        if (!database.empty())
            arguments.insert(arguments.begin(),
                             {"--port", "0", "--db", database, "--set", "hash-cost=minimum"});
        arguments.insert(arguments.begin(), binary);
        if ((fPid = ::fork()) != 0)
            return;
        int out = ::open(fLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(out, STDERR_FILENO);
        ::dup2(out, STDOUT_FILENO);
        if (unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    ~ServerProcess() { Stop(SIGKILL); }

    // What it has written so far.
    std::string Log() const
    {
        std::ifstream in(fLog);
        in.seekg(fLogStart);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Whether its output holds `text` within `timeout`.
    bool Logged(std::string_view text, std::chrono::milliseconds timeout = 5s) const
    {
        for (auto deadline = Clock::now() + timeout;; std::this_thread::sleep_for(10ms))
            if (Log().find(text) != std::string::npos || Clock::now() > deadline)
                return Log().find(text) != std::string::npos;
    }
    // The port it says it listens on (at most ten seconds); 0 if it does not.
    std::uint16_t WaitForPort() const
    {
        const std::string marker = "listening on 127.0.0.1:";
        std::string log = Logged(marker, 10s) ? Log() : marker + "0";
        return static_cast<std::uint16_t>(
            std::atoi(log.c_str() + log.find(marker) + marker.size()));
    }
    // Sends the signal (0 to wait for the end) and waits, ten seconds at
    // most; its exit code, 128 + the signal that ended it, or -1.
    int Stop(int signal)
    {
        if (fPid <= 0)
            return -1;
        ::kill(fPid, signal);
        int status = 0;
        for (int i = 0; ::waitpid(fPid, &status, WNOHANG) != fPid; ++i) {
            std::this_thread::sleep_for(10ms);
            if (i == 1000 && ::kill(fPid, SIGKILL) == 0 && ::waitpid(fPid, &status, 0))
                break;
        }
        fPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    pid_t Pid() const { return fPid; }

private:
    std::string fLog;
    std::streamoff fLogStart = 0;
    pid_t fPid = -1;
};

class Peer
{
public:
    // Connects to the port on loopback from `from` (127.0.0.1 if empty); a
    // `receiveBuffer` makes a small window, for a client that never reads.
    explicit Peer(std::uint16_t port, const std::string& from = {}, int receiveBuffer = 0)
        : fSocket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        int one = 1;
        setsockopt(fSocket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (receiveBuffer > 0)
            setsockopt(fSocket, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        if (!from.empty() && ::inet_pton(AF_INET, from.c_str(), &address.sin_addr) == 1)
            ::bind(fSocket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        fClosed = ::connect(fSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0;
    }
    ~Peer() { ::close(fSocket); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Sends `line` framed as the client frames it: a blank, then CR LF.
    void Send(std::string_view line) { SendRaw(std::string(line) + " \r\n"); }
    void SendRaw(std::string_view bytes)
    {
        for (ssize_t n = 0; !bytes.empty(); bytes.remove_prefix(static_cast<std::size_t>(n)))
            if ((n = ::send(fSocket, bytes.data(), bytes.size(), MSG_NOSIGNAL)) <= 0)
                return;
    }
    // The next line without its LF; "<nothing>" after `timeout`, "<closed>"
    // once the server has closed the connection.
    std::string Next(std::chrono::milliseconds timeout = 5s)
    {
        for (auto deadline = Clock::now() + timeout;;) {
            std::size_t lf = fBuffer.find('\n');
            if (lf != std::string::npos) {
                std::string line = fBuffer.substr(0, lf);
                fBuffer.erase(0, lf + 1);
                return line;
            }
            if (!_Fill(
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())))
                return fClosed ? "<closed>" : "<nothing>";
        }
    }
    // True when no byte arrives within `quiet`.
    bool Silent(std::chrono::milliseconds quiet = 200ms)
    {
        return fBuffer.empty() && !_Fill(quiet) && !fClosed;
    }

private:
    bool _Fill(std::chrono::milliseconds timeout)
    {
        pollfd wait{fSocket, POLLIN, 0};
        if (fClosed || ::poll(&wait, 1, static_cast<int>(std::max(0ms, timeout).count())) <= 0)
            return false;
        char chunk[65536];
        ssize_t n = ::recv(fSocket, chunk, sizeof chunk, 0);
        fClosed = n <= 0;
        fBuffer.append(chunk, n > 0 ? static_cast<std::size_t>(n) : 0);
        return !fClosed;
    }

    int fSocket;
    std::string fBuffer;
    bool fClosed = false;
};

} // namespace tolvar::server::test
