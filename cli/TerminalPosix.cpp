#include "cli/Terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

void StartTerminal() {}

std::vector<std::string> ProgramArguments(int argc, char* argv[]) {
  return std::vector<std::string>(argv, argv + argc);
}

bool IsTerminal(int stream) { return isatty(stream) == 1; }

bool IsSmartTerminal(int stream) {
  const char* term = std::getenv("TERM");
  return IsTerminal(stream) && term != nullptr && std::strcmp(term, "dumb") != 0;
}

size_t TerminalColumns(int stream) {
  winsize size {};
  if (ioctl(stream, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

bool WriteText(int stream, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(stream, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

int WaitForInput(int stream, int milliseconds) {
  pollfd input{stream, POLLIN, 0};
  const int ready = poll(&input, 1, milliseconds);
  if (ready < 0 && errno == EINTR) return 0;
  return ready < 0 ? -1 : ready > 0 ? 1 : 0;
}

int ReadByte(int stream, char& into) {
  const ssize_t n = read(stream, &into, 1);
  return n < 0 ? -1 : static_cast<int>(n);
}
