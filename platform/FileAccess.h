#pragma once

// Reading and writing open files, behind the same seam as Files.h: one
// implementation per system (FileAccessPosix.cpp, FileAccessWin32.cpp).
// Paths are UTF-8; results are 0 or an errno value, so that every caller
// reports a failure the same way on every system.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// An open file of the system: a descriptor on POSIX systems, a HANDLE on
// Windows. kNoFile when none is open.
using FileHandle = intptr_t;
inline constexpr FileHandle kNoFile = -1;

// Opens a regular file for reading. Anything else (a folder, a pipe, a
// device) is refused without waiting for it, with *notRegular set and 0
// returned, so a dropped folder or a FIFO can never make a read hang.
int OpenForReading(const std::string& path, FileHandle& file, bool& notRegular);

// Reads what comes, at most count bytes, from the file's position onwards;
// got is 0 at the end of the file. Interrupted reads are taken again.
int ReadSome(FileHandle file, void* destination, size_t count, size_t& got);

// Creates a file for writing at given offsets. exclusive: fail with EEXIST
// when the name exists; otherwise an existing file is emptied. A name that
// stands for no regular file (a folder: EISDIR; a pipe or device: EINVAL) is
// refused without waiting for it.
int CreateForWriting(const std::string& path, bool exclusive, FileHandle& file);

// One piece of a gathered write.
struct WritePiece {
  const void* data;
  size_t bytes;
};
inline constexpr int kMaxWritePieces = 8;
// Writes every byte of the pieces (at most kMaxWritePieces), one after
// another, starting at offset, through partial writes and interruptions.
int WriteAllAt(FileHandle file, const WritePiece* pieces, int count, uint64_t offset);
inline int WriteAllAt(FileHandle file, const void* data, size_t bytes, uint64_t offset) {
  const WritePiece one{data, bytes};
  return WriteAllAt(file, &one, 1, offset);
}

// Brings what was written to the file to the disk.
int SyncOpenFile(FileHandle file);

// Cuts the file to `bytes`.
int Truncate(FileHandle file, uint64_t bytes);

// Closes the file; a failure may mean that written data never reached it.
int CloseFile(FileHandle file);

// True when something of that name exists (any kind of file).
bool NameExists(const std::string& path);

}  // namespace platform
