#include "TestClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tolvar::server::test {

TestClient::TestClient(std::uint16_t port, int receiveBuffer, const char* from)
{
    fSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fSocket < 0)
        return;
    if (receiveBuffer > 0)
        setsockopt(fSocket, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    if (from) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &local.sin_addr);
        ::bind(fSocket, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fSocket);
        fSocket = -1;
        return;
    }
    int one = 1;
    setsockopt(fSocket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

TestClient::~TestClient()
{
    Close();
}

void TestClient::Close()
{
    if (fSocket >= 0)
        ::close(fSocket);
    fSocket = -1;
}

void TestClient::Send(std::string_view line)
{
    SendRaw(std::string(line) + " \r\n");
}

void TestClient::SendRaw(std::string_view bytes)
{
    std::size_t sent = 0;
    while (fSocket >= 0 && sent < bytes.size()) {
        ssize_t n = ::send(fSocket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

bool TestClient::_Fill(std::chrono::steady_clock::time_point deadline)
{
    if (fSocket < 0 || fPeerClosed)
        return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() < 0)
        return false;
    pollfd wait{fSocket, POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(left.count())) <= 0)
        return false;
    char chunk[4096];
    ssize_t n = ::recv(fSocket, chunk, sizeof chunk, 0);
    if (n <= 0) {
        fPeerClosed = true;
        return false;
    }
    fBuffer.append(chunk, static_cast<std::size_t>(n));
    return true;
}

std::optional<std::string> TestClient::ReadLine(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::size_t lf = fBuffer.find('\n');
        if (lf != std::string::npos) {
            std::string line = fBuffer.substr(0, lf);
            fBuffer.erase(0, lf + 1);
            return line;
        }
        if (!_Fill(deadline))
            return std::nullopt;
    }
}

std::string TestClient::Next(std::chrono::milliseconds timeout)
{
    std::optional<std::string> line = ReadLine(timeout);
    if (line)
        return *line;
    return fPeerClosed ? "<closed>" : "<nothing>";
}

std::optional<std::string> TestClient::SkipTo(std::string_view prefix,
                                              std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        std::optional<std::string> line = ReadLine(left);
        if (!line)
            return std::nullopt;
        if (line->rfind(prefix, 0) == 0)
            return line;
    }
}

bool TestClient::Silent(std::chrono::milliseconds quiet)
{
    if (!fBuffer.empty())
        return false;
    return !_Fill(std::chrono::steady_clock::now() + quiet) && !fPeerClosed;
}

bool TestClient::ClosedByServer(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!fPeerClosed) {
        if (!_Fill(deadline))
            break;
        fBuffer.clear();
    }
    return fPeerClosed;
}

std::string TestClient::ReadChunk(std::size_t limit, std::chrono::milliseconds timeout)
{
    if (fSocket < 0)
        return {};
    pollfd wait{fSocket, POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(timeout.count())) <= 0)
        return {};
    std::string chunk(limit, '\0');
    ssize_t n = ::recv(fSocket, chunk.data(), limit, 0);
    if (n <= 0) {
        fPeerClosed = true;
        return {};
    }
    chunk.resize(static_cast<std::size_t>(n));
    return chunk;
}

bool TestClient::CreateAndLogin(std::string_view name, std::string_view password)
{
    if (!fGreeted) {
        std::optional<std::string> greeting = ReadLine();
        if (!greeting || greeting->rfind("101 ", 0) != 0)
            return false;
        fGreeted = true;
    }
    Send("CREATE " + std::string(name) + " " + std::string(password));
    std::optional<std::string> created = ReadLine();
    if (!created || created->rfind("401 ", 0) != 0)
        return false;
    return Login(name, password);
}

bool TestClient::Login(std::string_view name, std::string_view password)
{
    if (!fGreeted) {
        std::optional<std::string> greeting = ReadLine();
        if (!greeting || greeting->rfind("101 ", 0) != 0)
            return false;
        fGreeted = true;
    }
    Send("USER " + std::string(name) + " " + std::string(password));
    std::optional<std::string> welcome = ReadLine();
    return welcome && welcome->rfind("201 ", 0) == 0;
}

} // namespace tolvar::server::test
