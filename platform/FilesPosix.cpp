#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

NameKind KindOf(const std::string& path, bool followLinks, int* error) {
  if (error != nullptr) *error = 0;
  struct stat info {};
  if ((followLinks ? stat(path.c_str(), &info) : lstat(path.c_str(), &info)) != 0) {
    if (error != nullptr && errno != ENOENT && errno != ENOTDIR) *error = errno;
    return NameKind::kAbsent;
  }
  if (S_ISREG(info.st_mode)) return NameKind::kRegular;
  if (S_ISLNK(info.st_mode)) return NameKind::kSymlink;
  if (S_ISDIR(info.st_mode)) return NameKind::kFolder;
  return NameKind::kOther;
}

}  // namespace

NameKind KindOfName(const std::string& path, int* error) { return KindOf(path, false, error); }

NameKind KindOfTarget(const std::string& path, int* error) { return KindOf(path, true, error); }

bool RegularFileSize(const std::string& path, uint64_t& bytes) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  bytes = static_cast<uint64_t>(info.st_size);
  return true;
}

bool IdentityOf(const std::string& path, FileIdentity& identity) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  identity.device = static_cast<uint64_t>(info.st_dev);
  identity.inode = static_cast<uint64_t>(info.st_ino);
  return true;
}

int ReplaceName(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the flag: a second link fails on an existing name
  // just as atomically; the first name then goes.
  if (link(from.c_str(), to.c_str()) != 0) {
    if (errno != EPERM && errno != ENOTSUP) return errno;
    // Not even links (FAT): looked at first, with a moment's gap.
    struct stat info {};
    if (lstat(to.c_str(), &info) == 0) return EEXIST;
    return ReplaceName(from, to);
  }
  return unlink(from.c_str()) == 0 ? 0 : errno;
}

int RemoveName(const std::string& path) { return unlink(path.c_str()) == 0 ? 0 : errno; }

int SyncFile(const std::string& path) {
  // O_NONBLOCK: should the name have become a FIFO meanwhile, opening it
  // must not wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return errno;
  int result = fsync(fd) == 0 ? 0 : errno;
  if (close(fd) != 0 && result == 0) result = errno;
  return result;
}

int SyncFolder(const std::string& folder) {
  const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  const int synced = fsync(dir) == 0 ? 0 : errno;
  close(dir);
  return synced == EINVAL ? 0 : synced;
}

int ListFolder(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return errno;
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
    errno = 0;
  }
  const int result = errno;
  closedir(dir);
  return result;
}

}  // namespace platform
