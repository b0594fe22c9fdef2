#pragma once
// A one-client chess server stand-in on a loopback port, for the connection
// tests. Every wait gives up after a timeout, so a test cannot hang.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

class FakeServer
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kTimeout{10000};

    // A pause after every read, so that a fast client fills the socket.
    std::chrono::microseconds readPause{0};

    // Listens on 127.0.0.1:`port`; 0 picks a free port.
    explicit FakeServer(int port = 0)
    {
        fListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int yes = 1;
        ::setsockopt(fListener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fListener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(fListener, 4) == 0) {
            socklen_t length = sizeof address;
            ::getsockname(fListener, reinterpret_cast<sockaddr*>(&address), &length);
            fPort = ntohs(address.sin_port);
        }
    }
    ~FakeServer()
    {
        CloseClient();
        ::close(fListener);
    }
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    // The bound port; 0 when binding failed.
    int Port() const { return fPort; }

    // Takes the next client, dropping the previous one.
    bool Accept()
    {
        pollfd waiting{fListener, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(kTimeout.count())) != 1)
            return false;
        CloseClient();
        fReceived.clear();
        fClosed = false;
        fClient = ::accept4(fListener, nullptr, nullptr, SOCK_CLOEXEC);
        return fClient >= 0;
    }

    // The next line the client sent, with its CR LF; nothing on timeout or EOF.
    std::optional<std::string> ReadLine()
    {
        auto deadline = Clock::now() + kTimeout;
        for (;;) {
            size_t end = fReceived.find("\r\n");
            if (end != std::string::npos) {
                std::string line = fReceived.substr(0, end + 2);
                fReceived.erase(0, end + 2);
                return line;
            }
            if (!_ReadSome(deadline))
                return std::nullopt;
        }
    }

    // True once the client has sent something (left unread).
    bool WaitForData()
    {
        pollfd waiting{fClient, POLLIN, 0};
        return ::poll(&waiting, 1, static_cast<int>(kTimeout.count())) == 1;
    }

    // True when the client closed or shut down its end (in time).
    bool WaitForClose()
    {
        auto deadline = Clock::now() + kTimeout;
        while (_ReadSome(deadline)) {
        }
        return fClosed;
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
    // Appends what arrives before the deadline; false on EOF or timeout.
    bool _ReadSome(Clock::time_point deadline)
    {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (fClient < 0 || left.count() <= 0)
            return false;
        pollfd waiting{fClient, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(left.count())) != 1)
            return false;
        char buffer[65536];
        ssize_t count = ::recv(fClient, buffer, sizeof buffer, 0);
        if (count <= 0) {
            fClosed = true;
            return false;
        }
        fReceived.append(buffer, static_cast<size_t>(count));
        if (readPause.count() > 0)
            std::this_thread::sleep_for(readPause);
        return true;
    }

    int fListener = -1;
    int fClient = -1;
    int fPort = 0;
    bool fClosed = false;
    std::string fReceived;
};
