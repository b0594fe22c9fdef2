#pragma once
// A one-client chess server stand-in on a free loopback port: it accepts,
// reads lines, writes and closes when the test says so. Every wait gives up
// after ten seconds, so a test cannot hang.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

class FakeServer
{
public:
    FakeServer()
    {
        fListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fListener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(fListener, 4) == 0 &&
            ::getsockname(fListener, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            fPort = ntohs(address.sin_port);
    }
    ~FakeServer()
    {
        CloseClient();
        ::close(fListener);
    }
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    // The port it listens on; 0 when it could not listen.
    int Port() const { return fPort; }

    // Takes the next client, dropping the previous one.
    bool Accept()
    {
        if (!_Ready(fListener, kTimeout))
            return false;
        CloseClient();
        fReceived.clear();
        fClient = ::accept4(fListener, nullptr, nullptr, SOCK_CLOEXEC);
        return fClient >= 0;
    }

    // The next line the client sent, with its CR LF; nothing on timeout or EOF.
    std::optional<std::string> ReadLine()
    {
        for (;;) {
            size_t end = fReceived.find("\r\n");
            if (end != std::string::npos) {
                std::string line = fReceived.substr(0, end + 2);
                fReceived.erase(0, end + 2);
                return line;
            }
            if (_Read() <= 0)
                return std::nullopt;
        }
    }

    // True once the client has sent something (left unread).
    bool WaitForData() { return _Ready(fClient, kTimeout); }

    // True when the client closed or shut down its end (in time).
    bool WaitForClose()
    {
        for (;;) {
            if (!_Ready(fClient, kTimeout))
                return false;
            if (_Read() <= 0)
                return true;
        }
    }

    bool Write(const std::string& text)
    {
        size_t sent = 0;
        while (sent < text.size()) {
            ssize_t count = ::send(fClient, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (count <= 0)
                return false;
            sent += static_cast<size_t>(count);
        }
        return true;
    }

    void CloseClient()
    {
        if (fClient >= 0)
            ::close(fClient);
        fClient = -1;
    }

private:
    static constexpr std::chrono::milliseconds kTimeout{10000};

    static bool _Ready(int fd, std::chrono::milliseconds timeout)
    {
        pollfd waiting{fd, POLLIN, 0};
        return fd >= 0 && ::poll(&waiting, 1, static_cast<int>(timeout.count())) == 1;
    }

    // Appends what arrives within the timeout; above 0 when something did.
    ssize_t _Read()
    {
        if (!_Ready(fClient, kTimeout))
            return -1;
        char buffer[65536];
        ssize_t count = ::recv(fClient, buffer, sizeof buffer, 0);
        if (count > 0)
            fReceived.append(buffer, static_cast<size_t>(count));
        return count;
    }

    int fListener = -1;
    int fClient = -1;
    int fPort = 0;
    std::string fReceived;
};
