#include "ServerFixture.h"

#include <algorithm>

namespace tolvar::server::test {

void ServerFixture::SetUp()
{
    ASSERT_FALSE(fDir.Path().empty());
    fConfig = FastConfig(fDir.File("server.db"));
    Adjust(fConfig);
    fServer = std::make_unique<TestServer>(fConfig);
    ASSERT_TRUE(fServer->Started());
}

void ServerFixture::TearDown()
{
    fClients.clear();
    fServer.reset();
}

TestClient& ServerFixture::Guest()
{
    fClients.push_back(std::make_unique<TestClient>(fServer->Port()));
    TestClient& client = *fClients.back();
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(client.Next(), "101 1.31 :Tolvar chess server");
    return client;
}

TestClient& ServerFixture::Player(const std::string& name, int rating, bool create)
{
    TestClient& client = Guest();
    if (create) {
        client.Send("CREATE " + name + " secret");
        EXPECT_EQ(client.Next(), "401 :account " + name + " created");
    }
    client.Send("USER " + name + " secret");
    EXPECT_EQ(client.Next(), "201 :welcome, " + name);
    std::string arrival = "701 " + name + " " + std::to_string(rating);
    for (TestClient* other : fLoggedIn)
        EXPECT_EQ(other->Next(), arrival);
    fLoggedIn.push_back(&client);
    return client;
}

void ServerFixture::Forget(TestClient& client)
{
    fLoggedIn.erase(std::remove(fLoggedIn.begin(), fLoggedIn.end(), &client), fLoggedIn.end());
}

void ServerFixture::Restart()
{
    fLoggedIn.clear();
    fClients.clear();
    fServer.reset();
    fServer = std::make_unique<TestServer>(fConfig);
    ASSERT_TRUE(fServer->Started());
}

} // namespace tolvar::server::test
