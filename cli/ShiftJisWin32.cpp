#include <windows.h>

#include <climits>

#include "cli/ShiftJis.h"
#include "platform/Win32Text.h"

std::string Utf8FromShiftJis(std::string_view name) {
  if (name.empty() || name.size() > INT_MAX) return {};
  constexpr UINT kShiftJis = 932;
  const int length = static_cast<int>(name.size());
  const int needed =
      MultiByteToWideChar(kShiftJis, MB_ERR_INVALID_CHARS, name.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  if (MultiByteToWideChar(kShiftJis, MB_ERR_INVALID_CHARS, name.data(), length, wide.data(),
                          needed) != needed) {
    return {};
  }
  return platform::Utf8FromWide(wide);
}
