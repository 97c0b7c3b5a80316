#pragma once

// Ctrl-C (SIGINT), SIGTERM and SIGHUP ask the batch to stop after the chunk in
// hand, so the file being written is closed as a well-formed AVI. A second
// signal ends the program at once with the signal's default action.
//
// The handlers are installed without SA_RESTART, so a read from the terminal
// (the overwrite question) returns EINTR and the caller can look at the count.
void InstallInterruptHandlers();

// Number of stop signals received so far (0, 1, or 2 for a second one still
// being delivered).
int InterruptCount();
