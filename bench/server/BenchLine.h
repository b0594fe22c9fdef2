#pragma once
// A blocking line connection to the server for the benchmarks that run one
// thread per player: lines are sent with the protocol's " \r\n" ending, and
// a receive gives up after a time without data.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace tolvar::bench {

class Line
{
public:
    Line() = default;
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;
    ~Line() { Close(); }

    // Connects to the loopback `port`; a receive waits at most `timeoutSeconds`.
    bool Open(std::uint16_t port, int timeoutSeconds = 10)
    {
        Close();
        fFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(fFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        timeval limit{timeoutSeconds, 0};
        ::setsockopt(fFd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        fBuffer.clear();
        return ::connect(fFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    void Close()
    {
        if (fFd >= 0)
            ::close(fFd);
        fFd = -1;
    }
    void Send(const std::string& line)
    {
        std::string framed = line + " \r\n";
        if (fFd >= 0)
            (void)!::send(fFd, framed.data(), framed.size(), MSG_NOSIGNAL);
    }
    // The next line (without its CR LF), or "" once the connection ends or
    // stays silent.
    std::string Next()
    {
        for (;;) {
            std::size_t end = fBuffer.find('\n');
            if (end != std::string::npos) {
                std::string line = fBuffer.substr(0, end);
                fBuffer.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            char chunk[4096];
            ssize_t got = fFd < 0 ? -1 : ::recv(fFd, chunk, sizeof chunk, 0);
            if (got <= 0)
                return {};
            fBuffer.append(chunk, static_cast<std::size_t>(got));
        }
    }
    // Reads until a line starts with `prefix`; that line, or "".
    std::string Until(const std::string& prefix)
    {
        for (std::string line = Next();; line = Next())
            if (line.empty() || line.rfind(prefix, 0) == 0)
                return line;
    }

private:
    int fFd = -1;
    std::string fBuffer;
};

} // namespace tolvar::bench
