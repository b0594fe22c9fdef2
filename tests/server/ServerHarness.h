#pragma once
// Scaffolding for tests of the real tolvar-server program: the program as a
// child process, and clients that talk to it over loopback. Every wait is
// bounded, so no test can hang. Used by the transcript runner and the tests.
// With TOLVAR_TEST_POSTGRES set to a PostgreSQL connection string (see
// scripts/with-postgres.sh), every server keeps its data in a database of
// its own there instead of in a file.

#include <libpq-fe.h>
#include <sqlite3.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tolvar::server::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A fresh directory below $TMPDIR (or /tmp), removed with its contents.
class TempDir
{
public:
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        fPath = std::string(base && *base ? base : "/tmp") + "/tolvar-server-XXXXXX";
        if (!::mkdtemp(fPath.data()))
            fPath.clear();
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(fPath, ignored);
    }
    const std::string& Path() const { return fPath; }
    std::string File(const std::string& name) const { return fPath + "/" + name; }

private:
    std::string fPath;
};

// The database of a test's server: the SQLite file `file`, or a fresh
// PostgreSQL database, dropped again at the end.
class TestDatabase
{
public:
    explicit TestDatabase(std::string file) : fFile(std::move(file))
    {
        if (!Postgres())
            return;
        static int made = 0;
        fName = "tolvar_test_" + std::to_string(::getpid()) + "_" + std::to_string(++made);
        if (!_Admin("CREATE DATABASE " + fName).empty())
            fName.clear();
    }
    ~TestDatabase()
    {
        if (!fName.empty())
            _Admin("DROP DATABASE " + fName + " WITH (FORCE)");
    }
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    static bool Postgres() { return std::getenv("TOLVAR_TEST_POSTGRES") != nullptr; }
    // The options that point the server at it.
    std::vector<std::string> Arguments() const
    {
        if (!Postgres())
            return {"--db", fFile};
        return {"--postgres", std::string(std::getenv("TOLVAR_TEST_POSTGRES")) +
                                  " dbname=" + (fName.empty() ? "not_made" : fName)};
    }
    // Runs SQL on it behind the server's back; the error when that fails.
    std::string Run(const std::string& sql) const
    {
        if (Postgres())
            return _Postgres(Arguments()[1], sql);
        sqlite3* db = nullptr;
        sqlite3_open(fFile.c_str(), &db);
        int done = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        std::string error = done == SQLITE_OK ? "" : sqlite3_errmsg(db);
        sqlite3_close(db);
        return error;
    }
    // PostgreSQL only: the database goes away, its connections cut, or it
    // comes back.
    std::string SetReachable(bool reachable) const
    {
        std::string error = _Admin("ALTER DATABASE " + fName + " ALLOW_CONNECTIONS " +
                                   (reachable ? "true" : "false"));
        if (error.empty() && !reachable)
            error = _Admin("SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                           " WHERE datname = '" +
                           fName + "'");
        return error;
    }

private:
    std::string _Admin(const std::string& sql) const
    {
        return _Postgres(std::string(std::getenv("TOLVAR_TEST_POSTGRES")) + " dbname=postgres",
                         sql);
    }
    static std::string _Postgres(const std::string& connection, const std::string& sql)
    {
        std::unique_ptr<PGconn, void (*)(PGconn*)> db(PQconnectdb(connection.c_str()), PQfinish);
        if (PQstatus(db.get()) != CONNECTION_OK)
            return PQerrorMessage(db.get());
        PQsetNoticeProcessor(
            db.get(), [](void*, const char*) {}, nullptr);
        PGresult* result = PQexec(db.get(), sql.c_str());
        ExecStatusType status = PQresultStatus(result);
        PQclear(result);
        return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK ? ""
                                                                       : PQerrorMessage(db.get());
    }

    std::string fFile;
    std::string fName;
};

