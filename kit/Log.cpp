#include "kit/Log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace kit {
namespace {
std::atomic<bool> sEnabled{false};
std::mutex sMutex;
} // namespace

void SetLogging(bool enabled)
{
    sEnabled = enabled;
}

bool IsLogging()
{
    return sEnabled;
}

void Log(const std::string& line)
{
    if (!sEnabled)
        return;
    std::lock_guard<std::mutex> lock(sMutex);
    std::fprintf(stderr, "%s\n", line.c_str());
}

} // namespace kit
