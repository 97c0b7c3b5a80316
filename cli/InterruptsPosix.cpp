#include "cli/Interrupts.h"

#include <atomic>
#include <csignal>

#include "batch/BatchDriver.h"

namespace {

volatile std::sig_atomic_t g_interrupts = 0;
volatile std::sig_atomic_t g_firstSignal = 0;
std::atomic<BatchDriver*> g_driver{nullptr};
static_assert(std::atomic<BatchDriver*>::is_always_lock_free);

extern "C" void OnStopSignal(int signalNumber) {
  if (g_firstSignal == 0) g_firstSignal = signalNumber;
  g_interrupts = g_interrupts + 1;
  if (BatchDriver* driver = g_driver.load(std::memory_order_relaxed)) driver->RequestAbort();
}

}  // namespace

void InstallInterruptHandlers(BatchDriver& driver) {
  g_driver.store(&driver, std::memory_order_relaxed);
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

  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

void DetachInterruptHandlers() { g_driver.store(nullptr, std::memory_order_relaxed); }

int InterruptCount() { return g_interrupts; }

int FirstInterruptSignal() { return g_firstSignal; }

void IgnoreFileSizeSignal() { signal(SIGXFSZ, SIG_IGN); }
