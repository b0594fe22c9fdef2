#include "ServerHarness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace tolvar::server::test {

using Clock = std::chrono::steady_clock;

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tolvar-server-XXXXXX";
    if (char* made = ::mkdtemp(pattern.data()))
        fPath = made;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    if (!fPath.empty())
        std::filesystem::remove_all(fPath, ignored);
}

ServerProcess::ServerProcess(std::string binary, std::vector<std::string> arguments,
                             std::string log, std::string database, bool asIs, bool unprivileged)
    : fLog(std::move(log))
{
    fLogStart = Log().size(); // a restart appends to the log of the one before
    if (!asIs) {
        std::vector<std::string> fixed = {"--port", "0",     "--db",
                                          database, "--set", "hash-cost=minimum"};
        arguments.insert(arguments.begin(), fixed.begin(), fixed.end());
    }
    arguments.insert(arguments.begin(), binary);
    fPid = ::fork();
    if (fPid != 0)
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

ServerProcess::~ServerProcess()
{
    Stop(SIGKILL);
}

std::string ServerProcess::Log() const
{
    std::ifstream in(fLog);
    in.seekg(static_cast<std::streamoff>(fLogStart));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ServerProcess::Logged(std::string_view text, std::chrono::milliseconds timeout)
{
    for (auto deadline = Clock::now() + timeout; Clock::now() < deadline;) {
        if (Log().find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return Log().find(text) != std::string::npos;
}

std::uint16_t ServerProcess::WaitForPort()
{
    const std::string marker = "listening on 127.0.0.1:";
    if (!Logged(marker, 10s))
        return 0;
    std::string log = Log();
    return static_cast<std::uint16_t>(std::atoi(log.c_str() + log.rfind(marker) + marker.size()));
}

int ServerProcess::Stop(int signal)
{
    if (fPid <= 0)
        return -1;
    ::kill(fPid, signal);
    int status = -1;
    for (int i = 0; i < 1000; ++i) {
        if (::waitpid(fPid, &status, WNOHANG) == fPid) {
            fPid = -1;
            return status;
        }
        std::this_thread::sleep_for(10ms);
    }
    ::kill(fPid, SIGKILL);
    ::waitpid(fPid, &status, 0);
    fPid = -1;
    return -1;
}

int ServerProcess::Wait()
{
    for (int i = 0; i < 1000 && fPid > 0; ++i) {
        int status = 0;
        if (::waitpid(fPid, &status, WNOHANG) == fPid) {
            fPid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

Peer::Peer(std::uint16_t port, const std::string& from, int receiveBuffer)
{
    fSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        setsockopt(fSocket, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (!from.empty()) {
        ::inet_pton(AF_INET, from.c_str(), &address.sin_addr);
        ::bind(fSocket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        Close();
    int one = 1;
    setsockopt(fSocket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

Peer::~Peer()
{
    Close();
}

void Peer::Close()
{
    if (fSocket >= 0)
        ::close(fSocket);
    fSocket = -1;
}

void Peer::SendRaw(std::string_view bytes)
{
    for (std::size_t sent = 0; fSocket >= 0 && sent < bytes.size();) {
        ssize_t n = ::send(fSocket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

bool Peer::_Fill(Clock::time_point deadline)
{
    if (fSocket < 0 || fClosed)
        return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd wait{fSocket, POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(std::max<long>(0, left.count()))) <= 0)
        return false;
    char chunk[65536];
    ssize_t n = ::recv(fSocket, chunk, sizeof chunk, 0);
    if (n <= 0) {
        fClosed = true;
        return false;
    }
    fBuffer.append(chunk, static_cast<std::size_t>(n));
    return true;
}

std::string Peer::Next(std::chrono::milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    for (;;) {
        std::size_t lf = fBuffer.find('\n');
        if (lf != std::string::npos) {
            std::string line = fBuffer.substr(0, lf);
            fBuffer.erase(0, lf + 1);
            return line;
        }
        if (!_Fill(deadline))
            return fClosed ? "<closed>" : "<nothing>";
    }
}

std::string Peer::SkipTo(std::string_view prefix, std::chrono::milliseconds timeout)
{
    for (auto deadline = Clock::now() + timeout;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        std::string line = Next(std::max(left, 0ms));
        if (line.rfind(prefix, 0) == 0 || line == "<nothing>" || line == "<closed>")
            return line;
    }
}

bool Peer::Silent(std::chrono::milliseconds quiet)
{
    return fBuffer.empty() && !_Fill(Clock::now() + quiet) && !fClosed;
}

std::string Peer::ReadChunk(std::size_t limit, std::chrono::milliseconds timeout)
{
    pollfd wait{fSocket, POLLIN, 0};
    if (fSocket < 0 || ::poll(&wait, 1, static_cast<int>(timeout.count())) <= 0)
        return {};
    std::string chunk(limit, '\0');
    ssize_t n = ::recv(fSocket, chunk.data(), limit, 0);
    chunk.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return chunk;
}

} // namespace tolvar::server::test
