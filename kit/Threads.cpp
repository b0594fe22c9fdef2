#include "kit/Threads.h"

#include <pthread.h>

#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>

namespace kit {
namespace {

struct Tracked
{
    std::thread thread;
    bool finished = false;
};

// Never destroyed: a thread may still be running when the process exits
// (for instance when the display goes away and the toolkit calls exit()),
// and destroying a joinable std::thread would abort the process.
std::mutex& sMutex = *new std::mutex;
std::condition_variable& sFinished = *new std::condition_variable;
std::list<std::shared_ptr<Tracked>>& sThreads = *new std::list<std::shared_ptr<Tracked>>;

// Joins the finished threads; the caller holds sMutex.
void ReapLocked()
{
    for (auto it = sThreads.begin(); it != sThreads.end();) {
        if ((*it)->finished) {
            if ((*it)->thread.joinable())
                (*it)->thread.join();
            it = sThreads.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace

void NameCurrentThread(const std::string& name)
{
    std::string shortName = name.substr(0, 15);
    pthread_setname_np(pthread_self(), shortName.c_str());
}

void StartThread(const std::string& name, std::function<void()> body)
{
    auto tracked = std::make_shared<Tracked>();
    std::lock_guard<std::mutex> lock(sMutex);
    ReapLocked();
    // The thread cannot touch `tracked` before it is in the list: it needs
    // sMutex to mark itself finished, and we hold it until we return.
    tracked->thread = std::thread([tracked, name, body = std::move(body)] {
        NameCurrentThread(name);
        body();
        {
            std::lock_guard<std::mutex> doneLock(sMutex);
            tracked->finished = true;
        }
        sFinished.notify_all();
    });
    sThreads.push_back(tracked);
}

void JoinAllThreads()
{
    for (;;) {
        std::shared_ptr<Tracked> next;
        {
            std::lock_guard<std::mutex> lock(sMutex);
            ReapLocked();
            if (sThreads.empty())
                return;
            next = sThreads.front();
            sThreads.pop_front();
        }
        // Joined outside the lock so that the thread can mark itself finished.
        if (next->thread.joinable() && next->thread.get_id() != std::this_thread::get_id())
            next->thread.join();
        else if (next->thread.joinable())
            next->thread.detach();
    }
}

bool WaitForThreads(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(sMutex);
    const bool allEnded = sFinished.wait_for(lock, limit, [] {
        for (const auto& tracked : sThreads)
            if (!tracked->finished)
                return false;
        return true;
    });
    ReapLocked();
    return allEnded;
}

int RunningThreadCount()
{
    std::lock_guard<std::mutex> lock(sMutex);
    int count = 0;
    for (const auto& tracked : sThreads)
        if (!tracked->finished)
            ++count;
    return count;
}

} // namespace kit
