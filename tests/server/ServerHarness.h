#pragma once
// Scaffolding for tests of the real tolvar-server program: the program as a
// child process on a free port with a private database, and clients that
// talk to it over loopback. Every wait is bounded, so no test can hang.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvar::server::test {

using namespace std::chrono_literals;

// A fresh directory below $TMPDIR (or /tmp), removed with its contents.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return fPath; }
    std::string File(const std::string& name) const { return fPath + "/" + name; }

private:
    std::string fPath;
};

class ServerProcess
{
public:
    // Runs `binary` with `arguments`, its output kept in `log`. Unless
    // `asIs`, the arguments gain --port 0, --db `database` and the cheapest
    // password hash. `unprivileged`: the superuser runs it as nobody.
    ServerProcess(std::string binary, std::vector<std::string> arguments, std::string log,
                  std::string database = {}, bool asIs = false, bool unprivileged = false);
    ~ServerProcess();

    // The port it listens on, once it says so (at most ten seconds); 0 if not.
    std::uint16_t WaitForPort();
    // Whether `text` appears in its output within `timeout`.
    bool Logged(std::string_view text, std::chrono::milliseconds timeout = 5s);
    // What it has written so far.
    std::string Log() const;
    // Sends the signal and waits for the end; the wait status, or -1.
    int Stop(int signal);
    // Waits for a program that ends by itself; its exit code, or -1.
    int Wait();
    pid_t Pid() const { return fPid; }

private:
    std::string fLog;
    std::size_t fLogStart = 0;
    pid_t fPid = -1;
};

class Peer
{
public:
    // Connects to the port on loopback from `from` (127.0.0.1 if empty).
    explicit Peer(std::uint16_t port, const std::string& from = {}, int receiveBuffer = 0);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool Connected() const { return fSocket >= 0; }
    // Sends `line` framed as the client frames it: a blank, then CR LF.
    void Send(std::string_view line) { SendRaw(std::string(line) + " \r\n"); }
    void SendRaw(std::string_view bytes);
    // The next line without its LF; "<nothing>" after `timeout`, "<closed>"
    // when the server has closed the connection.
    std::string Next(std::chrono::milliseconds timeout = 5s);
    // Lines up to one that starts with `prefix`; that line or what Next said.
    std::string SkipTo(std::string_view prefix, std::chrono::milliseconds timeout = 5s);
    // True when no byte arrives within `quiet`.
    bool Silent(std::chrono::milliseconds quiet = 200ms);
    // Reads once, as the real client does: at most `limit` bytes.
    std::string ReadChunk(std::size_t limit, std::chrono::milliseconds timeout = 5s);
    void Close();

private:
    bool _Fill(std::chrono::steady_clock::time_point deadline);

    int fSocket = -1;
    std::string fBuffer;
    bool fClosed = false;
};

} // namespace tolvar::server::test
