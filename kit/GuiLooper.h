#pragma once
// A message target whose messages are handled on the GUI thread: the base
// of every window. It has no thread of its own. Create and destroy it on
// the GUI thread only.
//
// PostMessage() may be called from any thread and returns at once; messages
// still queued when the object is destroyed are dropped. Another thread
// that must act on a window and wait for it runs the call on the GUI thread
// (kit::RunOnGuiThread).

#include "kit/MessageTarget.h"

#include <initializer_list>
#include <memory>

class GuiLooper : public MessageTarget
{
public:
    GuiLooper();
    ~GuiLooper() override;

    GuiLooper(const GuiLooper&) = delete;
    GuiLooper& operator=(const GuiLooper&) = delete;

    // Shows the window; a target without a window has nothing to show.
    virtual void Show() {}
    // Closes the window (derived windows override); the default does nothing.
    virtual void Quit() {}

    status_t PostMessage(const BMessage& message) override;
    using MessageTarget::PostMessage;

    // Messages with one of these codes are dropped by PostMessage() at once:
    // the window never handles them, and a stream of them (the connection's
    // chunks, which the broadcast loop hands to every target) then costs the
    // GUI thread nothing. Call it before the window is a broadcast target.
    void IgnoreMessages(std::initializer_list<uint32> codes);

protected:
    virtual bool QuitRequested() { return true; }

private:
    struct Mailbox;
    // B_QUIT_REQUESTED asks QuitRequested() and calls Quit() when it agrees;
    // everything else goes to MessageReceived().
    void _Dispatch(BMessage* message);

    std::shared_ptr<Mailbox> fMailbox;
};
