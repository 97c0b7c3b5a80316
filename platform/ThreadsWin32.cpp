#include "platform/Threads.h"

#include <windows.h>

#include <exception>

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
  // On the stack: the worker may name itself while the caller counts on no
  // allocation being made during a read.
  wchar_t wide[64];
  if (MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, 64) > 0) describe(GetCurrentThread(), wide);
}

}  // namespace platform
