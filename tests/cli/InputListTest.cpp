#include "cli/InputList.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/batch/TestSupport.h"

namespace {

using porute_test::TempDir;

class InputListTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"in", "in/sub", "in/sub/deeper", "elsewhere"}) {
      ASSERT_EQ(mkdir(dir.Path(folder).c_str(), 0755), 0);
    }
    for (const char* file : {"in/b.V02", "in/A.v00", "in/c.txt", "in/d.V0", "in/sub/e.V00",
                             "in/sub/deeper/f.v02", "elsewhere/g.V02"}) {
      porute_test::WriteText(dir.Path(file), "x");
    }
    // A folder that looks like a movie, and links to a folder and a movie.
    ASSERT_EQ(mkdir(dir.Path("in/h.V02").c_str(), 0755), 0);
    ASSERT_EQ(symlink("../elsewhere", dir.Path("in/link").c_str()), 0);
    ASSERT_EQ(symlink("../elsewhere/g.V02", dir.Path("in/g.V02").c_str()), 0);
  }
  TempDir dir;
};

TEST_F(InputListTest, FolderGivesItsMoviesInNameOrder) {
  const InputList flat = ExpandInputs({dir.Path("in/")}, false, "");
  EXPECT_EQ(flat.files, (std::vector<std::string>{dir.Path("in/A.v00"), dir.Path("in/b.V02"),
                                                  dir.Path("in/g.V02")}));
  EXPECT_EQ(flat.outputFolders, std::vector<std::string>(3));

  // Subfolders take their place among the names; the link to a folder is
  // not followed. Below -o the tree is mirrored.
  const InputList tree = ExpandInputs({dir.Path("in"), dir.Path("in/c.txt")}, true, "/out");
  EXPECT_EQ(tree.files,
            (std::vector<std::string>{dir.Path("in/A.v00"), dir.Path("in/b.V02"),
                                      dir.Path("in/g.V02"), dir.Path("in/sub/deeper/f.v02"),
                                      dir.Path("in/sub/e.V00"), dir.Path("in/c.txt")}));
  EXPECT_EQ(tree.outputFolders,
            (std::vector<std::string>{"", "", "", "/out/sub/deeper", "/out/sub", ""}));
  EXPECT_TRUE(tree.unreadable.empty());
}

TEST_F(InputListTest, CollisionsNameBothInputs) {
  // One file named twice, by two spellings.
  InputList twice = ExpandInputs({dir.Path("in/b.V02"), dir.Path("in/sub/../b.V02")}, false, "");
  auto collisions = FindCollisions(twice, "", ".avi");
  ASSERT_EQ(collisions.size(), 1u);
  EXPECT_EQ(collisions[0].firstInput, dir.Path("in/b.V02"));
  EXPECT_EQ(collisions[0].secondInput, dir.Path("in/sub/../b.V02"));

  // The same name from two folders into one output folder.
  InputList two = ExpandInputs({dir.Path("in/g.V02"), dir.Path("elsewhere/g.V02")}, false, "");
  EXPECT_TRUE(FindCollisions(two, "", ".avi").empty());
  collisions = FindCollisions(two, dir.Path("elsewhere"), ".avi");
  ASSERT_EQ(collisions.size(), 1u);
  EXPECT_EQ(collisions[0].output, dir.Path("elsewhere/g.avi"));

  // a.V02 and a.V00 of one folder, the folder given: both would be a.avi.
  ASSERT_EQ(mkdir(dir.Path("pair").c_str(), 0755), 0);
  for (const char* file : {"pair/a.V02", "pair/a.V00"}) porute_test::WriteText(dir.Path(file), "x");
  collisions = FindCollisions(ExpandInputs({dir.Path("pair")}, false, ""), "", ".avi");
  ASSERT_EQ(collisions.size(), 1u);
  EXPECT_EQ(collisions[0].firstInput, dir.Path("pair/a.V00"));
  EXPECT_EQ(collisions[0].secondInput, dir.Path("pair/a.V02"));
  EXPECT_EQ(collisions[0].output, dir.Path("pair/a.avi"));
}

}  // namespace
