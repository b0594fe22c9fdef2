#include "net/Reconnector.h"

#include "app/MessageCodes.h"
#include "kit/BMessage.h"
#include "kit/Threads.h"

std::optional<std::chrono::seconds> Reconnector::Delay(int attempt, std::chrono::seconds elapsed)
{
    std::chrono::seconds wait{attempt < 5 ? 1 << attempt : 30};
    if (elapsed + wait > kLimit)
        return std::nullopt;
    return wait;
}

Reconnector::Reconnector(MessageTarget* target) : fTarget(target) {}

Reconnector::~Reconnector()
{
    Stop();
}

void Reconnector::Start()
{
    std::chrono::seconds wait;
    {
        std::lock_guard<std::mutex> lock(fLock);
        fActive = true;
        fAttempt = 0;
        fLostAt = std::chrono::steady_clock::now();
        wait = *Delay(0, std::chrono::seconds(0));
    }
    _Schedule(wait);
}

bool Reconnector::Next()
{
    std::optional<std::chrono::seconds> wait;
    {
        std::lock_guard<std::mutex> lock(fLock);
        if (!fActive)
            return false;
        auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::now() - fLostAt);
        wait = Delay(++fAttempt, elapsed);
        fActive = wait.has_value();
    }
    if (!wait)
        return false;
    _Schedule(*wait);
    return true;
}

void Reconnector::Stop()
{
    {
        std::lock_guard<std::mutex> lock(fLock);
        fActive = false;
    }
    std::lock_guard<std::mutex> lock(fState->lock);
    ++fState->generation;
    fState->wake.notify_all();
}

bool Reconnector::Active() const
{
    std::lock_guard<std::mutex> lock(fLock);
    return fActive;
}

void Reconnector::_Schedule(std::chrono::seconds wait)
{
    unsigned generation;
    {
        std::lock_guard<std::mutex> lock(fState->lock);
        generation = ++fState->generation;
        fState->wake.notify_all();
    }
    // The target outlives the thread's posts: Stop() comes first.
    kit::StartThread("reconnect", [state = fState, target = fTarget, generation, wait] {
        std::unique_lock<std::mutex> lock(state->lock);
        for (auto left = wait; left.count() > 0; --left) {
            BMessage tick(MSG_RECONNECT_TICK);
            tick.AddInt32("seconds", static_cast<int32>(left.count()));
            target->PostMessage(tick);
            if (state->wake.wait_for(lock, std::chrono::seconds(1),
                                     [&] { return state->generation != generation; }))
                return;
        }
        target->PostMessage(BMessage(MSG_RECONNECT_ATTEMPT));
    });
}
