#include "v02dec/RawFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace {

// A name cannot hold a NUL byte; such a path names no file at all.
bool Representable(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

}  // namespace

RawFile::~RawFile() { Close(); }

bool RawFile::Open(const std::string& path) {
  Close();
  lastErrno_ = 0;
  notRegular_ = false;
  if (!Representable(path)) {
    lastErrno_ = ENOENT;
    return false;
  }
  // O_NONBLOCK so that opening a FIFO cannot wait for a writer; it is refused
  // below anyway, and regular files ignore the flag, which is cleared again.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    lastErrno_ = errno;
    return false;
  }
  struct stat status;
  if (::fstat(fd, &status) != 0) {
    lastErrno_ = errno;
    ::close(fd);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    notRegular_ = true;
    ::close(fd);
    return false;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    lastErrno_ = errno;
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool RawFile::Read(void* destination, size_t count) {
  lastErrno_ = 0;
  if (fd_ < 0) return false;
  auto* out = static_cast<unsigned char*>(destination);
  while (count != 0) {
    size_t piece = std::min<size_t>(count, SSIZE_MAX);
    ssize_t got = ::read(fd_, out, piece);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      lastErrno_ = errno;
      return false;
    }
    if (got == 0) return false;  // the file ended early
    out += got;
    count -= static_cast<size_t>(got);
  }
  return true;
}

void RawFile::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool RawFile::Exists(const std::string& path) {
  struct stat status;
  return Representable(path) && ::stat(path.c_str(), &status) == 0;
}
