#pragma once
// A message loop on a thread of its own: a FIFO queue of messages handled
// one at a time by MessageReceived() (the loops that are not windows: the
// broadcast loop, the protocol speaker). Windows are GuiLoopers instead,
// whose messages are handled on the GUI thread.

#include "kit/MessageTarget.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

class BLooper : public MessageTarget
{
public:
    explicit BLooper(const std::string& name = {});
    ~BLooper() override;

    BLooper(const BLooper&) = delete;
    BLooper& operator=(const BLooper&) = delete;

    // Starts the loop's thread. Messages posted before Run() wait in the
    // queue. Once the loop has quit it cannot be started again.
    void Run();

    // Stops the loop: the messages already queued are handled first, then the
    // thread ends. Blocks until it has ended unless called on the loop's own
    // thread. A derived class that handles messages must call Quit() in its
    // destructor, before its own members go.
    void Quit();

    // Returns B_ERROR once the loop has quit.
    status_t PostMessage(const BMessage& message) override;
    using MessageTarget::PostMessage;

protected:
    // Called for each message taken from the queue. B_QUIT_REQUESTED asks
    // QuitRequested() and quits the loop when it agrees; every other message
    // goes to MessageReceived().
    virtual void DispatchMessage(BMessage* message);
    virtual bool QuitRequested() { return true; }

    // True on the thread that handles this loop's messages.
    bool IsLoopThread() const;
    // True when messages wait in the queue (not counting one being handled).
    bool HasQueuedMessages() const;

private:
    void _Loop();

    std::string fName;
    mutable std::mutex fQueueMutex;
    std::condition_variable fQueueChanged;
    std::deque<BMessage> fQueue;
    std::thread fThread;
    std::thread::id fThreadId;
    bool fRunning = false;
    bool fQuitting = false;
    bool fQuit = false;
};
