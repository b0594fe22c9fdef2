// Hostile clients against the real tolvar-server program, each attack with
// the figure that tells whether the server holds:
//
//   lockout   an honest login while 350 USER lines from one address, then
//             from 350 addresses, wait for the password hash;
//   guessing  how many passwords a minute one account takes from many
//             connections, from one address and from many;
//   timing    the answer time for a wrong password and for an unknown name;
//   slots     4000 connections from one address that never log in;
//   lobby     a client that logs into a lobby of 10,000 games and 5,000
//             players and reads GAMES and USERS as the real client does.
//
//   server_attack_bench [--only NAME] [--seconds N] [--server PATH]

#include "BenchServer.h"

#include "server/Elo.h"
#include "server/PasswordHash.h"
#include "server/SqliteStorage.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace tolvar;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// 127.0.X.Y, the n-th address of a range that starts at 127.0.`base`.1.
std::string Address(int base, int n)
{
    return "127.0." + std::to_string(base + n / 250) + "." + std::to_string(1 + n % 250);
}

// One blocking connection from a chosen loopback address.
class Peer
{
public:
    Peer(std::uint16_t port, const std::string& from)
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(port);
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~Peer()
    {
        if (fd >= 0)
            ::close(fd);
    }
    void Send(const std::string& line)
    {
        std::string framed = line + " \r\n";
        if (fd >= 0)
            ::send(fd, framed.data(), framed.size(), MSG_NOSIGNAL);
    }
    // The next line, "" on a timeout, "<closed>" at the end.
    std::string Line(int timeoutMs = 5000)
    {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            std::size_t lf = buffer.find('\n');
            if (lf != std::string::npos) {
                std::string line = buffer.substr(0, lf);
                buffer.erase(0, lf + 1);
                return line;
            }
            int left = std::max(0, static_cast<int>(Ms(deadline - Clock::now())));
            pollfd wait{fd, POLLIN, 0};
            if (fd < 0 || ::poll(&wait, 1, left) <= 0)
                return "";
            char chunk[4096];
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return "<closed>";
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }
    // Skips lines until one starts with `prefix`.
    std::string Until(const std::string& prefix, int timeoutMs = 5000)
    {
        for (;;) {
            std::string line = Line(timeoutMs);
            if (line.empty() || line == "<closed>" || line.rfind(prefix, 0) == 0)
                return line;
        }
    }

    int fd = -1;
    std::string buffer;
};

struct Server
{
    std::string dir;
    bench::ServerChild child;

    Server(const std::string& binary, const std::vector<std::pair<std::string, int>>& accounts,
           const std::vector<std::string>& extra = {})
    {
        char pattern[] = "/tmp/tolvar-attack-XXXXXX";
        dir = ::mkdtemp(pattern) ? pattern : "/tmp";
        std::string error;
        auto store = server::SqliteStorage::Open(dir + "/s.db", &error);
        // Named accounts get the real hash cost; numbered crowds the cheapest.
        auto interactive = server::HashPassword("secret", server::HashCost::Interactive());
        auto cheap = server::HashPassword("secret", server::HashCost::Minimum());
        for (const auto& [name, count] : accounts) {
            for (int i = 0; i < std::max(count, 1); ++i)
                store->CreateAccount(count ? name + std::to_string(i) : name,
                                     count ? *cheap : *interactive, server::kStartRating);
        }
        store.reset();
        child = bench::StartServer(binary, dir + "/s.db", dir + "/log", extra);
    }
    ~Server()
    {
        if (child.pid > 0) {
            ::kill(child.pid, SIGTERM);
            ::waitpid(child.pid, nullptr, 0);
        }
        std::string cleanup = "rm -rf '" + dir + "'";
        if (std::system(cleanup.c_str()) != 0)
            std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    }
    std::uint16_t Port() const { return child.port; }
};

// Connects, logs in and returns the time from USER to the answer.
double HonestLogin(std::uint16_t port, const std::string& from, const char* name,
                   std::string* answer)
{
    Peer honest(port, from);
    honest.Line();
    auto start = Clock::now();
    honest.Send(std::string("USER ") + name + " secret");
    *answer = honest.Line(120000);
    return Ms(Clock::now() - start);
}

