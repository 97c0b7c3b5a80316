#pragma once

class BatchDriver;

// One implementation per system: InterruptsPosix.cpp (signals) and
// InterruptsWin32.cpp (the console's control events: Ctrl-C counts as
// SIGINT, Ctrl-Break as SIGTERM, and closing the console, logging off or
// shutting down as SIGHUP, so the exit statuses are the same everywhere).
//
// Ctrl-C (SIGINT), SIGTERM and SIGHUP ask the batch to stop at once
// (BatchDriver::RequestAbort): the file in hand is closed as a well-formed
// AVI file holding the frames written so far, and no further file is begun.
// A further signal asks the same again and never kills the program half way
// through a file: the file's index is in memory and is written when the file
// is closed.
//
// The handlers are installed without SA_RESTART, so a read from the terminal
// (the overwrite question) returns EINTR and the caller can look at the count.
// SIGPIPE and SIGXFSZ are ignored: a closed pipe and a file size limit then
// make writes fail (EPIPE, EFBIG), and those failures are reported.
void InstallInterruptHandlers(BatchDriver& driver);

// The signals stay caught, but no longer reach the driver, which may then be
// destroyed.
void DetachInterruptHandlers();

// Number of stop signals received so far.
int InterruptCount();
// The first stop signal received, 0 when none.
int FirstInterruptSignal();

// Past a file size limit a write fails with EFBIG, reported like a full
// disk, instead of the signal (SIGXFSZ) ending the program with the file
// unfinished. Windows has no such signal.
void IgnoreFileSizeSignal();
