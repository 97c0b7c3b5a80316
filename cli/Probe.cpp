#include "cli/Probe.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "avifile/AviSize.h"
#include "cli/FailureText.h"
#include "cli/Gettext.h"
#include "cli/ShownText.h"
#include "v02dec/ChunkWalk.h"
#include "v02dec/V02Decode.h"

namespace {

// Why the decoder's last Open or ReadChunk failed, in English, as the
// decoder words it; from the result code when it gives no cause.
std::string Cause(const V02Decode& decoder, MovieResult result) {
  if (decoder.LastFailure().kind != FailureKind::kNone) return FailureText(decoder.LastFailure());
  switch (result) {
    case kMovieOk:
      return {};
    case kMovieUnsupported:
      return _("not a VD02 or VD00 movie, or its header is refused");
    case kMovieNoMemory:
      return _("the movie needs more memory than can be had");
    case kMovieReadError:
    default:
      return _("the file cannot be read");
  }
}

std::string Decimal(double value) {
  char text[400];
  // Shortest exact form, without an exponent: 500000, not 5e+05.
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, end.ptr);
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

double FramesPerSecond(const MovieInfo& info) {
  return info.scale == 0 ? 0.0 : double(info.rate) / double(info.scale);
}

double Seconds(const MovieInfo& info) {
  return info.rate == 0 ? 0.0 : double(info.frameCount) * double(info.scale) / double(info.rate);
}

// H:MM:SS.mmm, the duration as players show it.
std::string Clock(double seconds) {
  const auto millis = static_cast<unsigned long long>(std::llround(seconds * 1000.0));
  char text[64];
  std::snprintf(text, sizeof text, "%llu:%02llu:%02llu.%03llu", millis / 3600000,
                millis / 60000 % 60, millis / 1000 % 60, millis % 1000);
  return text;
}

// Standard output for the reports. The first failed write or flush is
// kept, with its error, for the one message at the end.
class Report {
 public:
  explicit Report(FILE* out) : out_(out) {}
  void Put(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) Failed();
  }
  void Flush() {
    if (std::fflush(out_) != 0) Failed();
  }
  // The exit status: `status`, or 1 with a message when the report was not
  // all written.
  int End(FILE* err, int status) {
    Flush();
    if (!failed_) return status;
    std::fprintf(err, "porute2avi: %s: %s\n", _("cannot write the report"),
                 std::strerror(error_ != 0 ? error_ : EIO));
    return 1;
  }

 private:
  void Failed() {
    if (!failed_) error_ = errno;
    failed_ = true;
  }
  FILE* out_;
  bool failed_ = false;
  int error_ = 0;
};

std::string Format1(const char* format, const std::string& value) {
  char text[256];
  const int n = std::snprintf(text, sizeof text, format, value.c_str());
  return std::string(text, n <= 0 ? 0 : std::min(static_cast<size_t>(n), sizeof text - 1));
}

// What the chosen writer says of the movie: empty when it takes it.
std::string WriterRefusal(const MovieInfo& info, const ProbeSettings& settings) {
  if (!settings.refusal) return {};
  MovieParameters movie;
  movie.frameCount = info.frameCount;
  movie.framesPerChunk = info.framesPerChunk;
  movie.rate = info.rate;
  movie.scale = info.scale;
  movie.width = info.width;
  movie.height = info.height;
  movie.soundRate = info.soundRate;
  movie.soundBlockBytes = info.soundBlockBytes;
  const std::string refusal = settings.refusal(movie);
  // The writers word their refusals in English; the catalogue has them.
  return refusal.empty() ? refusal : std::string(gettext(refusal.c_str()));
}

}  // namespace

bool ReadMovieInfo(V02Decode& decoder, const std::string& path, const ProbeSettings& settings,
                   MovieInfo& info, std::string& cause) {
  info = MovieInfo{};
  info.path = path;
  // Only the header is wanted: no worker to decode a chunk ahead.
  decoder.SetReadAhead(false);
  const MovieResult result = decoder.Open(path);
  if (result != kMovieOk) {
    cause = Cause(decoder, result);
    decoder.Close();
    return false;
  }
  info.vd00 = decoder.IsV00();
  info.companion = decoder.HasCompanion();
  const MovieParameters& movie = decoder.Parameters();
  info.width = movie.width;
  info.height = movie.height;
  info.frameCount = movie.frameCount;
  info.rate = movie.rate;
  info.scale = movie.scale;
  info.framesPerChunk = movie.framesPerChunk;
  info.soundRate = movie.soundRate;
  info.soundBlockBytes = movie.soundBlockBytes;
  decoder.Close();
  info.refusal = WriterRefusal(info, settings);
  if (!info.refusal.empty()) {
    cause = Format1(_("cannot be converted to %s"), settings.format) + ": " + info.refusal;
    return false;
  }
  if (settings.format == "avi") {
    AviShape shape;
    shape.frameCount = info.frameCount;
    shape.framesPerChunk = info.framesPerChunk;
    shape.frameBytes = AviFrameBytes(info.width, info.height);
    shape.soundBlockBytes = info.soundBlockBytes;
    info.aviBytes = PredictAviBytes(shape, settings.riffLimit);
    if (!info.aviBytes) {
      cause = Format1(_("cannot be converted to %s"), settings.format) + ": " +
              _("more data than the AVI file's RIFF lists can take");
      return false;
    }
  }
  return true;
}

