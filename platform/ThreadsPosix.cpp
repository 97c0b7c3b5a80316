#include "platform/Threads.h"

#include <pthread.h>
#include <signal.h>

#include <exception>

namespace platform {

bool StartWorkerThread(std::thread& thread, std::function<void()> body) {
  // The thread inherits the signal mask of the thread that creates it.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  if (pthread_sigmask(SIG_SETMASK, &all, &previous) != 0) return false;
  bool started = true;
  try {
    thread = std::thread(std::move(body));
  } catch (const std::exception&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return started;
}

void NameThisThread(const char* name) { pthread_setname_np(pthread_self(), name); }

}  // namespace platform
