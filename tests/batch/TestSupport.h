#pragma once

// Equipment shared by the batch and command-line suites: scratch folders,
// running programs with captured output, and reading AVI files back through
// ffprobe and ffmpeg, which know nothing of our writer.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

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

// One stream as ffprobe reports it (-show_streams -count_frames).
struct ProbedStream {
  std::string codecType;   // "video", "audio"
  std::string codecName;   // "rawvideo", "pcm_s16le"
  std::string codecTag;    // codec_tag_string
  int width = 0;
  int height = 0;
  std::string pixFmt;
  std::string frameRate;   // r_frame_rate, "10/1"
  int sampleRate = 0;
  int channels = 0;
  int bitsPerSample = 0;
  int64_t readFrames = -1;    // nb_read_frames: frames ffprobe decoded
  int64_t headerFrames = -1;  // nb_frames: the stream header's length
  double duration = -1;
};

struct Probe {
  bool ok = false;
  std::string error;       // ffprobe's standard error when !ok
  std::string formatName;  // "avi"
  double duration = -1;
  std::vector<ProbedStream> streams;
  std::map<std::string, std::string> fields;  // every flat key=value line
};

Probe ProbeFile(const std::string& path);

// The first video stream decoded to raw bgr24 (top row first, no row fill),
// and the first audio stream to raw s16le. False when ffmpeg fails.
bool DecodeVideoBgr24(const std::string& path, Bytes& out);
bool DecodeAudioS16le(const std::string& path, Bytes& out);

}  // namespace porute_test
