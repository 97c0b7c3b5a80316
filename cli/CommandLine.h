#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/ConsoleHost.h"

// porute2avi [-o DIR] [-y | -n] [-k] [-r] [-q] FILE...
struct CommandLine {
  enum class Action { kConvert, kHelp, kVersion, kUsageError };
  Action action = Action::kConvert;
  std::string usageError;  // one line, when action is kUsageError

  std::string outputDir;   // empty: next to each input
  ConsoleHost::Options host;
  std::vector<std::string> files;
  bool recursive = false;  // -r: folders with their subfolders

  // --info [--json] describes the files, --check decodes them; neither
  // writes anything.
  bool info = false;
  bool json = false;
  bool check = false;

  // --riff-limit=BYTES, for tests only: lowers the size at which the AVI
  // writer continues in a further RIFF list, so small movies exercise the
  // OpenDML layout. 0 when not given.
  uint64_t riffLimit = 0;
  // --refresh-interval=BYTES, for tests only: how much movie data the AVI
  // writer puts between two rewrites of the header, so that a small movie
  // passes several. 0 when not given.
  uint64_t refreshInterval = 0;

  // -f, --format: "avi" (the default), "mkv" or "mp4"; --crf for mp4 (-1 when
  // not given); --verify: read each output back and compare it with the movie.
  std::string format = "avi";
  int crf = -1;
  bool verify = false;

  // --report FILE: the run's provenance record as one JSON document; empty
  // when not given.
  std::string reportPath;
};

// Parses argv the GNU way: options and files may be mixed, "--" ends the
// options, short options may be grouped ("-yq").
CommandLine ParseCommandLine(int argc, char* argv[]);

// The text of --help.
const char* UsageText();
