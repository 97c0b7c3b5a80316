#pragma once

// std::filesystem takes a narrow string in the system's code page on
// Windows, not UTF-8: our paths (UTF-8) go through these two. On POSIX
// systems both pass the bytes through as they are.

#include <filesystem>
#include <string>

inline std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The errno value of a failure std::filesystem reports (a Win32 error code
// on Windows).
inline int ErrnoOf(const std::error_code& error) { return error.default_error_condition().value(); }
