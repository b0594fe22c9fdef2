#pragma once
// Something messages are posted to: a loop on a thread of its own
// (BLooper) or a window, whose messages are handled on the GUI thread
// (GuiLooper). PostMessage() may be called from any thread and never waits
// for the message to be handled; the target handles its messages one at a
// time, in posting order, in MessageReceived().

#include "kit/BMessage.h"

class MessageTarget
{
public:
    virtual ~MessageTarget() = default;

    // Queues a copy of `message`; B_ERROR when the target takes no more.
    virtual status_t PostMessage(const BMessage& message) = 0;
    status_t PostMessage(uint32 what) { return PostMessage(BMessage(what)); }

    // Handles one message on the target's thread. The default drops it.
    virtual void MessageReceived(BMessage*) {}
};
