#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// How the batch splits input paths and forms output paths. Paths are byte
// strings and are never converted here.
//
// kPosix: "/" is the only separator. UTF-8 never uses the byte 0x2F inside a
// character, so a plain byte scan is exact.
// kWindows: the designed program's rules: "\" and ":" separate, and the text
// is Shift-JIS: a byte 0x5C that is the second byte of a double-byte
// character is part of that character. The tests use it to pin the rules.
// kWin32: what our Windows build uses, whose paths are UTF-8 inside: "\",
// "/" and ":" separate, with a drive colon kept as in kWindows; a byte scan
// is exact, as for kPosix.
enum class PathStyle { kPosix, kWindows, kWin32 };

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::kWin32;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::kPosix;
#endif

// The separator put between the output folder and the output name.
char JoinSeparator(PathStyle style = kNativePathStyle);

// Index of the last separator of path, or std::string_view::npos. This is the
// one place that knows the separator set.
size_t LastSeparator(std::string_view path, PathStyle style = kNativePathStyle);

// Folder part of path: everything before the last separator, except that a
// separator which starts the path, or follows a drive colon or another
// separator, stays with the folder ("/a.V02" gives "/", "C:\a.V02" gives
// "C:\"), and a drive colon always does ("C:a.V02" gives "C:"). Empty when
// the path has no separator at all.
std::string FolderPart(std::string_view path, PathStyle style = kNativePathStyle);

// Everything after the last separator: the file name with its extension.
std::string FileNamePart(std::string_view path, PathStyle style = kNativePathStyle);

// File name of path with the text from its last "." onward replaced by
// extension, ".avi" unless told (appended when the name has no "."). The name
// keeps its letter case.
std::string OutputName(std::string_view inputPath, PathStyle style = kNativePathStyle,
                       std::string_view extension = ".avi");

// Where the AVI file for inputPath goes: the folder (saveDir, or the input's
// own folder when saveDir is empty), the separator and the output name. The
// separator is added even when the folder already ends with one. An input
// with no folder part and an empty saveDir gives the bare output name, a path
// in the current folder (joining an empty folder would name the root).
std::string OutputPath(std::string_view saveDir, std::string_view inputPath,
                       PathStyle style = kNativePathStyle, std::string_view extension = ".avi");

// Where a conversion cut short (damage, an abort, a failed write) is kept:
// the output path with ".partial" put before its extension ("a.avi" gives
// "a.partial.avi"), so that it is never taken for a whole conversion and
// still opens as what it is.
std::string PartialPath(std::string_view outputPath, PathStyle style = kNativePathStyle);

// The name an output is written under until it is whole, beside it: a
// hidden ".NAME.EXT.porute-TAG.tmp", where TAG (6 letters or digits) makes
// it unique. It ends in ".tmp", so no reader takes it for a movie nor the
// input scan for an input, and ".porute-" marks it as ours for a later run
// to clear away. An output name so long that the whole would pass 255 bytes
// is cut (at a character's start) in the temporary name.
std::string TemporaryPath(std::string_view outputPath, std::string_view tag,
                          PathStyle style = kNativePathStyle);
// Whether fileName (a name without folder) is a temporary name of ours for
// the output named outputName.
bool IsTemporaryNameFor(std::string_view fileName, std::string_view outputName,
                        PathStyle style = kNativePathStyle);
