#include "kit/GuiLooper.h"

#include "kit/GuiBridge.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <mutex>

// The mailbox outlives the window while messages for it are in flight: each
// queued delivery holds a reference and finds `target` null once the window
// has gone. Both the delivery and the destructor run on the GUI thread.
struct GuiLooper::Mailbox
{
    std::mutex mutex;
    GuiLooper* target = nullptr;
};

GuiLooper::GuiLooper(const std::string& name) : BLooper(name), fMailbox(std::make_shared<Mailbox>())
{
    fMailbox->target = this;
}

GuiLooper::~GuiLooper()
{
    std::lock_guard<std::mutex> lock(fMailbox->mutex);
    fMailbox->target = nullptr;
}

status_t GuiLooper::PostMessage(const BMessage& message)
{
    {
        std::lock_guard<std::mutex> lock(fMailbox->mutex);
        if (fMailbox->target == nullptr)
            return B_ERROR;
    }
    std::shared_ptr<Mailbox> mailbox = fMailbox;
    kit::PostToGuiThread([mailbox, copy = message]() mutable {
        GuiLooper* target;
        {
            std::lock_guard<std::mutex> lock(mailbox->mutex);
            target = mailbox->target;
        }
        if (target != nullptr)
            target->DispatchMessage(&copy);
    });
    return B_OK;
}

bool GuiLooper::Lock()
{
    return kit::IsGuiThread();
}

void GuiLooper::Unlock() {}

bool GuiLooper::RunLocked(const std::function<void()>& call)
{
    return kit::RunOnGuiThread(call);
}

bool GuiLooper::IsLoopThread() const
{
    return kit::IsGuiThread();
}

void GuiLooper::DispatchMessage(BMessage* message)
{
    if (message->what == B_QUIT_REQUESTED) {
        if (QuitRequested())
            Quit();
        return;
    }
    MessageReceived(message);
}
