#pragma once
// The bridge between the program's threads and the GUI thread.
//
// Widgets live on the GUI thread and are touched only there. Another thread
// that must act on a window runs the call on the GUI thread and waits for it
// (RunOnGuiThread); the GUI thread itself never waits for another thread.
// Without a QCoreApplication (tests of the protocol and the engine) there is
// no GUI thread and calls run directly on the caller's thread.

#include <functional>

namespace kit {

// True on the GUI thread, and on every thread when no application exists.
bool IsGuiThread();

// Runs `call` on the GUI thread and returns after it has run. On the GUI
// thread it runs at once. Returns false, without running it, once the GUI
// has shut down (the application loop ended): the caller must then give up.
bool RunOnGuiThread(const std::function<void()>& call);

// Queues `call` for the GUI thread and returns at once. Dropped after shutdown.
void PostToGuiThread(std::function<void()> call);

// Marks the GUI as gone and releases every thread waiting in RunOnGuiThread.
// Called on the GUI thread when the application loop has ended.
void ShutDownGui();
bool IsGuiShutDown();
// Forgets a shutdown, so that a process may run a new application after an
// earlier one ended (tests). No thread may be waiting meanwhile.
void RestartGui();

// Asks the application to quit, as the platform's quit request does:
// every window is asked to close first. Any thread; does not block.
void PostAppQuitRequest();
// Installs what PostAppQuitRequest runs on the GUI thread; without one it
// ends the application loop.
void SetAppQuitHandler(std::function<void()> handler);

} // namespace kit
