#pragma once
// Test scaffolding: a private temporary directory, a watchdog, and a server
// running in this process on its own thread on an ephemeral port.

#include "server/ServerConfig.h"

#include <asio.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace tolvar::server::test {

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

// Aborts the whole test program, naming `what`, unless destroyed in time.
class Watchdog
{
public:
    Watchdog(std::chrono::milliseconds limit, std::string what);
    ~Watchdog();

private:
    std::mutex fLock;
    std::condition_variable fDone;
    bool fDisarmed = false;
    std::thread fThread;
};

// A server for tests: cheapest password hashes, no pacing, port 0.
ServerConfig FastConfig(const std::string& databasePath);

class TestServer
{
public:
    explicit TestServer(ServerConfig config);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    bool Started() const { return fPort != 0; }
    std::uint16_t Port() const { return fPort; }
    // Stops the server and joins its thread; at most ten seconds.
    void Stop();

private:
    asio::io_context fLoop;
    std::thread fThread;
    std::uint16_t fPort = 0;
};

} // namespace tolvar::server::test
