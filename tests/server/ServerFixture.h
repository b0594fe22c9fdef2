#pragma once
// A server in this process with clients that log in through it; each test
// gets a fresh database. Every read has a timeout, and the server stops
// under a watchdog, so no test can hang.

#include "TestClient.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tolvar::server::test {

class ServerFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    // Tests change the configuration here before the server starts.
    virtual void Adjust(ServerConfig&) {}

    // Connected, greeting read, not logged in.
    TestClient& Guest();
    // Connected and logged in under a new account (or an existing one when
    // `create` is false). Checks that every other client logged in through
    // the fixture hears "701 name rating".
    TestClient& Player(const std::string& name, int rating = 1500, bool create = true);
    // The client no longer takes part (it was closed or disconnected).
    void Forget(TestClient& client);
    // Stops the server and starts another on the same database.
    void Restart();

    TempDir fDir;
    ServerConfig fConfig;
    std::unique_ptr<TestServer> fServer;
    std::vector<std::unique_ptr<TestClient>> fClients;
    std::vector<TestClient*> fLoggedIn;
};

} // namespace tolvar::server::test
