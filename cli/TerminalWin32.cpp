#include "cli/Terminal.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdlib>

#include "platform/Win32Text.h"

namespace {

UINT g_outputCodePage = 0;   // the console's own, given back at exit
bool g_errorTakesEscapes = false;

HANDLE HandleOf(int stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(stream)); }

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void GiveBackCodePage() {
  if (g_outputCodePage != 0) SetConsoleOutputCP(g_outputCodePage);
}

}  // namespace

void StartTerminal() {
  // What the C library prints (the messages outside the batch) reaches the
  // console as UTF-8; the console's code page is given back at exit.
  g_outputCodePage = GetConsoleOutputCP();
  if (g_outputCodePage != 0 && SetConsoleOutputCP(CP_UTF8)) std::atexit(GiveBackCodePage);
  // Output bytes as on every system: "\n", never "\r\n" (reports, --json).
  _setmode(1, _O_BINARY);
  _setmode(2, _O_BINARY);
  // The progress line is redrawn with "\r" and an escape, which a console
  // takes once asked to (Windows 10 and later).
  const HANDLE error = HandleOf(2);
  DWORD mode = 0;
  if (IsConsole(error) && GetConsoleMode(error, &mode)) {
    g_errorTakesEscapes =
        (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
        SetConsoleMode(error, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
}

std::vector<std::string> ProgramArguments(int argc, char* argv[]) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(platform::Utf8FromWide(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return arguments;
}

bool IsTerminal(int stream) { return IsConsole(HandleOf(stream)); }

bool IsSmartTerminal(int stream) { return stream == 2 && IsTerminal(2) && g_errorTakesEscapes; }

size_t TerminalColumns(int stream) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(HandleOf(stream), &info)) return 0;
  return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

bool WriteText(int stream, std::string_view text) {
  const HANDLE handle = HandleOf(stream);
  if (IsConsole(handle)) {
    // The console takes UTF-16 whatever its code page.
    std::wstring wide;
    if (!platform::WideFromUtf8(std::string(text), wide)) {
      wide.assign(text.begin(), text.end());
    }
    const wchar_t* next = wide.data();
    size_t left = wide.size();
    while (left != 0) {
      DWORD written = 0;
      if (!WriteConsoleW(handle, next, static_cast<DWORD>(left), &written, nullptr) ||
          written == 0) {
        return false;
      }
      next += written;
      left -= written;
    }
    return true;
  }
  while (!text.empty()) {
    const int n = _write(stream, text.data(), static_cast<unsigned>(text.size()));
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

int WaitForInput(int stream, int milliseconds) {
  const HANDLE handle = HandleOf(stream);
  if (!IsConsole(handle)) return 1;
  const DWORD waited = WaitForSingleObject(handle, static_cast<DWORD>(milliseconds));
  return waited == WAIT_OBJECT_0 ? 1 : waited == WAIT_TIMEOUT ? 0 : -1;
}

int ReadByte(int stream, char& into) {
  const HANDLE handle = HandleOf(stream);
  DWORD got = 0;
  if (!ReadFile(handle, &into, 1, &got, nullptr)) {
    const DWORD error = GetLastError();
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
    errno = error == ERROR_OPERATION_ABORTED ? EINTR : platform::ErrnoFromWin32(error);
    return -1;
  }
  // Ctrl-C ends a console read with nothing read: taken as the interruption
  // that it is, not as the end of the input.
  if (got == 0 && IsConsole(handle)) {
    errno = EINTR;
    return -1;
  }
  return static_cast<int>(got);
}
