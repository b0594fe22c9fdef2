#pragma once
// A driven client program (tolvar_e2e_client): commands go to it one line
// at a time, each answered with one JSON object (see ClientDriver for the
// commands and what the state holds).
//
// Each client has its own settings directory below the directory it is
// given. Not thread-safe.

#include "ChildProcess.h"

#include <QJsonObject>

#include <functional>
#include <string>

class ClientProcess
{
public:
    // Starts the client for the server on `port`; `platform` is the Qt
    // platform to use ("offscreen", "xcb"), or empty to keep this process's
    // setting.
    bool Start(const std::string& name, const std::string& directory, int port,
               const std::string& platform = "offscreen");

    const std::string& Name() const { return fName; }
    const std::string& LogPath() const { return fLogPath; }

    // Sends a command and returns its reply; a reply with "ok" false and an
    // "error" when none came within `timeoutMs`. After a missed reply the
    // client counts as lost and every later command fails at once.
    QJsonObject Command(const std::string& line, int timeoutMs = 10000);
    // True when the command was accepted.
    bool Do(const std::string& line);
    // What the user sees now ("brief": without the lists).
    QJsonObject State(bool brief = false);
    // Asks for the state until `done` holds for it or `timeoutMs` ran out;
    // `last` receives the last state seen.
    bool WaitFor(const std::function<bool(const QJsonObject& state)>& done, int timeoutMs,
                 QJsonObject* last = nullptr, bool brief = false);

    // "quit" through the lobby's menu, then waits for the program to end;
    // kills it when it does not within `timeoutMs`. True when it ended by itself.
    bool Quit(int timeoutMs = 5000);
    void Kill() { fProcess.Kill(); }
    bool Running() { return fProcess.Running(); }
    pid_t Pid() const { return fProcess.Pid(); }

private:
    ChildProcess fProcess;
    std::string fName;
    std::string fLogPath;
    bool fLost = false;
};
