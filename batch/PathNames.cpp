#include "batch/PathNames.h"

namespace {

// Shift-JIS lead bytes: 0x81-0x9F and 0xE0-0xFC. The byte after a lead byte
// belongs to the same character whatever its value.
bool IsShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsDriveColon(std::string_view path, size_t index, PathStyle style) {
  return style != PathStyle::kPosix && path[index] == ':';
}

}  // namespace

char JoinSeparator(PathStyle style) { return style == PathStyle::kPosix ? '/' : '\\'; }

size_t LastSeparator(std::string_view path, PathStyle style) {
  size_t last = std::string_view::npos;
  if (style == PathStyle::kPosix) {
    for (size_t i = 0; i < path.size(); ++i) {
      if (path[i] == '/') last = i;
    }
    return last;
  }
  if (style == PathStyle::kWin32) {
    for (size_t i = 0; i < path.size(); ++i) {
      if (path[i] == '\\' || path[i] == '/' || path[i] == ':') last = i;
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

namespace {

constexpr std::string_view kTemporaryMark = ".porute-";
constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr size_t kTagBytes = 6;
// The longest file name most file systems take.
constexpr size_t kMaxNameBytes = 255;

// "." + outputName (cut to fit) + ".porute-".
std::string TemporaryStem(std::string_view outputName, PathStyle style) {
  const size_t room = kMaxNameBytes - 1 - kTemporaryMark.size() - kTagBytes - kTemporaryEnd.size();
  size_t keep = outputName.size();
  if (keep > room) {
    if (style != PathStyle::kWindows) {
      // Not inside a UTF-8 character.
      keep = room;
      while (keep > 0 && (static_cast<unsigned char>(outputName[keep]) & 0xC0) == 0x80) --keep;
    } else {
      // Whole Shift-JIS characters, found from the start.
      keep = 0;
      for (;;) {
        const size_t next =
            keep + (IsShiftJisLeadByte(static_cast<unsigned char>(outputName[keep])) ? 2 : 1);
        if (next > room) break;
        keep = next;
      }
    }
  }
  std::string stem = ".";
  stem += outputName.substr(0, keep);
  stem += kTemporaryMark;
  return stem;
}

}  // namespace

std::string PartialPath(std::string_view outputPath, PathStyle style) {
  const size_t last = LastSeparator(outputPath, style);
  const size_t nameStart = last == std::string_view::npos ? 0 : last + 1;
  size_t dot = outputPath.rfind('.');
  if (dot == std::string_view::npos || dot < nameStart) dot = outputPath.size();
  std::string path(outputPath.substr(0, dot));
  path += ".partial";
  path += outputPath.substr(dot);
  return path;
}

std::string TemporaryPath(std::string_view outputPath, std::string_view tag, PathStyle style) {
  const size_t last = LastSeparator(outputPath, style);
  const size_t nameStart = last == std::string_view::npos ? 0 : last + 1;
  std::string path(outputPath.substr(0, nameStart));
  path += TemporaryStem(outputPath.substr(nameStart), style);
  path += tag;
  path += kTemporaryEnd;
  return path;
}

bool IsTemporaryNameFor(std::string_view fileName, std::string_view outputName, PathStyle style) {
  const std::string stem = TemporaryStem(outputName, style);
  return fileName.size() == stem.size() + kTagBytes + kTemporaryEnd.size() &&
         fileName.substr(0, stem.size()) == stem &&
         fileName.substr(fileName.size() - kTemporaryEnd.size()) == kTemporaryEnd;
}
