#pragma once
// A message loop whose messages are handled on the GUI thread: the base of
// every window. Create and destroy it on the GUI thread only.
//
// PostMessage() may be called from any thread and returns at once; messages
// still queued when the object is destroyed are dropped. RunLocked() stands
// for "lock the window, call, unlock" from another thread: the call runs on
// the GUI thread while the caller waits.

#include "kit/BLooper.h"

#include <initializer_list>
#include <memory>

class QObject;

class GuiLooper : public BLooper
{
public:
    explicit GuiLooper(const std::string& name = {});
    ~GuiLooper() override;

    // A window's loop is the GUI's; there is no thread to start or stop.
    void Run() override {}
    // Shows the window; a loop without a window has nothing to show.
    virtual void Show() {}
    // Closes the window (derived windows override); the default does nothing.
    void Quit() override {}

    status_t PostMessage(const BMessage& message) override;
    using BLooper::PostMessage;

    bool Lock() override;
    void Unlock() override;
    bool RunLocked(const std::function<void()>& call) override;
    bool IsLoopThread() const override;

    // Messages with one of these codes are dropped by PostMessage() at once:
    // the window never handles them, and a stream of them (the connection's
    // chunks, which the broadcast loop hands to every loop) then costs the
    // GUI thread nothing. Call it before the window is a broadcast target.
    void IgnoreMessages(std::initializer_list<uint32> codes);

protected:
    // B_QUIT_REQUESTED asks QuitRequested() and calls Quit() when it agrees;
    // everything else goes to MessageReceived().
    void DispatchMessage(BMessage* message) override;

private:
    struct Mailbox;
    std::shared_ptr<Mailbox> fMailbox;
};
