#pragma once

// What porute2avi asks of the system's terminal, behind one seam:
// TerminalPosix.cpp and TerminalWin32.cpp (the console). Streams are the C
// library's descriptors: 0 standard input, 1 output, 2 error.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Made once, first thing in main: on Windows the console shows UTF-8 and
// takes the progress line's escapes; elsewhere nothing to do.
void StartTerminal();

// The program's arguments as UTF-8: argv as given on POSIX systems, the wide
// command line converted on Windows (so a Japanese name is never lost to the
// system's code page).
std::vector<std::string> ProgramArguments(int argc, char* argv[]);

bool IsTerminal(int stream);
// A terminal that takes "\r" and the clear-to-end-of-line escape, so that the
// progress line can be redrawn in place (not one whose TERM is "dumb").
bool IsSmartTerminal(int stream);
// Columns of the terminal on the stream; 0 when unknown.
size_t TerminalColumns(int stream);

// Writes all of text, through partial writes and interruptions; false when
// the stream fails (a closed or full stream must not stop the batch, so the
// caller goes on).
bool WriteText(int stream, std::string_view text);

// Waits at most `milliseconds` for input on the stream: 1 when some is
// there, 0 when none came yet (or the wait was interrupted), -1 on failure.
int WaitForInput(int stream, int milliseconds);
// Reads one byte: 1 when one came, 0 at the end of the input, -1 on failure
// with errno (EINTR when a stop signal cut the read short).
int ReadByte(int stream, char& into);
