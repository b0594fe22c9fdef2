#pragma once
// A logged-in session with a real protocol speaker against a LineServer on
// port 5000 (the tests run in a private network namespace): the speaker's
// loop runs, the server answers the login line with 201, and the test can
// read what the client sent and send replies of its own. Waits process the
// GUI's events (replies open and drive windows there) and give up after a
// timeout.

#include "support/LineServer.h"

#include <string>

class ServerSession
{
public:
    explicit ServerSession(const std::string& user = "alpha");
    // Logs out: the speaker drops the connection without an alert.
    ~ServerSession();

    bool LoggedIn() const { return fLoggedIn; }
    LineServer& Server() { return fServer; }

    // Waits until the client has sent exactly `line`.
    bool WaitForLine(const std::string& line, int timeoutMs = 10000);
    // Sends a reply line (CR LF is added) to the client.
    void Reply(const std::string& line);
    // Lines received that start with `prefix`.
    std::vector<std::string> LinesStartingWith(const std::string& prefix);

private:
    LineServer fServer;
    bool fLoggedIn = false;
};