void Lockout(const std::string& binary)
{
    Server server(binary, {{"alice", 0}, {"victim", 0}});
    for (int spread : {1, 350}) {
        std::vector<std::unique_ptr<Peer>> crowd;
        int refused = 0;
        auto start = Clock::now();
        for (int i = 0; i < 350; ++i) {
            auto peer = std::make_unique<Peer>(server.Port(), Address(10, i % spread));
            peer->Send("USER victim wrong" + std::to_string(i));
            if (i % 2 == 0)
                crowd.push_back(std::move(peer)); // the others hang up at once
        }
        double sending = Ms(Clock::now() - start);
        for (auto& peer : crowd)
            refused += peer->Line(1000).rfind("404", 0) == 0;
        std::string answer;
        double honest = HonestLogin(server.Port(), "127.0.0.2", "alice", &answer);
        std::printf("lockout, 350 USER lines in %.0f ms from %d address%s (%d connections "
                    "refused at once): honest login %.0f ms (%s); target under 1000 ms: %s\n",
                    sending, spread, spread == 1 ? "" : "es", refused, honest, answer.c_str(),
                    honest < 1000 && answer.rfind("201", 0) == 0 ? "met" : "MISSED");
        crowd.clear();
        Peer bye(server.Port(), "127.0.0.2"); // alice logs out with her connection
    }
}

// Guesses at one account for `seconds` from `addresses` addresses, twenty
// connections each at most, one guess waiting per connection.
void Guessing(const std::string& binary, int seconds)
{
    for (int addresses : {200, 1}) {
        Server server(binary, {{"alice", 0}, {"victim", 0}});
        std::string answer;
        HonestLogin(server.Port(), "127.0.9.9", "victim", &answer); // the owner's usual place
        std::vector<std::unique_ptr<Peer>> peers;
        int n = 0;
        auto fresh = [&](std::unique_ptr<Peer>& peer) {
            peer = std::make_unique<Peer>(server.Port(), Address(20, n % addresses));
            peer->Line();
            peer->Send("USER victim guess" + std::to_string(n++));
        };
        peers.resize(static_cast<std::size_t>(std::min(20 * addresses, 100)));
        for (auto& peer : peers)
            fresh(peer);
        std::vector<Clock::time_point> answers;
        auto start = Clock::now(), end = start + std::chrono::seconds(seconds);
        while (Clock::now() < end) {
            std::vector<pollfd> waits;
            for (auto& peer : peers)
                waits.push_back({peer->fd, POLLIN, 0});
            ::poll(waits.data(), waits.size(), 200);
            for (std::size_t i = 0; i < peers.size(); ++i) {
                if (!(waits[i].revents & (POLLIN | POLLHUP)))
                    continue;
                std::string line = peers[i]->Line(0);
                if (line.rfind("403", 0) == 0 || line.rfind("503", 0) == 0) {
                    if (line[0] == '4')
                        answers.push_back(Clock::now());
                    peers[i]->Send("USER victim guess" + std::to_string(n++));
                } else if (line == "<closed>" || line.rfind("404", 0) == 0) {
                    fresh(peers[i]); // five failures close a connection: come back
                }
            }
        }
        double honest = HonestLogin(server.Port(), "127.0.9.9", "victim", &answer);
        double afterThird =
            answers.size() > 3 ? std::chrono::duration<double>(end - answers[2]).count() : 0;
        double rate = answers.size() > 3 ? (answers.size() - 3) / afterThird : 0;
        std::printf("guessing from %d address%s with %zu connections for %d s: %zu guesses, %.3f "
                    "a second after the third (one per %.0f s); target under one per 10 s: %s; "
                    "the owner from the usual address meanwhile: %.0f ms (%s)\n",
                    addresses, addresses == 1 ? "" : "es", peers.size(), seconds, answers.size(),
                    rate, rate > 0 ? 1 / rate : 0.0, rate < 0.1 ? "met" : "MISSED", honest,
                    answer.c_str());
    }
}

void Timing(const std::string& binary)
{
    Server server(binary, {{"victim", 0}});
    std::vector<double> known, unknown;
    for (int i = 0; i < 6; ++i) {
        // A new address each time, so that no delay for failures comes in.
        Peer peer(server.Port(), Address(30, i));
        peer.Line();
        auto start = Clock::now();
        peer.Send(i % 2 ? "USER victim wrong" : "USER nobody" + std::to_string(i) + " wrong");
        peer.Line();
        (i % 2 ? known : unknown).push_back(Ms(Clock::now() - start));
    }
    std::sort(known.begin(), known.end());
    std::sort(unknown.begin(), unknown.end());
    std::printf("timing: wrong password %.1f ms, unknown name %.1f ms (medians of 3)\n", known[1],
                unknown[1]);
}

void Slots(const std::string& binary)
{
    Server server(binary, {{"alice", 0}});
    std::vector<std::unique_ptr<Peer>> idle;
    int refused = 0;
    for (int i = 0; i < 4000; ++i) {
        idle.push_back(std::make_unique<Peer>(server.Port(), "127.0.0.5"));
        refused += idle.back()->Line(2000).rfind("404", 0) == 0;
    }
    std::string answer;
    double honest = HonestLogin(server.Port(), "127.0.0.2", "alice", &answer);
    std::printf("slots: 4000 connections from one address that never log in, %d refused at "
                "once; honest login from another address %.0f ms (%s)\n",
                refused, honest, answer.c_str());
}

