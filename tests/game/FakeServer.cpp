#include "FakeServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>


FakeServer::FakeServer(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return;
    int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        return;
    }
    fListenSocket = fd;
    fThread = std::thread([this] { _Run(); });
}

FakeServer::~FakeServer()
{
    fStopping = true;
    if (fThread.joinable())
        fThread.join();
    if (fClientSocket >= 0)
        ::close(fClientSocket);
    if (fListenSocket >= 0)
        ::close(fListenSocket);
}

void FakeServer::_Run()
{
    // Polls with a short timeout so that the destructor's stop is seen.
    while (!fStopping) {
        pollfd watch{};
        watch.events = POLLIN;
        watch.fd = fClientSocket >= 0 ? fClientSocket.load() : fListenSocket;
        if (::poll(&watch, 1, 20) <= 0)
            continue;
        if (fClientSocket < 0) {
            int client = ::accept(fListenSocket, nullptr, nullptr);
            if (client >= 0)
                fClientSocket = client;
            continue;
        }
        char buffer[4096];
        ssize_t count = ::recv(fClientSocket, buffer, sizeof buffer, 0);
        if (count <= 0) {
            // The client went; wait for the next one.
            ::close(fClientSocket);
            fClientSocket = -1;
            continue;
        }
        std::lock_guard<std::mutex> lock(fMutex);
        fPending.append(buffer, static_cast<size_t>(count));
        size_t end;
        while ((end = fPending.find("\r\n")) != std::string::npos) {
            fLines.push_back(fPending.substr(0, end + 2));
            fPending.erase(0, end + 2);
        }
    }
}

bool FakeServer::Send(const std::string& text)
{
    int client = fClientSocket;
    if (client < 0)
        return false;
    const ssize_t sent = ::send(client, text.data(), text.size(), MSG_NOSIGNAL);
    return sent == static_cast<ssize_t>(text.size());
}

std::vector<std::string> FakeServer::Lines()
{
    std::lock_guard<std::mutex> lock(fMutex);
    return fLines;
}

bool FakeServer::HasLine(const std::string& line)
{
    std::lock_guard<std::mutex> lock(fMutex);
    return std::find(fLines.begin(), fLines.end(), line) != fLines.end();
}

void FakeServer::ClearLines()
{
    std::lock_guard<std::mutex> lock(fMutex);
    fLines.clear();
}
