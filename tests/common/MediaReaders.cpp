#include "tests/common/MediaReaders.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/batch/TestSupport.h"

namespace porute_test {

namespace {

std::string Unquote(std::string value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

int ToInt(const std::string& text) { return std::atoi(text.c_str()); }

// ffprobe writes "N/A" for what it does not know.
int64_t ToCount(const std::string& text) {
  return text.empty() || text == "N/A" ? -1 : std::atoll(text.c_str());
}

double ToDouble(const std::string& text, double fallback) {
  if (text.empty() || text == "N/A") return fallback;
  return std::atof(text.c_str());
}

}  // namespace

std::string Probe::Stream(size_t index, const std::string& key) const {
  const auto found = fields.find("streams.stream." + std::to_string(index) + "." + key);
  return found == fields.end() ? std::string() : found->second;
}

std::string Probe::Format(const std::string& key) const {
  const auto found = fields.find("format." + key);
  return found == fields.end() ? std::string() : found->second;
}

Probe ProbeFile(const std::string& path) {
  Probe probe;
  const RunResult run = Run({"ffprobe", "-v", "error", "-count_frames", "-show_streams",
                             "-show_format", "-of", "flat", path});
  if (run.exitCode != 0) {
    probe.error = run.err;
    return probe;
  }
  std::istringstream lines(run.out);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    probe.fields[line.substr(0, eq)] = Unquote(line.substr(eq + 1));
  }
  probe.formatName = probe.Format("format_name");
  probe.duration = ToDouble(probe.Format("duration"), -1);
  for (size_t i = 0; probe.fields.count("streams.stream." + std::to_string(i) + ".index"); ++i) {
    const auto field = [&](const char* key) { return probe.Stream(i, key); };
    ProbedStream s;
    s.codecType = field("codec_type");
    s.codecName = field("codec_name");
    s.codecTag = field("codec_tag_string");
    s.width = ToInt(field("width"));
    s.height = ToInt(field("height"));
    s.pixFmt = field("pix_fmt");
    s.frameRate = field("r_frame_rate");
    s.sampleRate = ToInt(field("sample_rate"));
    s.channels = ToInt(field("channels"));
    s.bitsPerSample = ToInt(field("bits_per_sample"));
    s.readFrames = ToCount(field("nb_read_frames"));
    s.headerFrames = ToCount(field("nb_frames"));
    s.duration = ToDouble(field("duration"), -1);
    probe.streams.push_back(s);
  }
  probe.ok = true;
  return probe;
}

int64_t FramesRead(const std::string& path, bool strict, std::string* complaint) {
  const RunResult run =
      Run({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
           "stream=nb_read_frames", "-of", "csv=p=0", path});
  if (complaint != nullptr) *complaint = run.err;
  if (run.exitCode != 0 || (strict && !run.err.empty())) return -1;
  // "N/A" when there is no frame at all.
  return std::strtoll(run.out.c_str(), nullptr, 10);
}

Decoded DecodeWithFfmpeg(const std::string& path, char stream) {
  std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i", path};
  if (stream == 'v') {
    argv.insert(argv.end(), {"-map", "0:v:0", "-fps_mode", "passthrough", "-f", "rawvideo",
                             "-pix_fmt", "bgr24", "-"});
  } else {
    argv.insert(argv.end(), {"-map", "0:a:0", "-f", "s16le", "-acodec", "pcm_s16le", "-"});
  }
  const RunResult run = Run(argv);
  Decoded decoded;
  decoded.data.assign(run.out.begin(), run.out.end());
  decoded.errors = run.err;
  decoded.ok = run.exitCode == 0 && decoded.errors.empty();
  return decoded;
}

Decoded DemuxWithGstreamer(const std::string& path, char stream) {
  const std::string out = path + (stream == 'v' ? ".gst.v" : ".gst.a");
  const RunResult run =
      Run({"gst-launch-1.0", "-q", "filesrc", "location=" + path, "!", "avidemux", "name=d",
           stream == 'v' ? "d.video_0" : "d.audio_0", "!", "filesink", "location=" + out});
  Decoded decoded;
  decoded.errors = run.out + run.err;
  const std::string data = ReadText(out);
  decoded.data.assign(data.begin(), data.end());
  std::remove(out.c_str());
  decoded.ok = run.exitCode == 0;
  return decoded;
}

std::string MediaInfo(const std::string& path, const std::string& inform) {
  const RunResult run = Run({"mediainfo", "--Inform=" + inform, path});
  if (run.exitCode != 0) return {};
  std::string text = run.out;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace porute_test