// Reads everything a socket has, discarding it; false once it closed.
bool Drain(int fd)
{
    char chunk[65536];
    for (;;) {
        ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void Lobby(const std::string& binary)
{
    const int players = 5000;
    Server server(binary, {{"p", players}, {"newcomer", 0}},
                  {"--set", "max-connections=6000", "--set", "max-open-challenges=3"});
    auto start = Clock::now();
    std::vector<std::unique_ptr<Peer>> crowd;
    int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    int lost = 0;
    auto drainAll = [&](int ms) {
        epoll_event events[256];
        int n = ::epoll_wait(epoll, events, 256, ms);
        for (int i = 0; i < n; ++i)
            lost += !Drain(events[i].data.fd);
    };
    const std::string description(86, 'd'); // with the number, 100 bytes at most
    for (int i = 0; i < players; ++i) {
        auto peer = std::make_unique<Peer>(server.Port(), Address(40, i / 10));
        peer->Line();
        for (std::string answer = "503"; answer.rfind("503", 0) == 0;) {
            peer->Send("USER p" + std::to_string(i) + " secret");
            do
                answer = peer->Line(30000);
            while (!answer.empty() && answer != "<closed>" && answer.rfind("201", 0) != 0 &&
                   answer.rfind("503", 0) != 0);
        }
        peer->Send("MAKE 1 :" + std::to_string(i) + " one " + description);
        peer->Send("MAKE 0 :" + std::to_string(i) + " two " + description);
        epoll_event event{EPOLLIN, {}};
        event.data.fd = peer->fd;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, peer->fd, &event);
        crowd.push_back(std::move(peer));
        if (i % 50 == 49)
            drainAll(0);
    }
    for (int i = 0; i < 200; ++i)
        drainAll(10); // everything announced has been read
    double built = std::chrono::duration<double>(Clock::now() - start).count();

    // The newcomer asks for both lists at once, as the real client does, and
    // reads at most 999 bytes at a time, keeping a line cut by a read.
    Peer newcomer(server.Port(), "127.0.0.2");
    newcomer.Line();
    auto asked = Clock::now();
    newcomer.Send("USER newcomer secret");
    std::string welcome = newcomer.Line();
    newcomer.Send("GAMES");
    newcomer.Send("USERS");
    int games = 0, users = 0;
    std::string pending;
    bool closed = false;
    while (!closed && (games < 2 * players || users < players + 1)) {
        pollfd wait{newcomer.fd, POLLIN, 0};
        if (::poll(&wait, 1, 10000) <= 0)
            break;
        char chunk[999];
        ssize_t n = ::recv(newcomer.fd, chunk, sizeof chunk, 0);
        closed = n <= 0;
        pending.append(chunk, n > 0 ? static_cast<std::size_t>(n) : 0);
        std::size_t start = 0;
        for (std::size_t lf; (lf = pending.find('\n', start)) != std::string::npos;
             start = lf + 1) {
            games += pending.compare(start, 4, "118 ") == 0;
            users += pending.compare(start, 4, "700 ") == 0;
        }
        pending.erase(0, start);
        drainAll(0);
    }
    double took = Ms(Clock::now() - asked);
    long peak = bench::PeakMemoryKiB(server.child.pid);
    std::printf("lobby of %d players and %d games built in %.0f s (%d players dropped): the "
                "newcomer (%s) got %d of %d game lines and %d of %d players in %.0f ms%s; "
                "server peak memory %.1f MiB\n",
                players, 2 * players, built, lost, welcome.c_str(), games, 2 * players, users,
                players + 1, took, closed ? ", then was cut off" : "",
                static_cast<double>(peak) / 1024.0);
    ::close(epoll);
}

} // namespace

int main(int argc, char** argv)
{
    std::string only;
    int seconds = 90;
    std::string binary = TOLVAR_SERVER_BINARY;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--only")
            only = argv[i + 1];
        else if (option == "--seconds")
            seconds = std::max(10, std::atoi(argv[i + 1]));
        else if (option == "--server")
            binary = argv[i + 1];
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::signal(SIGPIPE, SIG_IGN);
    server::InitialisePasswordHashing();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (only.empty() || only == "lockout")
        Lockout(binary);
    if (only.empty() || only == "timing")
        Timing(binary);
    if (only.empty() || only == "slots")
        Slots(binary);
    if (only.empty() || only == "guessing")
        Guessing(binary, seconds);
    if (only.empty() || only == "lobby")
        Lobby(binary);
    return 0;
}
