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

void ExpectSplitAndJoin(const PathCase& c, PathStyle style) {
  EXPECT_EQ(FolderPart(c.input, style), c.folder);
  EXPECT_EQ(FileNamePart(c.input, style), c.fileName);
  EXPECT_EQ(OutputPath(c.saveDir, c.input, style), c.outputPath);
}

class PosixPaths : public testing::TestWithParam<PathCase> {};

TEST_P(PosixPaths, SplitAndJoin) { ExpectSplitAndJoin(GetParam(), PathStyle::kPosix); }

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

TEST_P(WindowsPaths, SplitAndJoin) { ExpectSplitAndJoin(GetParam(), PathStyle::kWindows); }

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

class Win32Paths : public testing::TestWithParam<PathCase> {};

TEST_P(Win32Paths, SplitAndJoin) { ExpectSplitAndJoin(GetParam(), PathStyle::kWin32); }

// Our Windows build: UTF-8 text, where "/" separates as well.
INSTANTIATE_TEST_SUITE_P(
    Table, Win32Paths,
    testing::Values(
        PathCase{"C:\\movies\\a.V02", "", "C:\\movies", "a.V02", "C:\\movies\\a.avi"},
        PathCase{"C:/movies/a.V02", "", "C:/movies", "a.V02", "C:/movies\\a.avi"},
        PathCase{"C:\\a.V02", "", "C:\\", "a.V02", "C:\\\\a.avi"},
        PathCase{"C:a.V02", "", "C:", "a.V02", "C:\\a.avi"},
        PathCase{"x\\y/a.V02", "D:\\out", "x\\y", "a.V02", "D:\\out\\a.avi"},
        // UTF-8 names pass through as bytes; no byte of a character is taken
        // for a separator.
        PathCase{"\u52d5\u753b\\\u8868\u793a.V02", "", "\u52d5\u753b", "\u8868\u793a.V02",
                 "\u52d5\u753b\\\u8868\u793a.avi"}),
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
  EXPECT_EQ(LastSeparator("a\\b/c", PathStyle::kWin32), 3u);
  EXPECT_EQ(JoinSeparator(PathStyle::kWin32), '\\');
}

TEST(PathNames, PartialAndTemporaryNamesOfAnOutput) {
  EXPECT_EQ(PartialPath("out/a.b.avi", PathStyle::kPosix), "out/a.b.partial.avi");
  EXPECT_EQ(PartialPath("v.1/.mkv", PathStyle::kPosix), "v.1/.partial.mkv");
  EXPECT_EQ(PartialPath("C:\\m\\a.mp4", PathStyle::kWindows), "C:\\m\\a.partial.mp4");
  EXPECT_EQ(TemporaryPath("out/a.avi", "x1y2z3", PathStyle::kPosix),
            "out/.a.avi.porute-x1y2z3.tmp");
  EXPECT_EQ(TemporaryPath("a.avi", "x1y2z3", PathStyle::kPosix), ".a.avi.porute-x1y2z3.tmp");
  EXPECT_TRUE(IsTemporaryNameFor(".a.avi.porute-x1y2z3.tmp", "a.avi"));
  EXPECT_FALSE(IsTemporaryNameFor(".a.avi.porute-x1y2z3.tmp", "b.avi"));
  EXPECT_FALSE(IsTemporaryNameFor(".aa.avi.porute-x1y2z3.tmp", "a.avi"));
  EXPECT_FALSE(IsTemporaryNameFor(".a.avi.porute-x1y2z3.tmp.bak", "a.avi"));
  // A name that would pass 255 bytes is cut, never inside a character, and
  // still recognised.
  std::string longName;
  for (int i = 0; i < 100; ++i) longName += "\u52d5";  // 3 bytes each
  longName += ".avi";
  // The expected names: a dot, the cut name, the mark, the tag.
  const auto temporaryOf = [](const std::string& name, size_t keep) {
    std::string expected = ".";
    expected.append(name, 0, keep);
    expected += ".porute-abcdef.tmp";
    return expected;
  };
  const std::string temporary = TemporaryPath(longName, "abcdef", PathStyle::kPosix);
  EXPECT_EQ(temporary, temporaryOf(longName, 234));
  EXPECT_TRUE(IsTemporaryNameFor(temporary, longName, PathStyle::kPosix));
  EXPECT_EQ(TemporaryPath(longName, "abcdef", PathStyle::kWin32), temporaryOf(longName, 234));
  // Shift-JIS: "\x93\xae" is one character; 236 bytes would split one.
  std::string shiftJis = "a";
  for (int i = 0; i < 150; ++i) shiftJis += "\x93\xae";
  shiftJis += ".avi";
  EXPECT_EQ(TemporaryPath(shiftJis, "abcdef", PathStyle::kWindows), temporaryOf(shiftJis, 235));
}

}  // namespace
