#pragma once
// Automatic reconnection after a broken connection: the back-off between
// attempts (1, 2, 4, 8 and 16 s, then every 30 s, for at most five minutes
// after the loss) and a ticking thread that counts each wait down.
//
// Start(), Stop() and Schedule() may be called from any thread and never
// block; the thread posts to `target` only: MSG_RECONNECT_TICK with the
// seconds left ("seconds", int32) once a second, then MSG_RECONNECT_ATTEMPT.
// A stopped or rescheduled wait posts nothing more.

#include "kit/MessageTarget.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

class Reconnector
{
public:
    static constexpr std::chrono::seconds kLimit{300};

    // The wait before attempt number `attempt` (counted from 0), or nothing
    // once that attempt would come later than kLimit after the loss, when
    // `elapsed` has passed since the loss.
    static std::optional<std::chrono::seconds> Delay(int attempt, std::chrono::seconds elapsed);

    explicit Reconnector(MessageTarget* target);
    ~Reconnector();

    // The connection was lost now: the first attempt is scheduled.
    void Start();
    // The last attempt failed: schedules the next one; false (and nothing
    // scheduled) once the time for attempts is over.
    bool Next();
    // No more attempts, nor posts.
    void Stop();
    bool Active() const;

private:
    struct State
    {
        std::mutex lock;
        std::condition_variable wake;
        unsigned generation = 0;
    };
    void _Schedule(std::chrono::seconds wait);

    MessageTarget* fTarget;
    std::shared_ptr<State> fState = std::make_shared<State>();
    mutable std::mutex fLock;
    bool fActive = false;
    int fAttempt = 0;
    std::chrono::steady_clock::time_point fLostAt;
};
