#include "kit/GuiBridge.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace kit {
namespace {

std::mutex sMutex;
std::condition_variable sDone;
bool sShutDown = false;
std::function<void()> sQuitHandler;

struct PendingCall {
    bool done = false;
};

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
    QMetaObject::invokeMethod(
        app,
        [pending, &call] {
            if (IsGuiShutDown())
                return;
            call();
            {
                std::lock_guard<std::mutex> lock(sMutex);
                pending->done = true;
            }
            sDone.notify_all();
        },
        Qt::QueuedConnection);
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
    QMetaObject::invokeMethod(
        app,
        [call = std::move(call)] {
            if (!IsGuiShutDown())
                call();
        },
        Qt::QueuedConnection);
}

void ShutDownGui()
{
    {
        std::lock_guard<std::mutex> lock(sMutex);
        sShutDown = true;
    }
    sDone.notify_all();
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
