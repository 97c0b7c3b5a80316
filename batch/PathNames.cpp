#include "batch/PathNames.h"

namespace {

// Shift-JIS lead bytes: 0x81-0x9F and 0xE0-0xFC. The byte after a lead byte
// belongs to the same character whatever its value.
bool IsShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsDriveColon(std::string_view path, size_t index, PathStyle style) {
  return style == PathStyle::kWindows && path[index] == ':';
}

}  // namespace

char JoinSeparator(PathStyle style) { return style == PathStyle::kWindows ? '\\' : '/'; }

size_t LastSeparator(std::string_view path, PathStyle style) {
  size_t last = std::string_view::npos;
  if (style == PathStyle::kPosix) {
    for (size_t i = 0; i < path.size(); ++i) {
      if (path[i] == '/') last = i;
    }
    return last;
  }
  for (size_t i = 0; i < path.size(); ++i) {
    const auto byte = static_cast<unsigned char>(path[i]);
    if (IsShiftJisLeadByte(byte)) {
      ++i;  // skip the trail byte, which may be 0x5C
    } else if (byte == '\\' || byte == ':') {
      last = i;
    }
  }
  return last;
}

std::string FolderPart(std::string_view path, PathStyle style) {
  const size_t last = LastSeparator(path, style);
  if (last == std::string_view::npos) return {};
  if (IsDriveColon(path, last, style)) return std::string(path.substr(0, last + 1));
  // A separator that is a root of its own keeps its place in the folder.
  if (last == 0 || IsDriveColon(path, last - 1, style) ||
      LastSeparator(path.substr(0, last), style) == last - 1) {
    return std::string(path.substr(0, last + 1));
  }
  return std::string(path.substr(0, last));
}

std::string FileNamePart(std::string_view path, PathStyle style) {
  const size_t last = LastSeparator(path, style);
  if (last == std::string_view::npos) return std::string(path);
  return std::string(path.substr(last + 1));
}

std::string OutputName(std::string_view inputPath, PathStyle style, std::string_view extension) {
  std::string name = FileNamePart(inputPath, style);
  // "." (0x2E) is never the trail byte of a Shift-JIS character, so a byte
  // scan finds the extension in both styles.
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  name += extension;
  return name;
}

std::string OutputPath(std::string_view saveDir, std::string_view inputPath, PathStyle style,
                       std::string_view extension) {
  const std::string folder = saveDir.empty() ? FolderPart(inputPath, style) : std::string(saveDir);
  const std::string name = OutputName(inputPath, style, extension);
  if (folder.empty()) return name;
  return folder + JoinSeparator(style) + name;
}