std::string InfoText(const MovieInfo& info) {
  std::string text = ShownText(info.path) + "\n";
  auto line = [&text](const char* label, const std::string& value) {
    text += "  ";
    text += label;
    text += ": ";
    text += value;
    text += '\n';
  };
  line(_("format"), info.vd00 ? "VD00" : "VD02");
  line(_("size"), std::to_string(info.width) + " × " + std::to_string(info.height));
  line(_("frames"), std::to_string(info.frameCount));
  line(_("frame rate"), std::to_string(info.rate) + "/" + std::to_string(info.scale) + " = " +
                            Fixed(FramesPerSecond(info), 6) + " " + _("frames per second"));
  line(_("duration"),
       Fixed(Seconds(info), 3) + " " + _("seconds") + " (" + Clock(Seconds(info)) + ")");
  line(_("frames per chunk"), std::to_string(info.framesPerChunk));
  line(_("sound rate"), std::to_string(info.soundRate) + " Hz");
  line(_("companion"), !info.vd00       ? _("not used by VD02")
                       : info.companion ? _("found")
                                        : _("none, the movie is silent"));
  if (info.aviBytes) line(_("AVI size"), std::to_string(*info.aviBytes) + " " + _("bytes"));
  return text;
}

std::string InfoJson(const std::vector<InfoEntry>& entries) {
  std::string text = "[";
  for (size_t i = 0; i < entries.size(); ++i) {
    const MovieInfo& info = entries[i].info;
    text += i == 0 ? "\n  {" : ",\n  {";
    text += JsonNameMembers("file", info.path);
    if (!entries[i].failure.empty()) {
      text += ", \"error\": " + JsonString(entries[i].failure) + "}";
      continue;
    }
    auto field = [&text](const char* name, const std::string& value) {
      text += ", \"";
      text += name;
      text += "\": ";
      text += value;
    };
    field("format", info.vd00 ? "\"VD00\"" : "\"VD02\"");
    field("width", std::to_string(info.width));
    field("height", std::to_string(info.height));
    field("frames", std::to_string(info.frameCount));
    field("rate", std::to_string(info.rate));
    field("scale", std::to_string(info.scale));
    field("fps", Decimal(FramesPerSecond(info)));
    field("duration", Decimal(Seconds(info)));
    field("frames_per_chunk", std::to_string(info.framesPerChunk));
    field("sound_rate", std::to_string(info.soundRate));
    field("companion", !info.vd00 ? "null" : info.companion ? "true" : "false");
    if (info.aviBytes) field("avi_bytes", std::to_string(*info.aviBytes));
    text += "}";
  }
  text += entries.empty() ? "]\n" : "\n]\n";
  return text;
}

std::string CheckMovie(V02Decode& decoder, const std::string& path,
                       const ProbeSettings& settings) {
  const MovieResult opened = decoder.Open(path);
  if (opened != kMovieOk) {
    const std::string cause = Cause(decoder, opened);
    decoder.Close();
    return std::string(_("does not open")) + ": " + cause;
  }
  const std::string refusal = settings.refusal ? settings.refusal(decoder.Parameters()) : "";
  if (!refusal.empty()) {
    decoder.Close();
    return Format1(_("cannot be converted to %s"), settings.format) + ": " + gettext(refusal.c_str());
  }
  std::string failure;
  ChunkWalk walk(decoder);
  while (!walk.Done()) {
    const MovieResult result = walk.Next();
    if (walk.Stalled()) {
      failure = std::string(_("damaged")) + ": " + _("chunk") + " " +
                std::to_string(uint64_t{walk.Chunk()} + 1) + ": " + _("no frame decoded");
      break;
    }
    if (result != kMovieOk) {
      // A file that ends early is as damaged as one with data no movie
      // holds; a read the system refused is another matter.
      const MovieFailure& cause = decoder.LastFailure();
      const bool refused = cause.kind == FailureKind::kReadFailed && cause.sysErrno != 0;
      failure = std::string(refused ? _("read failed") : _("damaged")) + ": ";
      // The decoder names the chunk and frame where it can; else a VD02
      // chunk fails as a whole, and a VD00 one after the frames it read.
      if (!cause.inChunk) {
        const uint64_t frame = uint64_t{walk.FirstFrame()} + walk.Frames();
        failure += std::string(_("chunk")) + " " + std::to_string(uint64_t{walk.Chunk()} + 1) +
                   ", " + _("frame") + " " + std::to_string(frame + 1) + ": ";
      }
      failure += Cause(decoder, result);
      break;
    }
  }
  decoder.Close();
  return failure;
}

int RunInfo(const std::vector<std::string>& files, const ProbeSettings& settings, FILE* out,
            FILE* err) {
  const bool json = settings.json;
  V02Decode decoder;
  Report report(out);
  std::vector<InfoEntry> entries;
  int status = 0;
  bool first = true;
  for (const std::string& path : files) {
    InfoEntry entry;
    if (!ReadMovieInfo(decoder, path, settings, entry.info, entry.failure)) {
      std::fprintf(err, "porute2avi: %s: %s\n", ShownText(path).c_str(), entry.failure.c_str());
      status = 1;
    } else if (!json) {
      if (!first) report.Put("\n");
      report.Put(InfoText(entry.info));
      first = false;
    }
    if (json) entries.push_back(std::move(entry));
  }
  if (json) report.Put(InfoJson(entries));
  return report.End(err, status);
}

int RunCheck(const std::vector<std::string>& files, const ProbeSettings& settings, FILE* out,
             FILE* err) {
  V02Decode decoder;
  Report report(out);
  int status = 0;
  for (const std::string& path : files) {
    const std::string failure = CheckMovie(decoder, path, settings);
    if (!failure.empty()) status = 1;
    report.Put(ShownText(path) + ": " + (failure.empty() ? std::string("ok") : failure) + "\n");
    // Each verdict is seen as soon as it is known, not after the last movie.
    report.Flush();
  }
  return report.End(err, status);
}
