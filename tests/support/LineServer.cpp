#include "support/LineServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

LineServer::LineServer(int port)
{
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener < 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0) {
        if (listener >= 0)
            ::close(listener);
        return;
    }
    fListener = listener;
    fThread = std::thread([this] { _Run(); });
}

LineServer::~LineServer()
{
    fStopping = true;
    if (fThread.joinable())
        fThread.join();
    if (fClient >= 0)
        ::close(fClient);
    if (fListener >= 0)
        ::close(fListener);
}

bool LineServer::Send(const std::string& text)
{
    int client = fClient.load();
    return client >= 0 && ::send(client, text.data(), text.size(), MSG_NOSIGNAL) ==
                              static_cast<ssize_t>(text.size());
}

void LineServer::DropClient()
{
    int client = fClient.load();
    if (client >= 0)
        ::shutdown(client, SHUT_RDWR);
}

std::vector<std::string> LineServer::Lines()
{
    std::lock_guard<std::mutex> lock(fMutex);
    return fLines;
}

bool LineServer::HasLine(const std::string& line)
{
    std::lock_guard<std::mutex> lock(fMutex);
    return std::find(fLines.begin(), fLines.end(), line) != fLines.end();
}

void LineServer::ClearLines()
{
    std::lock_guard<std::mutex> lock(fMutex);
    fLines.clear();
}

void LineServer::_Run()
{
    // Polls with a short timeout so that the destructor's stop request is
    // seen promptly.
    while (!fStopping) {
        int client = fClient.load();
        pollfd watch{client >= 0 && !fClientGone ? client : fListener, POLLIN, 0};
        if (::poll(&watch, 1, 50) <= 0)
            continue;
        if (client < 0 || fClientGone) {
            int accepted = ::accept4(fListener, nullptr, nullptr, SOCK_CLOEXEC);
            if (accepted >= 0) {
                if (client >= 0)
                    ::close(client);
                fClientGone = false;
                fClient = accepted;
            }
            continue;
        }
        char buffer[4096];
        ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) {
            fClientGone = true;
            continue;
        }
        std::lock_guard<std::mutex> lock(fMutex);
        fPending.append(buffer, static_cast<size_t>(got));
        for (size_t end; (end = fPending.find("\r\n")) != std::string::npos;) {
            fLines.push_back(fPending.substr(0, end + 2));
            fPending.erase(0, end + 2);
        }
    }
}
