#include "platform/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace platform {

namespace {

// A name cannot hold a NUL byte; such a path names no file at all.
bool Representable(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

int Descriptor(FileHandle file) { return static_cast<int>(file); }

}  // namespace

int OpenForReading(const std::string& path, FileHandle& file, bool& notRegular) {
  file = kNoFile;
  notRegular = false;
  if (!Representable(path)) return ENOENT;
  // O_NONBLOCK so that opening a FIFO cannot wait for a writer; it is refused
  // below anyway, and regular files ignore the flag, which is cleared again.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat status;
  if (::fstat(fd, &status) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  if (!S_ISREG(status.st_mode)) {
    notRegular = true;
    ::close(fd);
    return 0;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  file = fd;
  return 0;
}

int ReadSome(FileHandle file, void* destination, size_t count, size_t& got) {
  got = 0;
  for (;;) {
    const ssize_t read = ::read(Descriptor(file), destination, std::min<size_t>(count, SSIZE_MAX));
    if (read >= 0) {
      got = static_cast<size_t>(read);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

int CreateForWriting(const std::string& path, bool exclusive, FileHandle& file) {
  file = kNoFile;
  if (!Representable(path)) return ENOENT;
  // O_NONBLOCK keeps a FIFO of that name from blocking the open; anything but
  // a regular file is refused below.
  const int mode = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | (exclusive ? O_EXCL : O_TRUNC);
  const int fd = ::open(path.c_str(), mode, 0666);
  if (fd < 0) return errno;
  struct stat info;
  const bool known = ::fstat(fd, &info) == 0;
  if (!known || !S_ISREG(info.st_mode)) {
    const int error = !known ? errno : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return error;
  }
  file = fd;
  return 0;
}

int WriteAllAt(FileHandle file, const WritePiece* pieces, int count, uint64_t offset) {
  if (count < 0 || count > kMaxWritePieces) return EINVAL;
  iovec vectors[kMaxWritePieces];
  int left = 0;
  for (int i = 0; i < count; ++i) {
    if (pieces[i].bytes != 0) vectors[left++] = {const_cast<void*>(pieces[i].data), pieces[i].bytes};
  }
  iovec* next = vectors;
  while (left > 0) {
    const ssize_t written = ::pwritev(Descriptor(file), next, left, static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    offset += static_cast<uint64_t>(written);
    size_t done = static_cast<size_t>(written);
    while (left > 0 && done >= next->iov_len) {
      done -= next->iov_len;
      ++next;
      --left;
    }
    if (left > 0) {
      next->iov_base = static_cast<uint8_t*>(next->iov_base) + done;
      next->iov_len -= done;
    }
  }
  return 0;
}

int SyncOpenFile(FileHandle file) { return ::fsync(Descriptor(file)) == 0 ? 0 : errno; }

int Truncate(FileHandle file, uint64_t bytes) {
  while (::ftruncate(Descriptor(file), static_cast<off_t>(bytes)) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int CloseFile(FileHandle file) { return ::close(Descriptor(file)) == 0 ? 0 : errno; }

bool NameExists(const std::string& path) {
  struct stat status;
  return Representable(path) && ::stat(path.c_str(), &status) == 0;
}

}  // namespace platform
