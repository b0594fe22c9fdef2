#pragma once
// The real tolvar-server program on 127.0.0.1, with its database at a given
// path. It listens on a port that was free when it first started; a restart
// keeps that port, so that clients started with Port() find it again.

#include "ChildProcess.h"

#include <string>
#include <vector>

class ServerProcess
{
public:
    // Starts the server and waits until it accepts connections; false when
    // it did not within `timeoutMs`. `options` go to the server's command
    // line after the usual ones (e.g. "--set", "clock-scale=20").
    bool Start(const std::string& databasePath, const std::string& logPath, int timeoutMs = 10000,
               const std::vector<std::string>& options = {});
    // The port it listens on; 0 before the first Start().
    int Port() const { return fPort; }
    // Ends it as a crash would (SIGKILL).
    void Kill() { fProcess.Kill(); }
    // Asks it to stop (SIGTERM) and waits; kills it after `timeoutMs`.
    void Stop(int timeoutMs = 5000);
    bool Running() { return fProcess.Running(); }

    // True when something accepts connections on 127.0.0.1 at `port`.
    static bool Accepting(int port);
    // A port on 127.0.0.1 that nothing listens on now; 0 when none was found.
    static int FreePort();

private:
    ChildProcess fProcess;
    int fPort = 0;
};
