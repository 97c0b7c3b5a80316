#include "cli/Probe.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "cli/AviSize.h"
#include "cli/Gettext.h"
#include "v02dec/V02Decode.h"

namespace {

// Why the decoder's last Open or ReadChunk failed, in English, as the
// decoder words it; from the result code when it gives no cause.
std::string Cause(const V02Decode& decoder, MovieResult result) {
  if (decoder.LastFailure().kind != FailureKind::kNone) return DescribeFailure(decoder.LastFailure());
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

// A JSON string of bytes that should be UTF-8. A byte that does not begin a
// valid UTF-8 sequence becomes U+FFFD, so that the document stays valid.
std::string JsonString(const std::string& bytes) {
  std::string out = "\"";
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
      if (c > 0xF4) length = 0;
      bool valid = length != 0 && i + length <= n;
      for (size_t k = 1; valid && k < length; ++k) valid = (s[i + k] & 0xC0) == 0x80;
      // Overlong forms, surrogates and values above U+10FFFF are not UTF-8.
      if (valid && length == 3) {
        valid = !(c == 0xE0 && s[i + 1] < 0xA0) && !(c == 0xED && s[i + 1] >= 0xA0);
      }
      if (valid && length == 4) {
        valid = !(c == 0xF0 && s[i + 1] < 0x90) && !(c == 0xF4 && s[i + 1] >= 0x90);
      }
      if (valid) {
        out.append(bytes, i, length);
        i += length;
      } else {
        out += "\xEF\xBF\xBD";
        ++i;
      }
    }
  }
  out += '"';
  return out;
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

}  // namespace

bool ReadMovieInfo(V02Decode& decoder, const std::string& path, uint64_t riffLimit,
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
  info.width = decoder.Parameters().width;
  info.height = decoder.Parameters().height;
  info.frameCount = decoder.Parameters().frameCount;
  info.rate = decoder.Parameters().rate;
  info.scale = decoder.Parameters().scale;
  info.framesPerChunk = decoder.Parameters().framesPerChunk;
  info.soundRate = decoder.Parameters().soundRate;
  AviShape shape;
  shape.frameCount = decoder.Parameters().frameCount;
  shape.framesPerChunk = decoder.Parameters().framesPerChunk;
  shape.frameBytes = AviFrameBytes(decoder.Parameters().width, decoder.Parameters().height);
  shape.soundBlockBytes = decoder.Parameters().soundBlockBytes;
  info.aviBytes = PredictAviBytes(shape, riffLimit);
  decoder.Close();
  return true;
}

std::string InfoText(const MovieInfo& info) {
  std::string text = info.path + "\n";
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
  line(_("AVI size"), info.aviBytes ? std::to_string(*info.aviBytes) + " " + _("bytes")
                                    : std::string(_("too large for an AVI file")));
  return text;
}

std::string InfoJson(const std::vector<InfoEntry>& entries) {
  std::string text = "[";
  for (size_t i = 0; i < entries.size(); ++i) {
    const MovieInfo& info = entries[i].info;
    text += i == 0 ? "\n  {" : ",\n  {";
    text += "\"file\": " + JsonString(info.path);
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
    field("avi_bytes", info.aviBytes ? std::to_string(*info.aviBytes) : "null");
    text += "}";
  }
  text += entries.empty() ? "]\n" : "\n]\n";
  return text;
}

std::string CheckMovie(V02Decode& decoder, const std::string& path) {
  const MovieResult opened = decoder.Open(path);
  if (opened != kMovieOk) {
    const std::string cause = Cause(decoder, opened);
    decoder.Close();
    return std::string(_("does not open")) + ": " + cause;
  }
  const uint32_t frames = decoder.Parameters().frameCount;
  uint32_t chunk = 0;
  std::string failure;
  while (decoder.FramesRemaining() != 0) {
    const uint32_t before = decoder.FramesRemaining();
    const MovieResult result = decoder.ReadChunk();
    if (result != kMovieOk) {
      // A file that ends early is as damaged as one with data no movie
      // holds; a read the system refused is another matter.
      const MovieFailure& cause = decoder.LastFailure();
      const bool refused = cause.kind == FailureKind::kReadFailed && cause.sysErrno != 0;
      failure = std::string(refused ? _("read failed") : _("damaged")) + ": ";
      // The decoder names the chunk and frame where it can; else a VD02
      // chunk fails as a whole, and a VD00 one after the frames it read.
      if (!cause.inChunk) {
        const uint32_t frame = frames - decoder.FramesRemaining();
        failure += std::string(_("chunk")) + " " + std::to_string(chunk + 1) + ", " + _("frame") +
                   " " + std::to_string(uint64_t{frame} + 1) + ": ";
      }
      failure += Cause(decoder, result);
      break;
    }
    // A decoder that delivers nothing would keep this loop going forever.
    if (decoder.FramesRemaining() >= before) {
      failure = std::string(_("damaged")) + ": " + _("chunk") + " " + std::to_string(chunk + 1) +
                ": " + _("no frame decoded");
      break;
    }
    ++chunk;
  }
  decoder.Close();
  return failure;
}

int RunInfo(const std::vector<std::string>& files, bool json, uint64_t riffLimit, FILE* out,
            FILE* err) {
  V02Decode decoder;
  Report report(out);
  std::vector<InfoEntry> entries;
  int status = 0;
  bool first = true;
  for (const std::string& path : files) {
    InfoEntry entry;
    if (!ReadMovieInfo(decoder, path, riffLimit, entry.info, entry.failure)) {
      std::fprintf(err, "porute2avi: %s: %s\n", path.c_str(), entry.failure.c_str());
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

int RunCheck(const std::vector<std::string>& files, FILE* out, FILE* err) {
  V02Decode decoder;
  Report report(out);
  int status = 0;
  for (const std::string& path : files) {
    const std::string failure = CheckMovie(decoder, path);
    if (!failure.empty()) status = 1;
    report.Put(path + ": " + (failure.empty() ? std::string("ok") : failure) + "\n");
    // Each verdict is seen as soon as it is known, not after the last movie.
    report.Flush();
  }
  return report.End(err, status);
}
