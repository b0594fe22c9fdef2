#pragma once
// Named background threads that the program can account for at exit.
//
// Threads started here are never joined while the GUI runs; a finished
// thread is reaped by the next StartThread(). At exit the program gives the
// rest a moment to end (WaitForThreads) and leaves any that cannot: a
// connection thread stuck in a host-name lookup cannot be made to return.

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace kit {

// Starts `body` on a new thread named `name` (at most 15 characters are
// kept by the system). Any thread may call it; it does not block.
void StartThread(const std::string& name, std::function<void()> body);

// Sets the calling thread's name as shown by the system.
void NameCurrentThread(const std::string& name);

// Waits for every thread started with StartThread. Call it only when
// nothing will start further threads, and only where every thread is sure
// to end (tests).
void JoinAllThreads();

// Waits at most `limit` for the threads started with StartThread to end and
// joins those that did; true when none is left running. The others are left
// to end by themselves. Call it only when nothing will start further threads.
bool WaitForThreads(std::chrono::milliseconds limit);

// Number of threads started with StartThread that have not finished yet.
int RunningThreadCount();

} // namespace kit
