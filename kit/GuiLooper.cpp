#include "kit/GuiLooper.h"

#include "kit/GuiBridge.h"

#include <QCoreApplication>

#include <algorithm>
#include <deque>
#include <mutex>
#include <vector>

// The mailbox outlives the window while messages for it are in flight: a
// queued drain holds a reference and finds `target` null once the window
// has gone. Both the drain and the destructor run on the GUI thread.
//
// Messages wait in the mailbox's queue; one drain call on the GUI thread
// hands all of them to the window in order, so that a burst of messages
// costs one call there rather than one per message. At most one drain
// waits to run at a time; a drain that hands over a message while more
// are waiting queues the next drain first, so that a nested event loop
// (a modal alert) inside a handler still gets to the rest, in order.
struct GuiLooper::Mailbox
{
    std::mutex mutex;
    GuiLooper* target = nullptr;
    std::vector<uint32> ignored;
    std::deque<BMessage> queue;
    bool drainQueued = false;

    static void Drain(const std::shared_ptr<Mailbox>& mailbox)
    {
        {
            std::lock_guard<std::mutex> lock(mailbox->mutex);
            mailbox->drainQueued = false;
        }
        for (;;) {
            BMessage message;
            GuiLooper* target;
            bool queueNext = false;
            {
                std::lock_guard<std::mutex> lock(mailbox->mutex);
                target = mailbox->target;
                if (target == nullptr)
                    mailbox->queue.clear();
                if (mailbox->queue.empty())
                    return;
                message = std::move(mailbox->queue.front());
                mailbox->queue.pop_front();
                // Without an application there is no event loop to nest.
                if (!mailbox->queue.empty() && !mailbox->drainQueued &&
                    QCoreApplication::instance() != nullptr)
                    queueNext = mailbox->drainQueued = true;
            }
            if (queueNext)
                kit::PostToGuiThread([mailbox] { Drain(mailbox); });
            target->_Dispatch(&message);
        }
    }
};

GuiLooper::GuiLooper() : fMailbox(std::make_shared<Mailbox>())
{
    fMailbox->target = this;
}

GuiLooper::~GuiLooper()
{
    std::lock_guard<std::mutex> lock(fMailbox->mutex);
    fMailbox->target = nullptr;
}

void GuiLooper::IgnoreMessages(std::initializer_list<uint32> codes)
{
    std::lock_guard<std::mutex> lock(fMailbox->mutex);
    fMailbox->ignored.insert(fMailbox->ignored.end(), codes.begin(), codes.end());
}

status_t GuiLooper::PostMessage(const BMessage& message)
{
    bool queueDrain = false;
    {
        std::lock_guard<std::mutex> lock(fMailbox->mutex);
        if (fMailbox->target == nullptr)
            return B_ERROR;
        const std::vector<uint32>& ignored = fMailbox->ignored;
        if (std::find(ignored.begin(), ignored.end(), message.what) != ignored.end())
            return B_OK;
        fMailbox->queue.push_back(message);
        if (!fMailbox->drainQueued)
            queueDrain = fMailbox->drainQueued = true;
    }
    if (queueDrain) {
        std::shared_ptr<Mailbox> mailbox = fMailbox;
        kit::PostToGuiThread([mailbox] { Mailbox::Drain(mailbox); });
    }
    return B_OK;
}

void GuiLooper::_Dispatch(BMessage* message)
{
    if (message->what == B_QUIT_REQUESTED) {
        if (QuitRequested())
            Quit();
        return;
    }
    MessageReceived(message);
}
