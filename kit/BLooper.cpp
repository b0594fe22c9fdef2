#include "kit/BLooper.h"

#include "kit/Threads.h"

BLooper::BLooper(const std::string& name) : fName(name) {}

BLooper::~BLooper()
{
    // Safety net only: a derived loop should have quit in its own destructor.
    if (fThread.joinable()) {
        if (std::this_thread::get_id() == fThread.get_id())
            fThread.detach();
        else
            Quit();
    }
}

void BLooper::Run()
{
    std::lock_guard<std::mutex> lock(fQueueMutex);
    if (fRunning || fQuit)
        return;
    fRunning = true;
    fThread = std::thread([this] { _Loop(); });
    fThreadId = fThread.get_id();
}

void BLooper::Quit()
{
    {
        std::lock_guard<std::mutex> lock(fQueueMutex);
        fQuitting = true;
    }
    fQueueChanged.notify_all();
    if (fThread.joinable() && std::this_thread::get_id() != fThread.get_id())
        fThread.join();
}

status_t BLooper::PostMessage(const BMessage& message)
{
    {
        std::lock_guard<std::mutex> lock(fQueueMutex);
        if (fQuit || fQuitting)
            return B_ERROR;
        fQueue.push_back(message);
    }
    fQueueChanged.notify_one();
    return B_OK;
}

bool BLooper::IsLoopThread() const
{
    std::lock_guard<std::mutex> lock(fQueueMutex);
    return fRunning && std::this_thread::get_id() == fThreadId;
}

bool BLooper::HasQueuedMessages() const
{
    std::lock_guard<std::mutex> lock(fQueueMutex);
    return !fQueue.empty();
}

void BLooper::DispatchMessage(BMessage* message)
{
    if (message->what == B_QUIT_REQUESTED) {
        if (QuitRequested()) {
            std::lock_guard<std::mutex> lock(fQueueMutex);
            fQuitting = true;
        }
        return;
    }
    MessageReceived(message);
}

void BLooper::_Loop()
{
    if (!fName.empty())
        kit::NameCurrentThread(fName);
    for (;;) {
        BMessage message;
        {
            std::unique_lock<std::mutex> lock(fQueueMutex);
            fQueueChanged.wait(lock, [this] { return fQuitting || !fQueue.empty(); });
            if (fQueue.empty()) {
                fQuit = true;
                return;
            }
            message = std::move(fQueue.front());
            fQueue.pop_front();
        }
        DispatchMessage(&message);
    }
}
