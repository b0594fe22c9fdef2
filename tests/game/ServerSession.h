#pragma once
// A logged-in session without a connection: a recording speaker takes the
// lines the windows send, and the server's replies go straight through the
// real line cutting, splitting and reply handlers, on the GUI thread, to the
// client's own windows (ClientWindows). Waits process the GUI's events and
// give up after a timeout.

#include "support/FakeContext.h"
#include "support/RecordingSpeaker.h"

#include <string>
#include <vector>

class ServerSession
{
public:
    explicit ServerSession(const std::string& user = "alpha");
    ~ServerSession();

    // Waits until the client has sent exactly `line`.
    bool WaitForLine(const std::string& line, int timeoutMs = 10000);
    // Handles a reply line (CR LF is added) as if the server had sent it.
    void Reply(const std::string& line);
    // Lines sent that start with `prefix`.
    std::vector<std::string> LinesStartingWith(const std::string& prefix);
    // What the speaker does when the server goes: it resets and says so.
    void DropConnection();

    RecordingSpeaker speaker;

private:
    FakeContext fContext;
};
