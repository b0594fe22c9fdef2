#include "server/EventLog.h"

#include <cstdio>
#include <ctime>
#include <mutex>

namespace tolvar::server {

namespace {
std::mutex gLock;
std::function<void(const std::string&)> gSink;
} // namespace

void SetEventSink(std::function<void(const std::string&)> sink)
{
    std::lock_guard<std::mutex> guard(gLock);
    gSink = std::move(sink);
}

void LogEvent(const std::string& line)
{
    std::lock_guard<std::mutex> guard(gLock);
    if (gSink) {
        gSink(line);
        return;
    }
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::fprintf(stderr, "%s tolvar-server: %s\n", stamp, line.c_str());
    std::fflush(stderr);
}

} // namespace tolvar::server
