// A demonstration without a screen: the server and two clients on this
// machine; two new users meet in the lobby, one offers a game, the other
// joins, they chat and play it to mate, and pictures of the lobby and of
// both game windows are saved as PNG files.
//
//   tolvar_demo OUTPUT_DIRECTORY
//
// The server listens on a free port, which the clients are given. The
// clients use the display of the environment (such as a virtual X server),
// else the offscreen one.

#include "harness/ClientProcess.h"
#include "harness/ClientState.h"
#include "harness/ServerProcess.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace {

constexpr int kWait = 20000;

[[noreturn]] void Fail(const std::string& what, const std::string& detail = {})
{
    std::fprintf(stderr, "demo: %s\n%s", what.c_str(), detail.c_str());
    ChildProcess::KillAll();
    std::exit(1);
}

void Wait(ClientProcess& client, const std::string& what,
          const std::function<bool(const QJsonObject&)>& done)
{
    QJsonObject last;
    if (!client.WaitFor(done, kWait, &last))
        Fail(client.Name() + ": " + what + " did not happen", e2e::Describe(last));
}

void Do(ClientProcess& client, const std::string& command)
{
    const QJsonObject reply = client.Command(command);
    if (!reply["ok"].toBool())
        Fail(client.Name() + ": " + command + ": " + e2e::Text(reply["error"]));
}

std::string Grab(ClientProcess& client, const std::string& what, const std::string& path)
{
    Do(client, "grab " + what + " " + path);
    return path;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tolvar_demo OUTPUT_DIRECTORY\n");
        return 2;
    }
    std::error_code error;
    const std::filesystem::path output = std::filesystem::absolute(argv[1], error);
    std::filesystem::create_directories(output, error);
    if (error)
        Fail("cannot create " + output.string());

    const std::string work = (output / "run").string();
    std::filesystem::remove_all(work, error);
    std::filesystem::create_directories(work, error);
    const bool display = std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY");
    const std::string platform = display ? "" : "offscreen";

    ServerProcess server;
    if (!server.Start(work + "/server.db", work + "/server.log"))
        Fail("tolvar-server did not start", e2e::Tail(work + "/server.log", 20));
    std::printf("tolvar-server runs on 127.0.0.1:%d; starting two clients...\n", server.Port());
    std::fflush(stdout);
    ClientProcess white, black;
    if (!white.Start("alice", work, server.Port(), platform) ||
        !black.Start("bob", work, server.Port(), platform))
        Fail("the clients did not start");

    for (auto [client, password] : {std::pair{&white, "alice-pw"}, std::pair{&black, "bob-pw"}}) {
        Wait(*client, "the login window",
             [](const QJsonObject& s) { return e2e::VisibleLogins(s) == 1; });
        Do(*client, "create-account " + client->Name() + " " + password);
        Wait(*client, "the lobby", [&](const QJsonObject& s) {
            return e2e::LobbyStatus(s) == "connected as " + client->Name();
        });
    }
    std::printf("alice and bob have created their accounts and logged in.\n");
    Do(white, "say Hello bob, a quick game?");
    Wait(black, "alice's greeting", [](const QJsonObject& s) {
        return e2e::HasLine(s["lobby"]["chat"], "alice: Hello bob, a quick game?");
    });
    Do(black, "say Gladly!");

    Do(white, "click create");
    Wait(white, "the game creation dialog",
         [](const QJsonObject& s) { return s["chooseColour"].toBool(); });
    Do(white, "choose-colour white Scholar's practice");
    Wait(black, "alice's challenge",
         [](const QJsonObject& s) { return !e2e::LobbyGame(s, "1").isEmpty(); });
    Do(black, "select 1");
    Wait(black, "join enabled",
         [](const QJsonObject& s) { return s["lobby"]["joinEnabled"].toBool(); });
    Do(black, "click join");
    for (ClientProcess* client : {&white, &black})
        Wait(*client, "the game window", [](const QJsonObject& s) {
            return e2e::GameWindowState(s, "1")["chatEnabled"].toBool();
        });
    std::printf("bob has joined alice's game; playing...\n");
    Do(black, "game-say 1 Good luck!");
    const std::string lobbyDuring =
        Grab(black, "lobby", (output / "lobby-during-game.png").string());

    const char* const moves[][2] = {{"E2", "E4"}, {"E7", "E5"}, {"F1", "C4"}, {"B8", "C6"},
                                    {"D1", "H5"}, {"G8", "F6"}, {"H5", "F7"}};
    int ply = 0;
    for (const auto& move : moves) {
        ClientProcess& mover = ply % 2 == 0 ? white : black;
        ClientProcess& other = ply % 2 == 0 ? black : white;
        Do(mover, std::string("drag 1 ") + move[0] + " " + move[1]);
        const std::string board = e2e::Board(mover.State(true), "1");
        Wait(other, std::string("the move ") + move[0] + move[1],
             [&](const QJsonObject& s) { return e2e::Board(s, "1") == board; });
        ++ply;
    }
    for (ClientProcess* client : {&white, &black})
        Wait(*client, "the result and the new ratings", [](const QJsonObject& s) {
            return e2e::Text(e2e::GameWindowState(s, "1")["banner"]) == "White Mates." &&
                   e2e::Rating(s, "alice") == "1516";
        });
    Do(white, "game-say 1 Thanks for the game!");
    Wait(black, "alice's thanks", [](const QJsonObject& s) {
        return e2e::HasLine(e2e::GameWindowState(s, "1")["chat"], "alice: Thanks for the game!");
    });
    std::printf("White mates: alice 1516, bob 1484.\n\n");

    const std::string lobbyAfter = Grab(white, "lobby", (output / "lobby-after-game.png").string());
    const std::string whiteGame = Grab(white, "game 1", (output / "game-alice-white.png").string());
    const std::string blackGame = Grab(black, "game 1", (output / "game-bob-black.png").string());

    white.Quit();
    black.Quit();
    server.Stop();
    std::printf("Pictures of the windows:\n  %s\n  %s\n  %s\n  %s\n", lobbyDuring.c_str(),
                lobbyAfter.c_str(), whiteGame.c_str(), blackGame.c_str());
    return 0;
}
