#pragma once
// The real tolvar-server program on 127.0.0.1, port 5000 (the port every
// client uses), with its database at a given path. Callers run where that
// port is free (a private network namespace).

#include "ChildProcess.h"

#include <string>

class ServerProcess
{
public:
    static constexpr int kPort = 5000;

    // Starts the server and waits until it accepts connections; false when
    // it did not within `timeoutMs`.
    bool Start(const std::string& databasePath, const std::string& logPath, int timeoutMs = 10000);
    // Ends it as a crash would (SIGKILL).
    void Kill() { fProcess.Kill(); }
    // Asks it to stop (SIGTERM) and waits; kills it after `timeoutMs`.
    void Stop(int timeoutMs = 5000);
    bool Running() { return fProcess.Running(); }

    // True when something accepts connections on 127.0.0.1 at `port`.
    static bool Accepting(int port);

private:
    ChildProcess fProcess;
};
