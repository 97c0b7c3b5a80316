#include "cli/InputList.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "batch/PathNames.h"
#include "cli/FsPath.h"
#include "platform/Files.h"

namespace {

bool IsMovieName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.size() - dot != 4) return false;
  const char* ext = name.c_str() + dot + 1;
  return (ext[0] == 'V' || ext[0] == 'v') && ext[1] == '0' && (ext[2] == '2' || ext[2] == '0');
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string WithoutTrailingSlashes(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// Adds the movies of folder (and, recursive, of its subfolders) to inputs.
// relative: the folder's place below the named folder ("" for the named one).
// Returns whether the folder holds subfolders.
bool AddFolder(const std::string& folder, const std::string& relative, bool recursive,
               const std::string& outputDir, InputList& inputs) {
  std::vector<std::string> names;
  if (const int error = platform::ListFolder(folder, names); error != 0) {
    inputs.unreadable.push_back({folder, error});
    return false;
  }
  bool subfolders = false;
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = Join(folder, name);
    const platform::NameKind kind = platform::KindOfName(path);
    if (kind == platform::NameKind::kAbsent) continue;
    if (kind == platform::NameKind::kFolder) {
      subfolders = true;
      if (recursive) AddFolder(path, Join(relative, name), recursive, outputDir, inputs);
      continue;
    }
    if (!IsMovieName(name)) continue;
    // A link to a folder is never followed, whatever its name.
    if (kind == platform::NameKind::kSymlink &&
        platform::KindOfTarget(path) == platform::NameKind::kFolder) {
      continue;
    }
    inputs.files.push_back(path);
    inputs.outputFolders.push_back(
        outputDir.empty() || relative.empty() ? std::string() : Join(outputDir, relative));
  }
  return subfolders;
}

std::string ResolvedFolder(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path resolved =
      std::filesystem::weakly_canonical(FsPath(folder.empty() ? std::string(".") : folder), error);
  return error ? folder : Utf8Of(resolved);
}

}  // namespace

InputList ExpandInputs(const std::vector<std::string>& arguments, bool recursive,
                       const std::string& outputDir) {
  InputList inputs;
  for (const std::string& argument : arguments) {
    if (platform::KindOfTarget(argument) == platform::NameKind::kFolder) {
      const size_t before = inputs.files.size();
      const size_t unreadableBefore = inputs.unreadable.size();
      const bool subfolders =
          AddFolder(WithoutTrailingSlashes(argument), "", recursive, outputDir, inputs);
      // A folder that could not be read is reported as such already.
      if (inputs.files.size() == before && inputs.unreadable.size() == unreadableBefore) {
        inputs.empty.push_back({argument, subfolders});
      }
      continue;
    }
    inputs.files.push_back(argument);
    inputs.outputFolders.emplace_back();
  }
  return inputs;
}

std::vector<OutputCollision> FindCollisions(const InputList& inputs, const std::string& saveDir,
                                            const std::string& extension) {
  std::vector<OutputCollision> collisions;
  std::map<std::string, size_t> seen;
  for (size_t i = 0; i < inputs.files.size(); ++i) {
    const std::string& input = inputs.files[i];
    const std::string& folder =
        !inputs.outputFolders[i].empty() ? inputs.outputFolders[i] : saveDir;
    const std::string output = OutputPath(folder, input, kNativePathStyle, extension);
    const std::string key =
        Join(ResolvedFolder(FolderPart(output)), OutputName(input, kNativePathStyle, extension));
    const auto [at, added] = seen.emplace(key, i);
    if (!added) collisions.push_back({inputs.files[at->second], input, output});
  }
  return collisions;
}

bool MakeOutputFolders(const InputList& inputs, std::string& failedFolder, int& sysErrno) {
  for (const std::string& folder : inputs.outputFolders) {
    if (folder.empty()) continue;
    std::error_code error;
    std::filesystem::create_directories(FsPath(folder), error);
    if (error) {
      failedFolder = folder;
      sysErrno = ErrnoOf(error);
      return false;
    }
  }
  return true;
}
