#include "server/WorkerPool.h"

namespace tolvar::server {

WorkerPool::WorkerPool(int threads)
{
    if (threads < 1)
        threads = 1;
    for (int i = 0; i < threads; ++i)
        fThreads.emplace_back([this] { _Run(); });
}

WorkerPool::~WorkerPool()
{
    Stop();
}

void WorkerPool::Post(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        if (fStopping)
            return;
        fJobs.push_back(std::move(job));
    }
    fWake.notify_one();
}

void WorkerPool::Stop(Queued queued)
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        fStopping = true;
        if (queued == Queued::Drop)
            fJobs.clear();
    }
    fWake.notify_all();
    for (std::thread& thread : fThreads) {
        if (thread.joinable())
            thread.join();
    }
}

void WorkerPool::_Run()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> guard(fLock);
            fWake.wait(guard, [this] { return fStopping || !fJobs.empty(); });
            if (fJobs.empty())
                return;
            job = std::move(fJobs.front());
            fJobs.pop_front();
        }
        job();
    }
}

} // namespace tolvar::server