class ServerProcess
{
public:
    // Runs `binary` with `arguments`, its output appended to `log`. With a
    // `database`, --port 0, its options and the cheapest password hash come
    // first. `unprivileged`: the superuser runs it as nobody.
    ServerProcess(std::string binary, std::vector<std::string> arguments, std::string log,
                  const TestDatabase* database = nullptr, bool unprivileged = false)
        : fLog(std::move(log)), fLogStart(std::ifstream(fLog, std::ios::ate).tellg())
    {
        // A restart appends to the same log: only what follows is this one's.
        fLogStart = std::max<std::streamoff>(fLogStart, 0);
        if (database) {
            std::vector<std::string> first = database->Arguments();
            first.insert(first.begin(), {"--port", "0"});
            first.insert(first.end(), {"--set", "hash-cost=minimum"});
            arguments.insert(arguments.begin(), first.begin(), first.end());
        }
        arguments.insert(arguments.begin(), binary);
        if ((fPid = ::fork()) != 0)
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
    ~ServerProcess() { Stop(SIGKILL); }

    // What it has written so far.
    std::string Log() const
    {
        std::ifstream in(fLog);
        in.seekg(fLogStart);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Whether its output holds `text` within `timeout`.
    bool Logged(std::string_view text, std::chrono::milliseconds timeout = 5s) const
    {
        for (auto deadline = Clock::now() + timeout;; std::this_thread::sleep_for(10ms))
            if (Log().find(text) != std::string::npos || Clock::now() > deadline)
                return Log().find(text) != std::string::npos;
    }
    // The port it says it listens on (at most ten seconds); 0 if it does not.
    std::uint16_t WaitForPort() const
    {
        const std::string marker = "listening on 127.0.0.1:";
        std::string log = Logged(marker, 10s) ? Log() : marker + "0";
        return static_cast<std::uint16_t>(
            std::atoi(log.c_str() + log.find(marker) + marker.size()));
    }
    // Sends the signal (0 to wait for the end) and waits, ten seconds at
    // most; its exit code, 128 + the signal that ended it, or -1.
    int Stop(int signal)
    {
        if (fPid <= 0)
            return -1;
        ::kill(fPid, signal);
        int status = 0;
        for (int i = 0; ::waitpid(fPid, &status, WNOHANG) != fPid; ++i) {
            std::this_thread::sleep_for(10ms);
            if (i == 1000 && ::kill(fPid, SIGKILL) == 0 && ::waitpid(fPid, &status, 0))
                break;
        }
        fPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    pid_t Pid() const { return fPid; }

private:
    std::string fLog;
    std::streamoff fLogStart = 0;
    pid_t fPid = -1;
};

// A free loopback port: bound, then let go for another program to take.
inline std::uint16_t FreePort()
{
    int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(probe);
    return ntohs(address.sin_port);
}

// The message bus of a cluster's nodes: nats-server on a free loopback port,
// its output in `log`, its address in `url`. Null, with the reason in
// `error`, when it is not installed or does not start.
inline std::unique_ptr<ServerProcess> StartBus(const std::string& log, std::string* url,
                                               std::string* error)
{
    std::string binary;
    for (const char* candidate : {"/usr/bin/nats-server", "/usr/sbin/nats-server"})
        if (::access(candidate, X_OK) == 0)
            binary = candidate;
    if (binary.empty()) {
        *error = "nats-server is not installed (scripts/install-deps.sh installs it)";
        return nullptr;
    }
    std::string port = std::to_string(FreePort());
    auto bus = std::make_unique<ServerProcess>(
        binary, std::vector<std::string>{"-a", "127.0.0.1", "-p", port}, log);
    if (!bus->Logged("Server is ready")) {
        *error = "nats-server did not start";
        return nullptr;
    }
    *url = "nats://127.0.0.1:" + port;
    return bus;
}

class Peer
{
public:
    // Connects to the port on loopback from `from` (127.0.0.1 if empty); a
    // `receiveBuffer` makes a small window, for a client that never reads.
    explicit Peer(std::uint16_t port, const std::string& from = {}, int receiveBuffer = 0)
        : fSocket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        int one = 1;
        setsockopt(fSocket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (receiveBuffer > 0)
            setsockopt(fSocket, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        if (!from.empty() && ::inet_pton(AF_INET, from.c_str(), &address.sin_addr) == 1)
            ::bind(fSocket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        fClosed = ::connect(fSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0;
    }
    ~Peer() { ::close(fSocket); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Sends `line` framed as the client frames it: a blank, then CR LF.
    void Send(std::string_view line) { SendRaw(std::string(line) + " \r\n"); }
    void SendRaw(std::string_view bytes)
    {
        for (ssize_t n = 0; !bytes.empty(); bytes.remove_prefix(static_cast<std::size_t>(n)))
            if ((n = ::send(fSocket, bytes.data(), bytes.size(), MSG_NOSIGNAL)) <= 0)
                return;
    }
    // The next line without its LF; "<nothing>" after `timeout`, "<closed>"
    // once the server has closed the connection.
    std::string Next(std::chrono::milliseconds timeout = 5s)
    {
        for (auto deadline = Clock::now() + timeout;;) {
            std::size_t lf = fBuffer.find('\n');
            if (lf != std::string::npos) {
                std::string line = fBuffer.substr(0, lf);
                fBuffer.erase(0, lf + 1);
                return line;
            }
            if (!_Fill(
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())))
                return fClosed ? "<closed>" : "<nothing>";
        }
    }
    // True when no byte arrives within `quiet`.
    bool Silent(std::chrono::milliseconds quiet = 200ms)
    {
        return fBuffer.empty() && !_Fill(quiet) && !fClosed;
    }

private:
    bool _Fill(std::chrono::milliseconds timeout)
    {
        pollfd wait{fSocket, POLLIN, 0};
        if (fClosed || ::poll(&wait, 1, static_cast<int>(std::max(0ms, timeout).count())) <= 0)
            return false;
        char chunk[65536];
        ssize_t n = ::recv(fSocket, chunk, sizeof chunk, 0);
        fClosed = n <= 0;
        fBuffer.append(chunk, n > 0 ? static_cast<std::size_t>(n) : 0);
        return !fClosed;
    }

    int fSocket;
    std::string fBuffer;
    bool fClosed = false;
};

// The load balancer in front of a cluster's nodes: HAProxy run with the
// configuration at `config` (deploy/haproxy.cfg), its front moved to a free
// port, which goes to `front`, and node K's line to `nodes`[K - 1]. The
// nodes must take PROXY headers from 127.0.0.1. Null, with the reason in
// `error`, when HAProxy is not installed or no node greets through it.
inline std::unique_ptr<ServerProcess> StartBalancer(const std::string& config,
                                                    const std::vector<std::uint16_t>& nodes,
                                                    const std::string& dir, std::uint16_t* front,
                                                    std::string* error)
{
    if (::access("/usr/sbin/haproxy", X_OK) != 0) {
        *error = "haproxy is not installed (scripts/install-deps.sh installs it)";
        return nullptr;
    }
    std::ifstream in(config);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    *front = FreePort();
    text = std::regex_replace(text, std::regex("127\\.0\\.0\\.1:5000\\b"),
                              "127.0.0.1:" + std::to_string(*front));
    for (std::size_t node = 1; node <= nodes.size(); ++node)
        text = std::regex_replace(text,
                                  std::regex("127\\.0\\.0\\.1:500" + std::to_string(node) + "\\b"),
                                  "127.0.0.1:" + std::to_string(nodes[node - 1]));
    std::ofstream(dir + "/haproxy.cfg") << text;
    auto balancer = std::make_unique<ServerProcess>(
        "/usr/sbin/haproxy", std::vector<std::string>{"-db", "-f", dir + "/haproxy.cfg"},
        dir + "/haproxy.log");
    for (int tries = 0; tries < 100; ++tries, std::this_thread::sleep_for(100ms)) {
        Peer peer(*front);
        if (peer.Next(1s).rfind("101", 0) == 0)
            return balancer;
    }
    *error = "haproxy did not pass a connection on; see " + dir + "/haproxy.log";
    return nullptr;
}

} // namespace tolvar::server::test
