#include "platform/Win32Text.h"

#include <windows.h>

#include <cerrno>
#include <climits>

namespace platform {

bool WideFromUtf8(const std::string& text, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  const int length = static_cast<int>(text.size());
  const int needed =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  wide.resize(static_cast<size_t>(needed));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(),
                             needed) == needed;
}

std::string Utf8FromWide(const wchar_t* wide, size_t length) {
  if (length == 0 || length > INT_MAX) return std::string();
  const int count = static_cast<int>(length);
  const int needed = WideCharToMultiByte(CP_UTF8, 0, wide, count, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string text(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, count, text.data(), needed, nullptr, nullptr);
  return text;
}

std::string Utf8FromWide(const std::wstring& wide) { return Utf8FromWide(wide.data(), wide.size()); }

int ErrnoFromWin32(unsigned long error) {
  struct Pair {
    unsigned long win32;
    int errnoValue;
  };
  static constexpr Pair kPairs[] = {
      {ERROR_FILE_NOT_FOUND, ENOENT},     {ERROR_PATH_NOT_FOUND, ENOENT},
      {ERROR_INVALID_NAME, ENOENT},       {ERROR_BAD_PATHNAME, ENOENT},
      {ERROR_INVALID_DRIVE, ENOENT},      {ERROR_BAD_NETPATH, ENOENT},
      {ERROR_BAD_NET_NAME, ENOENT},       {ERROR_DIRECTORY, ENOTDIR},
      {ERROR_ACCESS_DENIED, EACCES},      {ERROR_SHARING_VIOLATION, EACCES},
      {ERROR_LOCK_VIOLATION, EACCES},     {ERROR_WRITE_PROTECT, EROFS},
      {ERROR_FILE_EXISTS, EEXIST},        {ERROR_ALREADY_EXISTS, EEXIST},
      {ERROR_DISK_FULL, ENOSPC},          {ERROR_HANDLE_DISK_FULL, ENOSPC},
      {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},  {ERROR_OUTOFMEMORY, ENOMEM},
      {ERROR_NOT_SAME_DEVICE, EXDEV},     {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
      {ERROR_BUFFER_OVERFLOW, ENAMETOOLONG}, {ERROR_INVALID_HANDLE, EBADF},
      {ERROR_TOO_MANY_OPEN_FILES, EMFILE}, {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
      {ERROR_NOT_READY, EIO},             {ERROR_CRC, EIO},
      {ERROR_DEV_NOT_EXIST, ENODEV},      {ERROR_NEGATIVE_SEEK, EINVAL},
      {ERROR_INVALID_PARAMETER, EINVAL},  {ERROR_BROKEN_PIPE, EPIPE},
      {ERROR_NO_DATA, EPIPE},             {ERROR_OPERATION_ABORTED, EINTR},
  };
  for (const Pair& pair : kPairs) {
    if (pair.win32 == error) return pair.errnoValue;
  }
  return EIO;
}

}  // namespace platform
