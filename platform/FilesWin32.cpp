#include "platform/Files.h"

#include <windows.h>

#include <cerrno>

#include "platform/Win32Text.h"

namespace platform {

namespace {

int LastErrno() { return ErrnoFromWin32(GetLastError()); }

// The wide name for a Win32 call; false for text that is not UTF-8, which
// names no file.
bool Wide(const std::string& path, std::wstring& wide) {
  return !path.empty() && WideFromUtf8(path, wide);
}

}  // namespace

namespace {

NameKind KindOf(const std::string& path, bool followLinks, int* error) {
  if (error != nullptr) *error = 0;
  std::wstring wide;
  if (!Wide(path, wide)) return NameKind::kAbsent;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD cause = GetLastError();
    if (error != nullptr && cause != ERROR_FILE_NOT_FOUND && cause != ERROR_PATH_NOT_FOUND &&
        cause != ERROR_INVALID_NAME) {
      *error = ErrnoFromWin32(cause);
    }
    return NameKind::kAbsent;
  }
  // A reparse point on a file is a symbolic link; one on a folder (a
  // junction, a mount point) is a folder to us, as it is to the user.
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return NameKind::kFolder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return NameKind::kOther;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    if (!followLinks) return NameKind::kSymlink;
    uint64_t bytes = 0;
    return RegularFileSize(path, bytes) ? NameKind::kRegular : NameKind::kAbsent;
  }
  return NameKind::kRegular;
}

}  // namespace

NameKind KindOfName(const std::string& path, int* error) { return KindOf(path, false, error); }

NameKind KindOfTarget(const std::string& path, int* error) { return KindOf(path, true, error); }

namespace {

// What the system knows of the file a name reaches, links followed. No
// access is asked: the attributes can be read even while another program
// holds the file open for writing. The flag lets a folder be opened too.
bool InformationOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& info, DWORD& type) {
  std::wstring wide;
  if (!Wide(path, wide)) return false;
  const HANDLE handle =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  type = GetFileType(handle);
  const bool known = GetFileInformationByHandle(handle, &info);
  CloseHandle(handle);
  return known;
}

}  // namespace

bool RegularFileSize(const std::string& path, uint64_t& bytes) {
  BY_HANDLE_FILE_INFORMATION info;
  DWORD type = FILE_TYPE_UNKNOWN;
  if (!InformationOf(path, info, type) || type != FILE_TYPE_DISK ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  bytes = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  return true;
}

bool IdentityOf(const std::string& path, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info;
  DWORD type = FILE_TYPE_UNKNOWN;
  if (!InformationOf(path, info, type)) return false;
  identity.device = info.dwVolumeSerialNumber;
  identity.inode = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  return true;
}

int ReplaceName(const std::string& from, const std::string& to) {
  std::wstring wideFrom;
  std::wstring wideTo;
  if (!Wide(from, wideFrom) || !Wide(to, wideTo)) return ENOENT;
  if (!MoveFileExW(wideFrom.c_str(), wideTo.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastErrno();
  }
  return 0;
}

int RenameWithoutReplacing(const std::string& from, const std::string& to) {
  std::wstring wideFrom;
  std::wstring wideTo;
  if (!Wide(from, wideFrom) || !Wide(to, wideTo)) return ENOENT;
  // Without MOVEFILE_REPLACE_EXISTING the move fails on an existing name,
  // in one step.
  if (!MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_WRITE_THROUGH)) return LastErrno();
  return 0;
}

int RemoveName(const std::string& path) {
  std::wstring wide;
  if (!Wide(path, wide)) return ENOENT;
  return DeleteFileW(wide.c_str()) ? 0 : LastErrno();
}

int SyncFile(const std::string& path) {
  std::wstring wide;
  if (!Wide(path, wide)) return ENOENT;
  // Flushing takes a handle with write access.
  const HANDLE handle =
      CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastErrno();
  int result = 0;
  if (GetFileType(handle) == FILE_TYPE_DISK && !FlushFileBuffers(handle)) result = LastErrno();
  if (!CloseHandle(handle) && result == 0) result = LastErrno();
  return result;
}

// NTFS writes its own journal of names: a rename made with
// MOVEFILE_WRITE_THROUGH is on the disk when the call returns.
int SyncFolder(const std::string&) { return 0; }

int ListFolder(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  std::wstring pattern;
  if (!WideFromUtf8(folder.empty() ? std::string(".") : folder, pattern)) return ENOENT;
  if (pattern.back() != L'/' && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : ErrnoFromWin32(error);
  }
  int result = 0;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(Utf8FromWide(name));
  } while (FindNextFileW(search, &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) result = LastErrno();
  FindClose(search);
  return result;
}

}  // namespace platform
