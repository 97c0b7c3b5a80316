#include "batch/PathNames.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/common/CaseNames.h"

namespace {

struct PathCase {
  const char* input;
  const char* saveDir;
  const char* folder;
  const char* fileName;
  const char* outputPath;
};

const auto kPathCaseName = porute_test::ByIndexAnd([](const PathCase& c) {
  return std::string(c.input) + (*c.saveDir != '\0' ? std::string(" into ") + c.saveDir : "");
});

class PosixPaths : public testing::TestWithParam<PathCase> {};

TEST_P(PosixPaths, SplitAndJoin) {
  const PathCase& c = GetParam();
  EXPECT_EQ(FolderPart(c.input, PathStyle::kPosix), c.folder);
  EXPECT_EQ(FileNamePart(c.input, PathStyle::kPosix), c.fileName);
  EXPECT_EQ(OutputPath(c.saveDir, c.input, PathStyle::kPosix), c.outputPath);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PosixPaths,
    testing::Values(
        PathCase{"movies/a.V02", "", "movies", "a.V02", "movies/a.avi"},
        PathCase{"/home/u/movies/a.V02", "", "/home/u/movies", "a.V02", "/home/u/movies/a.avi"},
        // No folder part: the output goes to the current folder, not the root.
        PathCase{"a.V02", "", "", "a.V02", "a.avi"},
        // The root keeps its slash, and the join still adds one.
        PathCase{"/a.V02", "", "/", "a.V02", "//a.avi"},
        // A separator after another separator stays with the folder.
        PathCase{"dir//a.V02", "", "dir//", "a.V02", "dir///a.avi"},
        PathCase{"movies/a.V02", "out", "movies", "a.V02", "out/a.avi"},
        PathCase{"movies/a.V02", "out/", "movies", "a.V02", "out//a.avi"},
        PathCase{"a.V02", "/", "", "a.V02", "//a.avi"},
        // Names: the last dot of the name, never of the folder.
        PathCase{"my.movies/clip", "", "my.movies", "clip", "my.movies/clip.avi"},
        PathCase{"x/a.b.V00", "", "x", "a.b.V00", "x/a.b.avi"},
        PathCase{"x/A.V02", "", "x", "A.V02", "x/A.avi"},
        PathCase{"x/.V02", "", "x", ".V02", "x/.avi"},
        PathCase{"x/a.", "", "x", "a.", "x/a.avi"},
        // An input already ending in ".avi" maps onto itself; the decoder
        // refuses such a name before any output is opened.
        PathCase{"x/a.avi", "", "x", "a.avi", "x/a.avi"},
        // UTF-8 names pass through as bytes.
        PathCase{"動画/表示.V02", "", "動画", "表示.V02", "動画/表示.avi"},
        PathCase{"dir/", "", "dir", "", "dir/.avi"}),
    kPathCaseName);

class WindowsPaths : public testing::TestWithParam<PathCase> {};

TEST_P(WindowsPaths, SplitAndJoin) {
  const PathCase& c = GetParam();
  EXPECT_EQ(FolderPart(c.input, PathStyle::kWindows), c.folder);
  EXPECT_EQ(FileNamePart(c.input, PathStyle::kWindows), c.fileName);
  EXPECT_EQ(OutputPath(c.saveDir, c.input, PathStyle::kWindows), c.outputPath);
}

// "\x95\x5C" is a Shift-JIS kanji whose second byte is the backslash's value;
// "\x83\x5C" another. Neither may split the path.
INSTANTIATE_TEST_SUITE_P(
    Table, WindowsPaths,
    testing::Values(
        PathCase{"C:\\movies\\a.V02", "", "C:\\movies", "a.V02", "C:\\movies\\a.avi"},
        PathCase{"C:\\a.V02", "", "C:\\", "a.V02", "C:\\\\a.avi"},
        PathCase{"C:a.V02", "", "C:", "a.V02", "C:\\a.avi"},
        PathCase{"\\a.V02", "", "\\", "a.V02", "\\\\a.avi"},
        PathCase{"\\\\server\\a.V02", "", "\\\\server", "a.V02", "\\\\server\\a.avi"},
        PathCase{"C:\\a.V02", "D:\\", "C:\\", "a.V02", "D:\\\\a.avi"},
        PathCase{"a.V02", "", "", "a.V02", "a.avi"},
        PathCase{"C:\\\x95\x5C\\a.V02", "", "C:\\\x95\x5C", "a.V02", "C:\\\x95\x5C\\a.avi"},
        PathCase{"C:\\d\\\x95\x5C.V02", "", "C:\\d", "\x95\x5C.V02", "C:\\d\\\x95\x5C.avi"},
        PathCase{"\x83\x5C\x83\x5C.V00", "", "", "\x83\x5C\x83\x5C.V00", "\x83\x5C\x83\x5C.avi"},
        // "/" is no separator there.
        PathCase{"C:\\a/b.V02", "", "C:\\", "a/b.V02", "C:\\\\a/b.avi"}),
    kPathCaseName);

TEST(PathNames, LastSeparatorKnowsEachStyle) {
  EXPECT_EQ(LastSeparator("a\\b/c", PathStyle::kPosix), 3u);
  EXPECT_EQ(LastSeparator("a\\b/c", PathStyle::kWindows), 1u);
  EXPECT_EQ(LastSeparator("a:b", PathStyle::kPosix), std::string_view::npos);
  EXPECT_EQ(LastSeparator("a:b", PathStyle::kWindows), 1u);
  // A lead byte at the very end has no trail byte to skip.
  EXPECT_EQ(LastSeparator("\\\x95", PathStyle::kWindows), 0u);
  EXPECT_EQ(JoinSeparator(PathStyle::kPosix), '/');
  EXPECT_EQ(JoinSeparator(PathStyle::kWindows), '\\');
}

}  // namespace
