// The archive of a busy player: a user with 10,000 finished games asks for
// the first page of them. Prints
//
//   - the server's time: from sending ARCHIVE on a raw socket to the page's
//     closing 136 line received (median and worst of several requests);
//   - the client's time: from the archive window's request to its 50 rows
//     shown, in the client program as users run it ("My Games...").
//
//   archive_bench [--games N]

#include "harness/ClientProcess.h"
#include "harness/ClientState.h"
#include "harness/ServerProcess.h"
#include "server/Elo.h"
#include "server/PasswordHash.h"
#include "server/SqliteStorage.h"

#include <sqlite3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char* const kUser = "ada";
const char* const kOpponent = "max";
const char* const kPassword = "measured-secret";
constexpr int kRequests = 15; // within the server's burst of archive requests

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "archive_bench: %s\n", what.c_str());
    ChildProcess::KillAll();
    std::exit(1);
}

// Two accounts and `games` finished games between them, in one transaction.
void Seed(const std::string& database, int games)
{
    std::string error;
    {
        auto store = tolvar::server::SqliteStorage::Open(database, &error);
        if (!store || !tolvar::server::InitialisePasswordHashing())
            Fail("cannot create the database: " + error);
        const auto hash =
            tolvar::server::HashPassword(kPassword, tolvar::server::HashCost::Minimum());
        if (!hash)
            Fail("cannot hash a password");
        for (const char* name : {kUser, kOpponent})
            if (store->CreateAccount(name, *hash, tolvar::server::kStartRating) !=
                tolvar::server::SqliteStorage::Created::Yes)
                Fail("cannot store an account: " + store->LastError());
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(database.c_str(), &db) != SQLITE_OK)
        Fail("cannot open the database");
    const std::string sql =
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(games) +
        ") INSERT INTO games (id, white_id, black_id, result, reason, moves, white_rating_before,"
        " black_rating_before, white_rating_after, black_rating_after, ended_at)"
        " SELECT i, 1 + i % 2, 2 - i % 2, '1-0', 'White mates. 1-0',"
        " 'F2F3 E7E5 G2G4 D8H4 ', 1500, 1500, 1516, 1484, 1700000000 + i * 60 FROM n";
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK)
        Fail(std::string("cannot store the games: ") + (message ? message : "?"));
    sqlite3_close(db);
}

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// A raw connection that reads whole lines.
class Raw
{
public:
    explicit Raw(int port)
    {
        fSocket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fSocket < 0 ||
            ::connect(fSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            Fail("cannot connect to the server");
        timeval limit{10, 0};
        ::setsockopt(fSocket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~Raw() { ::close(fSocket); }

    void Send(const std::string& line)
    {
        const std::string framed = line + " \r\n";
        if (::send(fSocket, framed.data(), framed.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(framed.size()))
            Fail("cannot send");
    }
    // Reads lines until one starts with `prefix`; returns how many came.
    int ReadUntil(const std::string& prefix)
    {
        for (int lines = 1;; ++lines) {
            size_t end;
            while ((end = fBuffer.find('\n')) == std::string::npos) {
                char chunk[4096];
                const ssize_t got = ::recv(fSocket, chunk, sizeof chunk, 0);
                if (got <= 0)
                    Fail("the server did not answer with " + prefix);
                fBuffer.append(chunk, static_cast<size_t>(got));
            }
            const std::string line = fBuffer.substr(0, end);
            fBuffer.erase(0, end + 1);
            if (line.rfind(prefix, 0) == 0)
                return lines;
        }
    }

private:
    int fSocket = -1;
    std::string fBuffer;
};

} // namespace

int main(int argc, char** argv)
{
    int games = 10000;
    if (argc == 3 && std::strcmp(argv[1], "--games") == 0)
        games = std::max(1, std::atoi(argv[2]));
    else if (argc != 1)
        return std::fprintf(stderr, "usage: archive_bench [--games N]\n"), 2;
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");

    char pattern[] = "/tmp/tolvar-archive-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        Fail("cannot make a scratch directory");
    const std::string work = pattern;
    Seed(work + "/server.db", games);
    ServerProcess server;
    if (!server.Start(work + "/server.db", work + "/server.log"))
        Fail("tolvar-server did not start");

    std::vector<double> serverTimes;
    {
        Raw raw(server.Port());
        raw.ReadUntil("101 ");
        raw.Send(std::string("USER ") + kOpponent + " " + kPassword);
        raw.ReadUntil("201 ");
        for (int i = 0; i < kRequests; ++i) {
            const auto start = std::chrono::steady_clock::now();
            raw.Send(std::string("ARCHIVE ") + kUser + " 1");
            if (raw.ReadUntil("136 ") != 51)
                Fail("the first page does not hold 50 games");
            serverTimes.push_back(Since(start));
        }
    }

    ClientProcess client;
    if (!client.Start(kUser, work, server.Port()))
        Fail("cannot start the client");
    QJsonObject state;
    if (!client.WaitFor([](const QJsonObject& s) { return e2e::VisibleLogins(s) > 0; }, 20000,
                        &state, true) ||
        !client.Command(std::string("login ") + kUser + " " + kPassword)["ok"].toBool() ||
        !client.WaitFor([](const QJsonObject& s) { return !e2e::Text(s["user"]).empty(); }, 20000,
                        &state, true))
        Fail("the client did not log in");
    const auto asked = std::chrono::steady_clock::now();
    if (!client.Command("my-games")["ok"].toBool())
        Fail("no \"My Games\" menu item");
    if (!client.WaitFor(
            [](const QJsonObject& s) { return s["archives"][0]["rows"].toArray().size() == 50; },
            20000, &state, true))
        Fail("the archive window did not fill:\n" + e2e::Describe(state));
    const double seenMs = Since(asked);
    const double shownMs = state["archives"][0]["loadMs"].toDouble();
    client.Quit();
    server.Stop();

    std::sort(serverTimes.begin(), serverTimes.end());
    std::printf("archive_bench: a user with %d finished games, first page of 50\n", games);
    std::printf("  %-48s %8.1f ms (target 200 ms: %s)\n", "server: ARCHIVE to 136 line, median",
                serverTimes[serverTimes.size() / 2],
                serverTimes[serverTimes.size() / 2] <= 200 ? "met" : "missed");
    std::printf("  %-48s %8.1f ms\n", "server: ARCHIVE to 136 line, worst", serverTimes.back());
    std::printf("  %-48s %8.1f ms (target 200 ms: %s)\n", "client: request to 50 rows shown",
                shownMs, shownMs <= 200 ? "met" : "missed");
    std::printf("  %-48s %8.1f ms\n", "client: menu command to rows seen by the driver", seenMs);
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return 0;
}
