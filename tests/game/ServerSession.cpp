#include "ServerSession.h"

#include "GameTestSupport.h"

#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "lobby/ClientWindows.h"

ServerSession::ServerSession(const std::string& user)
{
    speaker.user = user;
    fContext.user = user;
    ClientWindows::Install();
}

ServerSession::~ServerSession()
{
    SetWindowLink(nullptr);
}

bool ServerSession::WaitForLine(const std::string& line, int timeoutMs)
{
    return testing_support::WaitFor(
        [&] {
            return std::find(speaker.lines.begin(), speaker.lines.end(), line) !=
                   speaker.lines.end();
        },
        timeoutMs);
}

void ServerSession::Reply(const std::string& line)
{
    fContext.Receive(line + "\r\n");
}

std::vector<std::string> ServerSession::LinesStartingWith(const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& line : speaker.lines)
        if (line.compare(0, prefix.size(), prefix) == 0)
            found.push_back(line);
    return found;
}

void ServerSession::DropConnection()
{
    speaker.Reset();
    BMessage reset(MSG_CONNECTION_RESET);
    reset.AddInt32("resets", speaker.resets);
    MessageRepeater::Instance()->PostMessage(reset);
}
