#include "EndToEnd.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <unistd.h>

void EndToEnd::SetUp()
{
    char pattern[] = "/tmp/tolvar-e2e-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    fDirectory = pattern;
    ASSERT_TRUE(StartServer());
}

void EndToEnd::TearDown()
{
    for (auto& client : fClients)
        client->Quit(3000);
    fServer.Stop();
    for (auto& node : fOtherNodes)
        node->Stop();
    fBus.Kill();
    if (HasFailure()) {
        for (auto& client : fClients)
            std::fprintf(stderr, "--- end of %s's log ---\n%s", client->Name().c_str(),
                         e2e::Tail(client->LogPath(), 30).c_str());
        std::fprintf(stderr, "--- end of the server's log ---\n%s",
                     e2e::Tail(fDirectory + "/server.log", 30).c_str());
        std::fprintf(stderr, "(everything is kept in %s)\n", fDirectory.c_str());
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(fDirectory, ignored);
}

ClientProcess& EndToEnd::StartClient(const std::string& name)
{
    fClients.push_back(std::make_unique<ClientProcess>());
    ClientProcess& client = *fClients.back();
    std::size_t node = (fClients.size() - 1) % (fOtherNodes.size() + 1);
    EXPECT_TRUE(
        client.Start(name, fDirectory, node == 0 ? fServer.Port() : fOtherNodes[node - 1]->Port()));
    return client;
}

testing::AssertionResult EndToEnd::StartCluster(int nodes)
{
    const char* bus = "/usr/sbin/nats-server";
    if (::access(bus, X_OK) != 0)
        return testing::AssertionFailure() << "nats-server is not installed";
    std::string url = "nats://127.0.0.1:" + std::to_string(ServerProcess::FreePort());
    if (!fBus.Start({bus, "-a", "127.0.0.1", "-p", url.substr(url.rfind(':') + 1)}, {},
                    fDirectory + "/bus.log", false))
        return testing::AssertionFailure() << "nats-server did not start";
    fServer.Stop();
    fServerOptions.insert(fServerOptions.end(), {"--bus", url, "--node", "node1"});
    if (auto started = StartServer(); !started)
        return started;
    for (int node = 2; node <= nodes; ++node) {
        auto& server = *fOtherNodes.emplace_back(std::make_unique<ServerProcess>());
        std::string log = fDirectory + "/node" + std::to_string(node) + ".log";
        if (!server.Start(fDirectory + "/server.db", log, 10000,
                          {"--bus", url, "--node", "node" + std::to_string(node)}))
            return testing::AssertionFailure() << "node " << node << " did not start:\n"
                                               << e2e::Tail(log, 20);
    }
    // Logins are safe once the last node has met every other.
    std::string last = fDirectory + "/node" + std::to_string(nodes) + ".log";
    for (int i = 0; i < 500; ++i) {
        std::ifstream in(last);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        int met = 0;
        for (std::size_t at = 0; (at = text.find("is in the cluster", at)) != std::string::npos;
             ++at)
            ++met;
        if (met >= nodes - 1)
            return testing::AssertionSuccess();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return testing::AssertionFailure() << "the nodes did not meet:\n" << e2e::Tail(last, 20);
}

testing::AssertionResult EndToEnd::StartServer(const std::vector<std::string>& extra)
{
    std::vector<std::string> options = fServerOptions;
    options.insert(options.end(), extra.begin(), extra.end());
    if (!fServer.Start(fDirectory + "/server.db", fDirectory + "/server.log", 10000, options))
        return testing::AssertionFailure() << "tolvar-server did not start:\n"
                                           << e2e::Tail(fDirectory + "/server.log", 20);
    return testing::AssertionSuccess();
}

testing::AssertionResult EndToEnd::Eventually(ClientProcess& client, const std::string& what,
                                              const std::function<bool(const QJsonObject&)>& done,
                                              int timeoutMs)
{
    QJsonObject last;
    if (client.WaitFor(done, timeoutMs, &last))
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << client.Name() << ": " << what << " did not happen; last state:\n"
           << e2e::Describe(last);
}

namespace {

int CountLines(const std::vector<std::string>& lines, const std::string& wanted)
{
    return static_cast<int>(std::count(lines.begin(), lines.end(), wanted));
}

// The player-list lines of `user` the client has received ("700 user rating").
int ListEntries(const std::string& logPath, const std::string& user)
{
    int count = 0;
    for (const std::string& line : e2e::ReceivedLines(logPath))
        if (line.rfind("700 " + user + " ", 0) == 0)
            ++count;
    return count;
}

const char* const kWelcome = "System: Welcome to Tolvar Chess.";

} // namespace

testing::AssertionResult EndToEnd::LogIn(ClientProcess& client, const std::string& user,
                                         const std::string& password, bool create)
{
    QJsonObject before;
    if (!client.WaitFor([](const QJsonObject& s) { return e2e::VisibleLogins(s) > 0; }, kWait,
                        &before))
        return testing::AssertionFailure() << client.Name() << ": no login window\n"
                                           << e2e::Describe(before);
    // A lobby that lost its connection keeps its status, lists and chat, so
    // a new login shows only as a further welcome and a further list.
    const int welcomes = CountLines(e2e::LobbyChat(before), kWelcome);
    const int listed = ListEntries(client.LogPath(), user);
    if (!client.Do((create ? "create-account " : "login ") + user + " " + password))
        return testing::AssertionFailure() << client.Name() << " could not log in";
    return Eventually(client, "the lobby of " + user, [&](const QJsonObject& s) {
        return e2e::LobbyStatus(s) == "connected as " + user && e2e::VisibleLogins(s) == 0 &&
               CountLines(e2e::LobbyChat(s), kWelcome) > welcomes &&
               ListEntries(client.LogPath(), user) > listed && !e2e::Rating(s, user).empty();
    });
}

testing::AssertionResult EndToEnd::AnswerAlert(ClientProcess& client, const std::string& text,
                                               const std::string& button)
{
    testing::AssertionResult shown =
        Eventually(client, "the alert \"" + text + "\"", [&](const QJsonObject& s) {
            const QJsonObject alert = e2e::OpenAlert(s);
            return e2e::Text(alert["text"]) == text && e2e::Text(alert["button"]) == button;
        });
    if (!shown)
        return shown;
    if (!client.Do("press-alert"))
        return testing::AssertionFailure() << client.Name() << " could not press the alert";
    return Eventually(client, "the alert to close",
                      [](const QJsonObject& s) { return e2e::OpenAlert(s).isEmpty(); });
}

testing::AssertionResult EndToEnd::StartGame(ClientProcess& creator, ClientProcess& joiner,
                                             const std::string& colour, const std::string& id,
                                             const std::string& timeControl)
{
    if (!creator.Do("click create"))
        return testing::AssertionFailure() << "create is not possible";
    testing::AssertionResult step =
        Eventually(creator, "the creation dialog",
                   [](const QJsonObject& s) { return s["chooseColour"].toBool(); });
    if (!step)
        return step;
    if (!timeControl.empty() && !creator.Do("time-control " + timeControl))
        return testing::AssertionFailure() << "no time control " << timeControl;
    if (!creator.Do("choose-colour " + colour + " quick one"))
        return testing::AssertionFailure() << "no colour chosen";
    step = Eventually(joiner, "game " + id + " listed",
                      [&](const QJsonObject& s) { return !e2e::LobbyGame(s, id).isEmpty(); });
    if (!step)
        return step;
    if (!joiner.Do("select " + id))
        return testing::AssertionFailure() << "no row " << id;
    step = Eventually(joiner, "join enabled",
                      [](const QJsonObject& s) { return s["lobby"]["joinEnabled"].toBool(); });
    if (!step || !joiner.Do("click join"))
        return testing::AssertionFailure() << "cannot join " << id;
    for (ClientProcess* player : {&creator, &joiner}) {
        step = Eventually(*player, "game " + id + " under way", [&](const QJsonObject& s) {
            return e2e::GameWindowState(s, id)["chatEnabled"].toBool();
        });
        if (!step)
            return step;
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult EndToEnd::Move(ClientProcess& mover, ClientProcess& other,
                                        const std::string& id, const std::string& from,
                                        const std::string& to)
{
    const QJsonObject reply = mover.Command("drag " + id + " " + from + " " + to);
    if (!reply["ok"].toBool() || !reply["picked"].toBool())
        return testing::AssertionFailure() << "cannot drag " << from << to;
    const std::string moved = e2e::Text(e2e::GameWindowState(mover.State(true), id)["board"]);
    return Eventually(other, "the move " + from + to, [&](const QJsonObject& s) {
        return e2e::Text(e2e::GameWindowState(s, id)["board"]) == moved;
    });
}
