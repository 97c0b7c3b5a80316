#pragma once

// Our outputs read back by programs that know nothing of our writers:
// ffprobe, ffmpeg, GStreamer's avidemux and mediainfo. One copy for every
// suite; each returns what the program said, and the tests judge it.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/moviewriter/Bytes.h"

namespace porute_test {

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

  // A field of stream `index` or of the format, by ffprobe's key
  // ("nb_frames", "tags.title"); empty when there is none.
  std::string Stream(size_t index, const std::string& key) const;
  std::string Format(const std::string& key) const;
};

Probe ProbeFile(const std::string& path);

// The frames ffprobe decodes in the first video stream (0 when it has
// none); -1 when ffprobe fails, or with strict when it complains at all,
// with its words in *complaint.
int64_t FramesRead(const std::string& path, bool strict = true, std::string* complaint = nullptr);

// The first video stream as raw bgr24 (top row first, no row fill; every
// frame as stored, none repeated or dropped) or the first audio stream as
// raw s16le ('v' or 'a'). ok only when ffmpeg ends well and complains of
// nothing: -xerror makes any error it notices a failure.
struct Decoded {
  moviewriter::Bytes data;
  bool ok = false;
  std::string errors;
};
Decoded DecodeWithFfmpeg(const std::string& path, char stream);

// The same through GStreamer's avidemux, which hands out each chunk's bytes
// as stored: bottom-up frames keep their row fill.
Decoded DemuxWithGstreamer(const std::string& path, char stream);

// One value from mediainfo, asked with its --Inform template, trimmed.
std::string MediaInfo(const std::string& path, const std::string& inform);

}  // namespace porute_test
