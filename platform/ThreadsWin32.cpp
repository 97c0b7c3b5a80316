#include "platform/Threads.h"

#include <windows.h>

#include <exception>

#include "platform/Win32Text.h"

namespace platform {

bool StartWorkerThread(std::thread& thread, std::function<void()> body) {
  try {
    thread = std::thread(std::move(body));
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

void NameThisThread(const char* name) {
  // SetThreadDescription exists from Windows 10 1607 on; older systems (and
  // Wine before 5.x) go without the name.
  using Describe = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return;
  const auto describe =
      reinterpret_cast<Describe>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
  if (describe == nullptr) return;
  std::wstring wide;
  if (WideFromUtf8(name, wide)) describe(GetCurrentThread(), wide.c_str());
}

}  // namespace platform
