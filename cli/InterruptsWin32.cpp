#include <windows.h>

#include <atomic>

#include "batch/BatchDriver.h"
#include "cli/Interrupts.h"

namespace {

// The POSIX numbers of the signals that the console's events stand for.
constexpr int kHangUp = 1;
constexpr int kInterrupt = 2;
constexpr int kTerminate = 15;

std::atomic<int> g_interrupts{0};
std::atomic<int> g_firstSignal{0};
std::atomic<BatchDriver*> g_driver{nullptr};

// Runs on a thread of its own that Windows starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  int signalNumber = 0;
  switch (event) {
    case CTRL_C_EVENT:
      signalNumber = kInterrupt;
      break;
    case CTRL_BREAK_EVENT:
      signalNumber = kTerminate;
      break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      signalNumber = kHangUp;
      break;
    default:
      return FALSE;
  }
  int none = 0;
  g_firstSignal.compare_exchange_strong(none, signalNumber);
  g_interrupts.fetch_add(1);
  if (BatchDriver* driver = g_driver.load()) driver->RequestAbort();
  if (signalNumber == kHangUp) {
    // Windows ends the program as soon as this returns: it never does. The
    // main thread closes the file in hand and ends the program with its
    // exit status, within the few seconds that Windows grants.
    Sleep(INFINITE);
  }
  return TRUE;
}

}  // namespace

void InstallInterruptHandlers(BatchDriver& driver) {
  g_driver.store(&driver);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void DetachInterruptHandlers() { g_driver.store(nullptr); }

int InterruptCount() { return g_interrupts.load(); }

int FirstInterruptSignal() { return g_firstSignal.load(); }

void IgnoreFileSizeSignal() {}
