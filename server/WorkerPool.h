#pragma once
// A fixed set of threads running posted jobs in the order they were posted.
// With one thread the jobs also finish in that order, which the account
// store relies on. Post from any thread; Stop blocks until the running jobs,
// and the queued ones when asked to drain, have run.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tolvar::server {

class WorkerPool
{
public:
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Ignored once Stop has begun.
    void Post(std::function<void()> job);
    enum class Queued
    {
        Run,
        Drop
    };
    // Joins the threads after running or dropping what is queued. Idempotent.
    void Stop(Queued queued = Queued::Run);

private:
    void _Run();

    std::mutex fLock;
    std::condition_variable fWake;
    std::deque<std::function<void()>> fJobs;
    bool fStopping = false;
    std::vector<std::thread> fThreads;
};

} // namespace tolvar::server
