#pragma once

// Equipment shared by the suites: scratch folders, files, running programs
// with captured output, and (MediaReaders.h) reading outputs back through
// programs that know nothing of our writers.

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/common/MediaReaders.h"
#include "tests/common/Programs.h"
#include "tests/common/TempDir.h"
#include "tools/moviewriter/Bytes.h"

namespace porute_test {

using moviewriter::Bytes;

using porute_test::TempDir;

bool FileExists(const std::string& path);
// The file's size in bytes; -1 when there is no such file.
int64_t FileSize(const std::string& path);
// The file's bytes as a string; empty when it cannot be read.
std::string ReadText(const std::string& path);
bool WriteText(const std::string& path, const std::string& text);

// porute2avi's line for a failed write of path, in the C locale, up to the
// cause that follows it.
inline std::string CliWriteFailedLine(const std::string& path) {
  return "porute2avi: " + path + ": writing the file failed";
}

// The files of a folder that carry the temporary mark of an output in
// progress (".NAME.EXT.porute-TAG.tmp"), as paths, in no order.
std::vector<std::string> TemporaryFilesIn(const std::string& folder);

struct RunResult {
  int exitCode = -1;     // the exit status, or -1 when ended by a signal
  int signal = 0;        // the signal that ended it
  std::string out;       // standard output
  std::string err;       // standard error
};

struct RunOptions {
  std::string workingDir;                      // empty: the test's own
  std::string input;                           // written to standard input, then closed
  std::map<std::string, std::string> env;      // added to (or replacing in) the environment
};

// Runs argv[0] (a path, or a name looked up in PATH) to its end.
RunResult Run(const std::vector<std::string>& argv, const RunOptions& options = {});

// Run in two halves, for a test that acts while the program runs (sends it
// signals, reads its standard error as it comes): the process and the
// test's ends of its standard input, output and error, -1 once closed.
struct Started {
  pid_t pid = -1;
  int in = -1;
  int out = -1;
  int err = -1;
};
// options.input is not written; Finish writes what it is given.
Started Start(const std::vector<std::string>& argv, const RunOptions& options = {});
// Writes input (closing standard input at once when empty), collects what
// is still to come of both outputs and waits for the program's end.
RunResult Finish(Started& started, const std::string& input = {});

}  // namespace porute_test
