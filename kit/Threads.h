#pragma once
// Named background threads that the program can account for at exit.
//
// Threads started here are never joined while the GUI runs; a finished
// thread is reaped by the next Start(), and JoinAllThreads() waits for the
// rest once the application loop has ended. Whoever starts a thread must
// also be able to make it return (for example by shutting down its socket).

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
// nothing will start further threads (after the application loop ended).
void JoinAllThreads();

// Number of threads started with StartThread that have not finished yet.
int RunningThreadCount();

} // namespace kit
