#pragma once
// A message loop: a FIFO queue of messages handled one at a time by
// MessageReceived().
//
// The base class runs its loop on a thread of its own (Run() starts it).
// Windows derive from GuiLooper instead, whose messages are handled on the
// GUI thread. PostMessage() never waits for the message to be handled and
// may be called from any thread.

#include "kit/BMessage.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class BLooper
{
public:
    explicit BLooper(const std::string& name = {});
    virtual ~BLooper();

    BLooper(const BLooper&) = delete;
    BLooper& operator=(const BLooper&) = delete;

    // Starts the loop's thread. Messages posted before Run() wait in the queue.
    virtual void Run();

    // Stops the loop: the messages already queued are handled first, then the
    // thread ends. Blocks until it has ended unless called on the loop's own
    // thread. A derived class that handles messages must call Quit() in its
    // destructor, before its own members go.
    virtual void Quit();

    // Queues a copy of `message` for this loop; returns B_ERROR once the loop
    // has quit. Never blocks on the handler.
    virtual status_t PostMessage(const BMessage& message);
    status_t PostMessage(uint32 what);

    // Handles one message on the loop's thread. The default drops it.
    virtual void MessageReceived(BMessage* message);

    // The loop's lock: held while a message is handled, so a thread that
    // holds it runs while no message of this loop is being handled. The lock
    // is recursive for its owner thread.
    virtual bool Lock();
    virtual void Unlock();

    // Runs `call` while holding the loop's lock and returns after it ran.
    // Returns false when it could not be run (the loop has gone).
    virtual bool RunLocked(const std::function<void()>& call);

    // True on the thread that handles this loop's messages.
    virtual bool IsLoopThread() const;

    const std::string& Name() const { return fName; }
    bool IsRunning() const;
    // Messages waiting in the queue (not counting one being handled).
    int CountQueuedMessages() const;

protected:
    // Called for each message taken from the queue. B_QUIT_REQUESTED asks
    // QuitRequested() and quits the loop when it agrees; every other message
    // goes to MessageReceived().
    virtual void DispatchMessage(BMessage* message);
    virtual bool QuitRequested() { return true; }

private:
    void _Loop();

    std::string fName;
    std::recursive_mutex fLock;
    mutable std::mutex fQueueMutex;
    std::condition_variable fQueueChanged;
    std::deque<BMessage> fQueue;
    std::thread fThread;
    std::thread::id fThreadId;
    bool fRunning = false;
    bool fQuitting = false;
    bool fQuit = false;
};
