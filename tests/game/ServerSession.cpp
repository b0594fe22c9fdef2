#include "ServerSession.h"

#include "GameTestSupport.h"

#include "net/TolvarSpeak.h"

#include <gtest/gtest.h>

ServerSession::ServerSession(const std::string& user) : fServer(TolvarSpeak::kServerPort)
{
    if (!fServer.Listening()) {
        ADD_FAILURE() << "port 5000 is taken";
        return;
    }
    TolvarSpeak* speaker = TolvarSpeak::Instance();
    if (!speaker->IsRunning())
        speaker->Run();
    speaker->ConnectWith("127.0.0.1", user, "secret", false);
    if (!WaitForLine("USER " + user + " secret \r\n")) {
        ADD_FAILURE() << "the client never logged in";
        return;
    }
    Reply("201 welcome");
    fLoggedIn = WaitForLine("USERS \r\n");
    EXPECT_TRUE(fLoggedIn) << "the login was not accepted";
    fServer.ClearLines();
}

ServerSession::~ServerSession()
{
    TolvarSpeak::Instance()->Reset();
}

bool ServerSession::WaitForLine(const std::string& line, int timeoutMs)
{
    return testing_support::WaitFor([&] { return fServer.HasLine(line); }, timeoutMs);
}

void ServerSession::Reply(const std::string& line)
{
    fServer.Send(line + "\r\n");
}

std::vector<std::string> ServerSession::LinesStartingWith(const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& line : fServer.Lines())
        if (line.compare(0, prefix.size(), prefix) == 0)
            found.push_back(line);
    return found;
}
