// The client after a server restart: two client programs play a game while
// the server is killed and, after a varying pause, started again. Prints
// the time from the server listening again to both clients logged in with
// their game window live again (median and worst), which includes the wait
// for the next attempt of the clients' back-off.
//
//   e2e_resume_bench [ROUNDS]

#include "harness/ClientProcess.h"
#include "harness/ClientState.h"
#include "harness/ServerProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool Wait(ClientProcess& client, const std::function<bool(const QJsonObject&)>& done)
{
    return client.WaitFor(done, 60000, nullptr, false);
}

bool Live(const QJsonObject& s)
{
    const std::string status = e2e::Text(e2e::GameWindowState(s, "1")["status"]);
    return e2e::LobbyStatus(s) == "reconnected" &&
           (status == "game resumed" || status.find(" is back") != std::string::npos);
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6;
    char pattern[] = "/tmp/tolvar-resume-bench-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    const std::string dir = pattern;
    ServerProcess server;
    ClientProcess alice, bob;
    auto fail = [&](const char* what) {
        std::fprintf(stderr, "e2e_resume_bench: %s (see %s)\n", what, dir.c_str());
        return 1;
    };
    if (!server.Start(dir + "/server.db", dir + "/server.log"))
        return fail("the server did not start");
    if (!alice.Start("alice", dir, server.Port()) || !bob.Start("bob", dir, server.Port()))
        return fail("a client did not start");
    for (auto [client, name] : {std::pair{&alice, "alice"}, std::pair{&bob, "bob"}}) {
        if (!Wait(*client, [](const QJsonObject& s) { return e2e::VisibleLogins(s) == 1; }) ||
            !client->Do(std::string("create-account ") + name + " secret") ||
            !Wait(*client, [](const QJsonObject& s) {
                return e2e::LobbyStatus(s).rfind("connected as", 0) == 0;
            }))
            return fail("no login");
    }
    if (!alice.Do("click create") ||
        !Wait(alice, [](const QJsonObject& s) { return s["chooseColour"].toBool(); }) ||
        !alice.Do("choose-colour white bench") ||
        !Wait(bob, [](const QJsonObject& s) { return !e2e::LobbyGame(s, "1").isEmpty(); }) ||
        !bob.Do("select 1") ||
        !Wait(bob, [](const QJsonObject& s) { return s["lobby"]["joinEnabled"].toBool(); }) ||
        !bob.Do("click join") || !Wait(alice, [](const QJsonObject& s) {
            return e2e::GameWindowState(s, "1")["chatEnabled"].toBool();
        }))
        return fail("no game");

    const int pauses[] = {0, 500, 1500, 3000, 6000, 10000};
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        server.Kill();
        for (ClientProcess* client : {&alice, &bob})
            if (!Wait(*client, [](const QJsonObject& s) {
                    return e2e::LobbyStatus(s).rfind("connection lost", 0) == 0;
                }))
                return fail("the loss was not noticed");
        std::this_thread::sleep_for(std::chrono::milliseconds(pauses[round % 6]));
        if (!server.Start(dir + "/server.db", dir + "/server.log"))
            return fail("the server did not start again");
        const auto listening = Clock::now();
        for (ClientProcess* client : {&alice, &bob}) {
            if (!Wait(*client, Live))
                return fail("the game did not come back");
            times.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - listening).count());
        }
        std::printf("round %d: server down %d ms; back after %.0f and %.0f ms\n", round + 1,
                    pauses[round % 6], times[times.size() - 2], times.back());
    }
    std::sort(times.begin(), times.end());
    std::printf("from the server listening again to logged in with the window live:\n"
                "  median %.0f ms, worst %.0f ms over %zu reconnections\n",
                times[times.size() / 2], times.back(), times.size());
    alice.Quit(3000);
    bob.Quit(3000);
    server.Stop();
    std::filesystem::remove_all(dir);
    return 0;
}
