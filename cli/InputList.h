#pragma once

#include <optional>
#include <string>
#include <vector>

// The movies a command line names. A FILE that is a folder stands for the
// movies in it (".V02" and ".V00" in any letter case), in byte order of their
// names; with recursive, its subfolders are taken too, in the same order
// among the files, but a symbolic link to a folder is not followed. Other
// FILEs are taken as they are, whatever their names.
struct InputList {
  std::vector<std::string> files;
  // Per file: the folder its output goes to when the tree below a named
  // folder is mirrored under the output folder; empty for the output folder
  // itself (or next to the input without one).
  std::vector<std::string> outputFolders;
  // Folders that could not be read, with the error.
  struct Unreadable {
    std::string path;
    int sysErrno;
  };
  std::vector<Unreadable> unreadable;
  // Named folders that yielded no movie, and whether they hold subfolders
  // that -r would have taken.
  struct Empty {
    std::string path;
    bool hasSubfolders;
  };
  std::vector<Empty> empty;
};

// outputDir: the -o folder, empty when outputs go next to their inputs.
InputList ExpandInputs(const std::vector<std::string>& arguments, bool recursive,
                       const std::string& outputDir);

// Two inputs that would write one output file: the same folder and name, or
// one file named twice. Folders are compared as the system resolves them.
struct OutputCollision {
  std::string firstInput;
  std::string secondInput;
  std::string output;
};
// Every input that shares its output with another, in the order of the
// list, each with the first input it collides with.
std::vector<OutputCollision> FindCollisions(const InputList& inputs, const std::string& saveDir,
                                            const std::string& extension);

// Makes the mirrored output folders that do not exist yet. False, with the
// folder and the error, when one cannot be made.
bool MakeOutputFolders(const InputList& inputs, std::string& failedFolder, int& sysErrno);
