#pragma once

// The outside programs a test reads our files with (ffprobe, ffmpeg,
// GStreamer, mediainfo). A test that lacks one skips and names it;
// scripts/test installs them all and fails on any skip that
// tests/allowed-skips does not list.

#include <unistd.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace porute_test {

inline bool OnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "";
  while (true) {
    const size_t colon = rest.find(':');
    std::string candidate(rest.substr(0, colon));
    if (candidate.empty()) candidate.push_back('.');
    candidate.push_back('/');
    candidate.append(name);
    if (access(candidate.c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) return false;
    rest.remove_prefix(colon + 1);
  }
}

// The first of the programs that is not on PATH; empty when all are.
inline std::string MissingProgram(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (!OnPath(name)) return name;
  }
  return {};
}

}  // namespace porute_test

// Skips the test (from SetUp too) unless every named program is on PATH.
#define PORUTE_NEED_PROGRAMS(...)                                                      \
  if (const std::string porute_missing_ = porute_test::MissingProgram({__VA_ARGS__});  \
      !porute_missing_.empty())                                                        \
  GTEST_SKIP() << porute_missing_ << " is not on PATH"
