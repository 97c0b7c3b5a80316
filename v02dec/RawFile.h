#pragma once

#include <cstddef>
#include <string>

#include "platform/FileAccess.h"

// Raw byte access to one file through the platform's file service. Paths are
// UTF-8 (on Linux: any bytes but NUL, passed through untouched).
class RawFile {
 public:
  RawFile() = default;
  ~RawFile();
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;

  // Opens a regular file for reading. Anything else (a folder, a pipe, a
  // device) is refused, so a dropped folder or a FIFO can never make a read
  // hang or fail half way. Returns false when the file cannot be opened.
  bool Open(const std::string& path);

  // Whole-or-fail read: true only when exactly count bytes arrived. A short
  // read leaves the file positioned after what did arrive.
  bool Read(void* destination, size_t count);

  void Close();
  bool IsOpen() const { return file_ != platform::kNoFile; }

  // After a failed Open or Read: the error of the system call that failed,
  // or 0 when none did (the file ended early, or is not a regular file).
  int LastErrno() const { return lastErrno_; }
  // After a failed Open: the name exists but is no regular file.
  bool NotRegular() const { return notRegular_; }

  // True when something of that name exists (any kind of file).
  static bool Exists(const std::string& path);

 private:
  platform::FileHandle file_ = platform::kNoFile;
  int lastErrno_ = 0;
  bool notRegular_ = false;
};
