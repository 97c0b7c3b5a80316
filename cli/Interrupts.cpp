#include "cli/Interrupts.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_interrupts = 0;

extern "C" void OnStopSignal(int signalNumber) {
  if (g_interrupts >= 1) {
    // The user insists: end now, as if nothing had caught the signal.
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
    return;
  }
  g_interrupts = g_interrupts + 1;
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaddset(&action.sa_mask, SIGHUP);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);

  // Messages to a closed pipe must not kill a conversion half way: writes
  // then fail with EPIPE and are dropped.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

int InterruptCount() { return g_interrupts; }
