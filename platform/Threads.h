#pragma once

// What a worker thread of the core asks of the system. One implementation per
// system (ThreadsPosix.cpp, ThreadsWin32.cpp).

#include <functional>
#include <thread>

namespace platform {

// Starts `body` on a new thread that takes no signal: on POSIX systems it
// starts with every signal blocked, so that a signal meant for the program
// (an interrupt that must wake a prompt) is taken by a thread that expects
// it. Windows delivers the console's interrupts on a thread of its own, so
// there the thread is started as it is. False when no thread can be had.
bool StartWorkerThread(std::thread& thread, std::function<void()> body);

// Names the calling thread, so that a debugger, top or a test can tell it
// from the others. Best effort.
void NameThisThread(const char* name);

}  // namespace platform
