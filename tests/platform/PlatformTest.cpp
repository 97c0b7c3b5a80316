// The platform seam's promises, the same on every system: this suite runs on
// Linux and, cross-built, under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/FileAccess.h"
#include "platform/Files.h"
#include "tests/common/TempDir.h"

namespace {

using platform::FileHandle;
using platform::kNoFile;
using platform::NameKind;

// A Japanese name, so that every call is seen to keep UTF-8 names whole.
const std::string kName = "\u52d5\u753b.avi";

std::string Made(const std::string& path, const std::string& text) {
  FileHandle file = kNoFile;
  EXPECT_EQ(platform::CreateForWriting(path, false, file), 0) << path;
  EXPECT_EQ(platform::WriteAllAt(file, text.data(), text.size(), 0), 0);
  EXPECT_EQ(platform::CloseFile(file), 0);
  return path;
}

std::string Read(const std::string& path) {
  FileHandle file = kNoFile;
  bool notRegular = false;
  if (platform::OpenForReading(path, file, notRegular) != 0 || file == kNoFile) return "<none>";
  std::string text(64, '\0');
  size_t got = 0;
  platform::ReadSome(file, text.data(), text.size(), got);
  platform::CloseFile(file);
  text.resize(got);
  return text;
}

TEST(Platform, GatheredWritesAtOffsetsAndTruncation) {
  porute_test::TempDir dir;
  const std::string path = Made(dir / kName, "0123456789");
  FileHandle file = kNoFile;
  ASSERT_EQ(platform::CreateForWriting(path, false, file), 0);  // emptied
  const platform::WritePiece pieces[] = {{"ab", 2}, {"", 0}, {"cde", 3}};
  ASSERT_EQ(platform::WriteAllAt(file, pieces, 3, 4), 0);
  ASSERT_EQ(platform::WriteAllAt(file, "XY", 2, 0), 0);
  ASSERT_EQ(platform::Truncate(file, 8), 0);
  ASSERT_EQ(platform::SyncOpenFile(file), 0);
  ASSERT_EQ(platform::CloseFile(file), 0);
  EXPECT_EQ(Read(path), std::string("XY\0\0abcd", 8));
  uint64_t size = 0;
  EXPECT_TRUE(platform::RegularFileSize(path, size));
  EXPECT_EQ(size, 8u);
}

TEST(Platform, ExclusiveCreationAndRefusedKinds) {
  porute_test::TempDir dir;
  const std::string path = Made(dir / kName, "old");
  FileHandle file = kNoFile;
  EXPECT_EQ(platform::CreateForWriting(path, true, file), EEXIST);
  EXPECT_EQ(file, kNoFile);
  EXPECT_EQ(Read(path), "old");
  EXPECT_EQ(platform::CreateForWriting(dir.Path(), false, file), EISDIR);
  bool notRegular = false;
  EXPECT_EQ(platform::OpenForReading(dir.Path(), file, notRegular), 0);
  EXPECT_TRUE(notRegular);
  EXPECT_EQ(file, kNoFile);
  EXPECT_EQ(platform::OpenForReading(dir / "absent", file, notRegular), ENOENT);
}

TEST(Platform, KindsOfNames) {
  porute_test::TempDir dir;
  Made(dir / kName, "x");
  EXPECT_EQ(platform::KindOfName(dir / kName), NameKind::kRegular);
  EXPECT_EQ(platform::KindOfName(dir.Path()), NameKind::kFolder);
  EXPECT_EQ(platform::KindOfTarget(dir.Path()), NameKind::kFolder);
  EXPECT_EQ(platform::KindOfName(dir / "absent"), NameKind::kAbsent);
  EXPECT_TRUE(platform::NameExists(dir / kName));
  EXPECT_FALSE(platform::NameExists(dir / "absent"));
  std::vector<std::string> names;
  ASSERT_EQ(platform::ListFolder(dir.Path(), names), 0);
  EXPECT_EQ(names, std::vector<std::string>{kName});
}

TEST(Platform, RenamesReplaceOrRefuse) {
  porute_test::TempDir dir;
  const std::string from = Made(dir / "new.tmp", "new");
  const std::string to = Made(dir / kName, "old");
  EXPECT_EQ(platform::RenameWithoutReplacing(from, to), EEXIST);
  EXPECT_EQ(Read(to), "old");
  EXPECT_EQ(Read(from), "new");
  platform::FileIdentity before;
  ASSERT_TRUE(platform::IdentityOf(from, before));
  ASSERT_EQ(platform::SyncFile(from), 0);
  ASSERT_EQ(platform::ReplaceName(from, to), 0);
  EXPECT_EQ(Read(to), "new");
  EXPECT_FALSE(platform::NameExists(from));
  // The identity is the file's, not the name's.
  platform::FileIdentity after;
  ASSERT_TRUE(platform::IdentityOf(to, after));
  EXPECT_EQ(before, after);
  platform::FileIdentity other;
  ASSERT_TRUE(platform::IdentityOf(Made(dir / "other", "o"), other));
  EXPECT_NE(other, after);
  EXPECT_EQ(platform::SyncFolder(dir.Path()), 0);
  EXPECT_EQ(platform::RemoveName(to), 0);
  EXPECT_EQ(platform::RemoveName(to), ENOENT);
}

}  // namespace
