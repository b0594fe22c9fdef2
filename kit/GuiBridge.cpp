#include "kit/GuiBridge.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define TOLVAR_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#include <sanitizer/tsan_interface.h>
#define TOLVAR_TSAN 1
#endif
#endif

#include <condition_variable>
#include <memory>
#include <mutex>

namespace kit {
namespace {

std::mutex sMutex;
std::condition_variable sDone;
bool sShutDown = false;
std::function<void()> sQuitHandler;

struct PendingCall
{
    bool done = false;
};

// A call travels to the GUI thread inside an event that Qt owns from the
// moment it is posted and deletes on the GUI thread once it was delivered,
// so the posting thread never touches it again.
class CallEvent : public QEvent
{
public:
    explicit CallEvent(std::function<void()> call) : QEvent(EventType()), fCall(std::move(call))
    {
#ifdef TOLVAR_TSAN
        // Qt's event queue is not instrumented for the thread sanitizer;
        // tell it that posting the event orders its creation before its use.
        __tsan_release(this);
#endif
    }
    void Run()
    {
#ifdef TOLVAR_TSAN
        __tsan_acquire(this);
#endif
        fCall();
    }

    static QEvent::Type EventType()
    {
        static const QEvent::Type sType = static_cast<QEvent::Type>(QEvent::registerEventType());
        return sType;
    }

private:
    std::function<void()> fCall;
};

class CallReceiver : public QObject
{
public:
    bool event(QEvent* event) override
    {
#ifdef TOLVAR_TSAN
        __tsan_acquire(event);
#endif
        if (event->type() != CallEvent::EventType())
            return QObject::event(event);
        static_cast<CallEvent*>(event)->Run();
        return true;
    }
};

// The receiver of posted calls, living on the application's thread. Created
// once and kept: calls may be posted until the process ends.
QObject* Receiver(QCoreApplication* app)
{
    static std::mutex sReceiverMutex;
    static CallReceiver* sReceiver = nullptr;
    std::lock_guard<std::mutex> lock(sReceiverMutex);
    if (sReceiver == nullptr) {
        sReceiver = new CallReceiver;
        sReceiver->moveToThread(app->thread());
    }
    return sReceiver;
}

void Post(QCoreApplication* app, std::function<void()> call)
{
    QCoreApplication::postEvent(Receiver(app), new CallEvent(std::move(call)));
}

} // namespace

bool IsGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

bool IsGuiShutDown()
{
    std::lock_guard<std::mutex> lock(sMutex);
    return sShutDown;
}

bool RunOnGuiThread(const std::function<void()>& call)
{
    if (IsGuiShutDown())
        return false;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        call();
        return true;
    }
    auto pending = std::make_shared<PendingCall>();
    // The call is held by reference: the waiter below stays until it ran or
    // the GUI shut down, and after shutdown (set on the GUI thread) it never runs.
    Post(app, [pending, &call] {
        if (IsGuiShutDown())
            return;
        call();
        {
            std::lock_guard<std::mutex> lock(sMutex);
            pending->done = true;
        }
        sDone.notify_all();
    });
    std::unique_lock<std::mutex> lock(sMutex);
    sDone.wait(lock, [&] { return pending->done || sShutDown; });
    return pending->done;
}

void PostToGuiThread(std::function<void()> call)
{
    if (IsGuiShutDown())
        return;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        call();
        return;
    }
    Post(app, [call = std::move(call)] {
        if (!IsGuiShutDown())
            call();
    });
}

void ShutDownGui()
{
    {
        std::lock_guard<std::mutex> lock(sMutex);
        sShutDown = true;
    }
    sDone.notify_all();
}

void RestartGui()
{
    std::lock_guard<std::mutex> lock(sMutex);
    sShutDown = false;
}

void SetAppQuitHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> lock(sMutex);
    sQuitHandler = std::move(handler);
}

void PostAppQuitRequest()
{
    PostToGuiThread([] {
        std::function<void()> handler;
        {
            std::lock_guard<std::mutex> lock(sMutex);
            handler = sQuitHandler;
        }
        if (handler)
            handler();
        else if (QCoreApplication::instance() != nullptr)
            QCoreApplication::quit();
    });
}

} // namespace kit
