#include "platform/FileAccess.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "platform/Win32Text.h"

namespace platform {

namespace {

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

int LastErrno() { return ErrnoFromWin32(GetLastError()); }

// Others may read, write, rename and remove the file while it is open, as on
// POSIX systems: the batch renames and removes names of files it has open
// elsewhere (a movie given twice), and a player may watch an output grow.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Why an open failed: a folder is refused as POSIX refuses it.
int OpenFailure(const std::wstring& wide, int folderError) {
  const DWORD error = GetLastError();
  if (error == ERROR_ACCESS_DENIED) {
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return folderError;
    }
  }
  return ErrnoFromWin32(error);
}

// A disk file that is no folder; pipes, consoles and devices are not.
bool IsRegular(HANDLE handle) {
  if (GetFileType(handle) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(handle, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

int OpenForReading(const std::string& path, FileHandle& file, bool& notRegular) {
  file = kNoFile;
  notRegular = false;
  std::wstring wide;
  if (path.empty() || !WideFromUtf8(path, wide)) return ENOENT;
  const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const int error = OpenFailure(wide, 0);
    if (error == 0) notRegular = true;
    return error;
  }
  if (!IsRegular(handle)) {
    notRegular = true;
    CloseHandle(handle);
    return 0;
  }
  file = reinterpret_cast<FileHandle>(handle);
  return 0;
}

int ReadSome(FileHandle file, void* destination, size_t count, size_t& got) {
  got = 0;
  DWORD read = 0;
  const DWORD piece = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
  if (!ReadFile(Handle(file), destination, piece, &read, nullptr)) {
    const DWORD error = GetLastError();
    // The end of the file, as some devices report it.
    if (error == ERROR_HANDLE_EOF) return 0;
    return ErrnoFromWin32(error);
  }
  got = read;
  return 0;
}

int CreateForWriting(const std::string& path, bool exclusive, FileHandle& file) {
  file = kNoFile;
  std::wstring wide;
  if (path.empty() || !WideFromUtf8(path, wide)) return ENOENT;
  // A device name (NUL, CON, COM1) opens as a device: refused below, like a
  // FIFO on POSIX systems.
  const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                    exclusive ? CREATE_NEW : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
  if (handle == INVALID_HANDLE_VALUE) return OpenFailure(wide, EISDIR);
  if (!IsRegular(handle)) {
    CloseHandle(handle);
    return EINVAL;
  }
  // Emptied only once known to be a regular file, as O_TRUNC does.
  if (!exclusive && !SetEndOfFile(handle)) {
    const int error = LastErrno();
    CloseHandle(handle);
    return error;
  }
  file = reinterpret_cast<FileHandle>(handle);
  return 0;
}

int WriteAllAt(FileHandle file, const WritePiece* pieces, int count, uint64_t offset) {
  if (count < 0 || count > kMaxWritePieces) return EINVAL;
  // Windows has no gathered write to a file opened for ordinary writes: the
  // pieces go one after another, each at its own offset.
  for (int i = 0; i < count; ++i) {
    const auto* data = static_cast<const uint8_t*>(pieces[i].data);
    size_t left = pieces[i].bytes;
    while (left != 0) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      const DWORD piece = static_cast<DWORD>(std::min<size_t>(left, 1u << 30));
      DWORD written = 0;
      if (!WriteFile(Handle(file), data, piece, &written, &at)) return LastErrno();
      if (written == 0) return EIO;
      data += written;
      left -= written;
      offset += written;
    }
  }
  return 0;
}

int SyncOpenFile(FileHandle file) { return FlushFileBuffers(Handle(file)) ? 0 : LastErrno(); }

int Truncate(FileHandle file, uint64_t bytes) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(bytes);
  if (!SetFileInformationByHandle(Handle(file), FileEndOfFileInfo, &end, sizeof end)) {
    return LastErrno();
  }
  return 0;
}

int CloseFile(FileHandle file) { return CloseHandle(Handle(file)) ? 0 : LastErrno(); }

bool NameExists(const std::string& path) {
  std::wstring wide;
  if (path.empty() || !WideFromUtf8(path, wide)) return false;
  return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace platform
