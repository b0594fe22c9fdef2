#include "RawCrowd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

long long NowMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

struct RawCrowd::Player
{
    int fd = -1;
    std::string name;
    int games = 0;
    int seen = 0;
    bool loggedIn = false;
    std::string pending;
};

RawCrowd::RawCrowd(int players, int games) : fGames(games)
{
    for (int i = 0; i < players; ++i) {
        auto player = std::make_unique<Player>();
        player->name = Name(i);
        // At most three open challenges each: the first players take one more.
        player->games = games / players + (i < games % players ? 1 : 0);
        fPlayers.push_back(std::move(player));
    }
}

RawCrowd::~RawCrowd()
{
    Close();
}

void RawCrowd::Close()
{
    fStop = true;
    if (fWake >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t ignored = ::write(fWake, &one, sizeof one);
    }
    if (fReader.joinable())
        fReader.join();
    for (auto& player : fPlayers) {
        if (player->fd >= 0)
            ::close(player->fd);
        player->fd = -1;
    }
    if (fEpoll >= 0)
        ::close(fEpoll);
    if (fWake >= 0)
        ::close(fWake);
    fEpoll = fWake = -1;
}

std::string RawCrowd::Name(int index)
{
    char name[16];
    std::snprintf(name, sizeof name, "crowd%04d", index);
    return name;
}

bool RawCrowd::Connect(int port, std::string* error)
{
    fEpoll = ::epoll_create1(EPOLL_CLOEXEC);
    fWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fEpoll < 0 || fWake < 0) {
        *error = std::strerror(errno);
        return false;
    }
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.ptr = nullptr;
    ::epoll_ctl(fEpoll, EPOLL_CTL_ADD, fWake, &wake);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (auto& player : fPlayers) {
        player->fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (player->fd < 0 || ::connect(player->fd, reinterpret_cast<const sockaddr*>(&address),
                                        sizeof address) != 0) {
            *error = player->name + ": " + std::strerror(errno);
            return false;
        }
        const int flags = ::fcntl(player->fd, F_GETFL);
        ::fcntl(player->fd, F_SETFL, flags | O_NONBLOCK);
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.ptr = player.get();
        ::epoll_ctl(fEpoll, EPOLL_CTL_ADD, player->fd, &event);
        if (player.get() == fPlayers.front().get())
            fReader = std::thread([this] { _Read(); });
        if (!_Send(*player, "USER " + player->name + " " + kPassword + " \r\n")) {
            *error = player->name + ": cannot send its login";
            return false;
        }
    }
    return true;
}

bool RawCrowd::_Send(Player& player, const std::string& line)
{
    size_t sent = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sent < line.size()) {
        const ssize_t written =
            ::send(player.fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (written > 0) {
            sent += static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && (errno == EAGAIN || errno == EINTR) &&
            std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        return false;
    }
    return true;
}

void RawCrowd::_Read()
{
    std::vector<epoll_event> events(256);
    char buffer[65536];
    while (!fStop) {
        const int count = ::epoll_wait(fEpoll, events.data(), static_cast<int>(events.size()), 200);
        for (int i = 0; i < count; ++i) {
            auto* player = static_cast<Player*>(events[static_cast<size_t>(i)].data.ptr);
            if (player == nullptr)
                continue;
            for (;;) {
                const ssize_t got = ::recv(player->fd, buffer, sizeof buffer, 0);
                if (got > 0) {
                    fBytes += got;
                    fLastDataMicros = NowMicros();
                    _Take(*player, buffer, static_cast<size_t>(got));
                    continue;
                }
                if (got < 0 && (errno == EAGAIN || errno == EINTR))
                    break;
                _SetError(player->name + ": the server closed the connection");
                ::epoll_ctl(fEpoll, EPOLL_CTL_DEL, player->fd, nullptr);
                break;
            }
        }
    }
}

void RawCrowd::_Take(Player& player, const char* data, size_t size)
{
    player.pending.append(data, size);
    size_t start = 0;
    for (;;) {
        const size_t end = player.pending.find('\n', start);
        if (end == std::string::npos)
            break;
        const std::string_view line(player.pending.data() + start, end - start);
        start = end + 1;
        if (line.substr(0, 3) == "201" && !player.loggedIn) {
            player.loggedIn = true;
            ++fLoggedIn;
        } else if (line.substr(0, 3) == "404") {
            _SetError(player.name + ": " + std::string(line));
        } else if (line.substr(0, 4) == "118 ") {
            // "118 id 1 0 name ..." or "118 id 0 1 name ...": a challenge;
            // counted when it is this player's own.
            size_t at = 0;
            for (int field = 0; field < 4 && at != std::string_view::npos; ++field)
                at = line.find(' ', at + 1);
            if (at != std::string_view::npos) {
                const std::string_view rest = line.substr(at + 1);
                const std::string_view who = rest.substr(0, rest.find(' '));
                if (who == player.name && player.seen < player.games) {
                    ++player.seen;
                    ++fGamesSeen;
                }
            }
        }
    }
    player.pending.erase(0, start);
}

bool RawCrowd::WaitLoggedIn(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fLoggedIn < static_cast<int>(fPlayers.size())) {
        if (fFailed || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool RawCrowd::OfferGames()
{
    int made = 0;
    for (auto& player : fPlayers) {
        std::string lines;
        for (int i = 0; i < player->games; ++i, ++made)
            lines += "MAKE " + std::to_string(made % 2) + " :Let's Play! \r\n";
        if (!lines.empty() && !_Send(*player, lines))
            return false;
    }
    return true;
}

bool RawCrowd::WaitSettled(int timeoutMs, int quietMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const bool allSeen = fGamesSeen >= fGames;
        const bool quiet = NowMicros() - fLastDataMicros > 1000LL * quietMs;
        if (allSeen && quiet)
            return true;
        if (fFailed || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void RawCrowd::_SetError(const std::string& error)
{
    std::lock_guard<std::mutex> lock(fErrorLock);
    if (fError.empty())
        fError = error;
    fFailed = true;
}

std::string RawCrowd::Error() const
{
    std::lock_guard<std::mutex> lock(fErrorLock);
    return fError;
}
