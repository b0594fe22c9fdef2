#pragma once
// The fixture of the end-to-end tests: a scratch directory, the real
// tolvar-server on a free port and driven client programs started for that
// port. Every wait gives up after a time limit, and the programs die with
// the test (CTest's time limit ends a test that hangs all the same).

#include "harness/ClientProcess.h"
#include "harness/ClientState.h"
#include "harness/ServerProcess.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class EndToEnd : public testing::Test
{
protected:
    static constexpr int kWait = 30000;

    void SetUp() override;
    void TearDown() override;

    // A new client program with its own settings directory. In a cluster,
    // the clients go to the nodes in turn: the first to node 1, and so on.
    ClientProcess& StartClient(const std::string& name);
    // Makes the server node 1 of a cluster of `nodes` on its database,
    // meeting on a nats-server of its own.
    testing::AssertionResult StartCluster(int nodes);
    // Starts (or restarts) the server on the fixture's database.
    testing::AssertionResult StartServer(const std::vector<std::string>& extra = {});

    // Waits until `done` holds for the client's state; on failure the
    // message names `what` and shows the last state seen.
    testing::AssertionResult Eventually(ClientProcess& client, const std::string& what,
                                        const std::function<bool(const QJsonObject&)>& done,
                                        int timeoutMs = kWait);
    // Logs in through the login window (creating the account when asked)
    // and waits for the lobby of the new login with its lists.
    testing::AssertionResult LogIn(ClientProcess& client, const std::string& user,
                                   const std::string& password, bool create);
    // Waits for an alert with exactly this text and button, presses it,
    // and waits for it to be gone.
    testing::AssertionResult AnswerAlert(ClientProcess& client, const std::string& text,
                                         const std::string& button);

    // `creator` offers a game of `colour` (with a time control from the
    // creation dialog, unless empty) with the next number `id`; `joiner`
    // joins it; both windows show the game under way.
    testing::AssertionResult StartGame(ClientProcess& creator, ClientProcess& joiner,
                                       const std::string& colour, const std::string& id,
                                       const std::string& timeControl = {});
    // Drags a piece and waits until the other player's board shows the move.
    testing::AssertionResult Move(ClientProcess& mover, ClientProcess& other, const std::string& id,
                                  const std::string& from, const std::string& to);

    std::string fDirectory;
    ServerProcess fServer;
    // Options for every server the fixture starts.
    std::vector<std::string> fServerOptions;
    std::vector<std::unique_ptr<ClientProcess>> fClients;
    ChildProcess fBus;
    std::vector<std::unique_ptr<ServerProcess>> fOtherNodes; // nodes 2, 3, ...
};
