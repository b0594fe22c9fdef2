#pragma once
// A thread loop that records every message it handles, for tests. Waiting
// calls give up after a timeout, so a test cannot hang on a lost message.

#include "kit/BLooper.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

class RecordingLooper : public BLooper
{
public:
    explicit RecordingLooper(const std::string& name = "recorder") : BLooper(name) { Run(); }
    ~RecordingLooper() override { Quit(); }

    void MessageReceived(BMessage* message) override
    {
        {
            std::lock_guard<std::mutex> lock(fMutex);
            fMessages.push_back(*message);
        }
        fChanged.notify_all();
    }

    // Waits until a message arrived for which `wanted` holds; false on timeout.
    bool WaitFor(const std::function<bool(const BMessage&)>& wanted,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(fMutex);
        return fChanged.wait_for(lock, timeout, [&] {
            for (const BMessage& message : fMessages)
                if (wanted(message))
                    return true;
            return false;
        });
    }
    bool WaitForWhat(uint32 what, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        return WaitFor([what](const BMessage& message) { return message.what == what; }, timeout);
    }
    // Waits until at least `count` messages arrived; false on timeout.
    bool WaitForCount(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(fMutex);
        return fChanged.wait_for(lock, timeout, [&] { return fMessages.size() >= count; });
    }

    std::vector<BMessage> Messages()
    {
        std::lock_guard<std::mutex> lock(fMutex);
        return fMessages;
    }

    std::vector<uint32> Codes()
    {
        std::vector<uint32> codes;
        for (const BMessage& message : Messages())
            codes.push_back(message.what);
        return codes;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fMessages.clear();
    }

private:
    std::mutex fMutex;
    std::condition_variable fChanged;
    std::vector<BMessage> fMessages;
};
