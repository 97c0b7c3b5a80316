// porute-window-drop.exe: the window's own drop handling, in its process. A
// drop from the shell cannot be sent from another process (the drop's handle
// is memory of the receiving process), so this program makes the window
// itself and gives it WM_DROPFILES as the shell does: a DROPFILES block of
// wide names, which the window reads with DragQueryFileW and frees with
// DragFinish. It then presses the start button, as a user would next.
//
//   porute-window-drop.exe MOVIE...   exit 0 when the list became the dropped
//                                     names in order and the batch ran
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Win32Text.h"
#include "winform/Winform.h"

namespace {

// The block the shell hands over: the header, then each name and its
// terminating zero, then one more zero.
HGLOBAL DropBlock(const std::vector<std::wstring>& names) {
  size_t chars = 1;
  for (const std::wstring& name : names) chars += name.size() + 1;
  const size_t bytes = sizeof(DROPFILES) + chars * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GHND, bytes);
  if (block == nullptr) return nullptr;
  auto* header = static_cast<DROPFILES*>(GlobalLock(block));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(header) + sizeof(DROPFILES));
  for (const std::wstring& name : names) {
    std::memcpy(text, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    text += name.size() + 1;
  }
  GlobalUnlock(block);
  return block;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  std::vector<std::wstring> dropped;
  std::vector<std::string> expected;
  for (int i = 1; i < argc; ++i) {
    dropped.emplace_back(argv[i]);
    expected.push_back(platform::Utf8FromWide(dropped.back()));
  }
  // A list from before the drop, which the drop must replace.
  TForm1 form({});
  if (!form.Create(GetModuleHandleW(nullptr), SW_SHOW)) {
    std::fprintf(stderr, "the window was not created\n");
    return 1;
  }
  // The window's start-up (its first activation) runs before a user can
  // drop anything.
  form.Pump();
  form.FileList = {"earlier.V02"};
  HGLOBAL block = DropBlock(dropped);
  if (block == nullptr) return 1;
  SendMessageW(form.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
  if (form.FileList != expected) {
    std::fprintf(stderr, "the list after the drop holds %zu names, not the %zu dropped in order\n",
                 form.FileList.size(), expected.size());
    return 1;
  }
  form.BtnStartClick();
  std::printf("%zu dropped names listed in order; the batch ran\n", expected.size());
  DestroyWindow(form.Handle());
  return 0;
}
