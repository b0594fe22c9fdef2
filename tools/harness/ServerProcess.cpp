#include "ServerProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

bool ServerProcess::Start(const std::string& databasePath, const std::string& logPath,
                          int timeoutMs, const std::vector<std::string>& options)
{
    if (fPort == 0)
        fPort = FreePort();
    std::vector<std::string> arguments = {TOLVAR_SERVER_BINARY,  "--listen", "127.0.0.1", "--port",
                                          std::to_string(fPort), "--db",     databasePath};
    arguments.insert(arguments.end(), options.begin(), options.end());
    if (fPort == 0 || !fProcess.Start(arguments, {}, logPath, false))
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!fProcess.Running())
            return false;
        if (Accepting(fPort))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void ServerProcess::Stop(int timeoutMs)
{
    fProcess.Signal(SIGTERM);
    if (!fProcess.Wait(timeoutMs))
        fProcess.Kill();
}

bool ServerProcess::Accepting(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

int ServerProcess::FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}
