#pragma once

// The few file-system operations the batch driver makes on names (not on
// open files), behind one seam so that each system brings its own file
// beside FilesPosix.cpp. Paths are UTF-8 (on POSIX systems: the bytes as
// given). Results are 0 or the system's error number (errno values).

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// What a name stands for, looked at without following a symbolic link at the
// name itself.
enum class NameKind {
  kAbsent,
  kRegular,
  kSymlink,
  kFolder,
  kOther,  // a FIFO, device or socket
};

// kAbsent also when the name cannot be looked at for another reason than its
// absence; *error (when given) then holds that reason, 0 otherwise.
NameKind KindOfName(const std::string& path, int* error = nullptr);

// The same for what the name reaches, symbolic links followed (never
// kSymlink then, but kAbsent for a link that leads nowhere).
NameKind KindOfTarget(const std::string& path, int* error = nullptr);

// The size of the regular file a name reaches, links followed; false when the
// name reaches no regular file.
bool RegularFileSize(const std::string& path, uint64_t& bytes);

// The file a name reaches, symbolic links followed: two names with equal
// identities are one file (a hard link, a symbolic link, or a name that
// differs in letter case on a file system that ignores it).
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
  auto operator<=>(const FileIdentity&) const = default;
};
// False when the name reaches no file.
bool IdentityOf(const std::string& path, FileIdentity& identity);

// Gives the file `from` the name `to`, replacing what had that name, in one
// step: a reader of `to` sees the old file or the new one, never a mixture.
int ReplaceName(const std::string& from, const std::string& to);
// The same, but fails with EEXIST when `to` exists, and then changes nothing.
int RenameWithoutReplacing(const std::string& from, const std::string& to);

int RemoveName(const std::string& path);

// Brings the data of a finished, closed file to the disk, so that a name
// given to it afterwards never stands for a file whose data was lost in a
// crash.
int SyncFile(const std::string& path);

// Brings a folder's entries (a rename just made in it) to the disk. A file
// system that cannot sync a folder is no failure.
int SyncFolder(const std::string& folder);

// The names in a folder, "." and ".." left out.
int ListFolder(const std::string& folder, std::vector<std::string>& names);

}  // namespace platform
