#include "TestServer.h"

#include "server/PasswordHash.h"
#include "server/Server.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>

namespace tolvar::server::test {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tolvar-server-XXXXXX";
    if (char* made = ::mkdtemp(pattern.data()))
        fPath = made;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    if (!fPath.empty())
        std::filesystem::remove_all(fPath, ignored);
}

Watchdog::Watchdog(std::chrono::milliseconds limit, std::string what)
{
    fThread = std::thread([this, limit, what = std::move(what)] {
        std::unique_lock<std::mutex> guard(fLock);
        if (!fDone.wait_for(guard, limit, [this] { return fDisarmed; })) {
            std::fprintf(stderr, "watchdog: %s took longer than %lld ms\n", what.c_str(),
                         static_cast<long long>(limit.count()));
            std::abort();
        }
    });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        fDisarmed = true;
    }
    fDone.notify_all();
    fThread.join();
}

ServerConfig FastConfig(const std::string& databasePath)
{
    ServerConfig config;
    config.port = 0;
    config.databasePath = databasePath;
    config.hashCost = HashCost::Minimum();
    config.hashThreads = 2;
    config.paceInterval = std::chrono::milliseconds(0);
    return config;
}

TestServer::TestServer(ServerConfig config)
{
    InitialisePasswordHashing();
    auto started = std::make_shared<std::promise<std::uint16_t>>();
    std::future<std::uint16_t> port = started->get_future();
    fThread = std::thread([this, config = std::move(config), started]() mutable {
        auto server = std::make_unique<Server>(fLoop, std::move(config));
        std::string error;
        if (!server->Start(&error)) {
            std::fprintf(stderr, "test server: %s\n", error.c_str());
            started->set_value(0);
            return;
        }
        started->set_value(server->Port());
        auto guard = asio::make_work_guard(fLoop);
        fLoop.run();
        server.reset();
    });
    if (port.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
        fPort = port.get();
    if (fPort == 0)
        Stop();
}

TestServer::~TestServer()
{
    Stop();
}

void TestServer::Stop()
{
    if (!fThread.joinable())
        return;
    Watchdog watchdog(std::chrono::seconds(10), "stopping the test server");
    // The server stops on its own thread, then the loop ends.
    asio::post(fLoop, [this] { fLoop.stop(); });
    fThread.join();
}

} // namespace tolvar::server::test
