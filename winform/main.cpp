// henkan-porute.exe: the desktop window of the converter on Windows.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "batch/Messages.h"
#include "platform/Win32Text.h"
#include "winform/MessageBoxes.h"
#include "winform/Winform.h"

namespace {

// Every argument after the program's own name is an input path, split the
// system's way (blanks separate, double quotes group) from the wide command
// line, so names in any script arrive whole.
std::vector<std::string> CommandLinePaths() {
  std::vector<std::string> paths;
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return paths;
  for (int i = 1; i < count; ++i) paths.push_back(platform::Utf8FromWide(std::wstring(arguments[i])));
  LocalFree(arguments);
  return paths;
}

void ShowException(const std::exception_ptr& error) {
  std::string message;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& known) {
    message = known.what();
  } catch (...) {
    // A kind we know nothing of: the box still appears, with no text.
  }
  ShowExceptionBox(nullptr, kProgramName, message);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // The folder browser and the file dialog are COM clients of the shell,
  // which wants a single-threaded apartment on the window's thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  try {
    auto form = std::make_unique<TForm1>(CommandLinePaths());
    if (form->Create(instance, showCommand)) {
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) form->Dispatch(message);
    }
  } catch (...) {
    ShowException(std::current_exception());
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
