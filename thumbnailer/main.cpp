// henkan-porute-thumbnailer -s SIZE INPUT OUTPUT
//
// The file managers' thumbnailer for VD02 and VD00 movies: writes a PNG of a
// frame a little way into the movie, its longer side SIZE pixels. The PNG
// appears under OUTPUT whole or not at all.

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "batch/PathNames.h"
#include "platform/FileAccess.h"
#include "platform/Files.h"
#include "v02dec/ChunkWalk.h"
#include "v02dec/V02Decode.h"

namespace {

constexpr int kDefaultSize = 128;
constexpr int kMaxSize = 4096;

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // top row first, 3 bytes a pixel, no fill
};

int Usage(const char* problem) {
  if (problem != nullptr) std::fprintf(stderr, "henkan-porute-thumbnailer: %s\n", problem);
  std::fprintf(problem != nullptr ? stderr : stdout,
               "Usage: henkan-porute-thumbnailer [-s SIZE] INPUT OUTPUT\n"
               "Writes OUTPUT, a PNG of a frame of the VD02 or VD00 movie INPUT whose longer\n"
               "side is SIZE pixels (%d when not given).\n",
               kDefaultSize);
  return problem != nullptr ? 2 : 0;
}

// The first frames of a movie are often black (a fade in): the picture is
// taken a tenth of the way in, but at least a second (when the movie is that
// long) and at most five seconds in, so that a long VD02 movie, decoded from
// its start, is not decoded for long.
uint32_t ChosenFrame(const V02Decode& decoder) {
  const MovieParameters& movie = decoder.Parameters();
  const uint64_t second = std::max<uint64_t>(1, movie.rate / std::max<uint32_t>(1, movie.scale));
  const uint64_t wanted = std::clamp<uint64_t>(movie.frameCount / 10, second, 5 * second);
  return static_cast<uint32_t>(std::min<uint64_t>(wanted, movie.frameCount - 1));
}

bool OpenMovie(V02Decode& decoder, const std::string& path) {
  // By content, not by name, as file managers match the types.
  MovieResult result = decoder.OpenV02(path);
  if (result == kMovieUnsupported && decoder.LastFailure().test == FailureTest::kMagic) {
    result = decoder.OpenV00(path);
  }
  return result == kMovieOk;
}

bool TakeFrame(const std::string& path, Picture& picture) {
  V02Decode decoder;
  // One frame is wanted: nothing to gain from a second thread.
  decoder.SetReadAhead(false);
  if (!OpenMovie(decoder, path)) {
    std::fprintf(stderr, "henkan-porute-thumbnailer: %s: %s\n", path.c_str(),
                 DescribeFailure(decoder.LastFailure()).c_str());
    return false;
  }
  if (decoder.Parameters().frameCount == 0) {
    std::fprintf(stderr, "henkan-porute-thumbnailer: %s: the movie has no frames\n", path.c_str());
    return false;
  }
  const uint32_t target = ChosenFrame(decoder);
  ChunkWalk walk(decoder);
  for (;;) {
    const MovieResult result = walk.Next();
    if (target - walk.FirstFrame() < walk.Frames()) {
      const TBitmap& bitmap = *decoder.frameBitmaps[target - walk.FirstFrame()];
      picture.width = bitmap.Width();
      picture.height = bitmap.Height();
      picture.rgb.resize(size_t{3} * picture.width * picture.height);
      uint8_t* out = picture.rgb.data();
      for (int y = 0; y < bitmap.Height(); ++y) {
        const uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x, out += 3, row += 3) {
          out[0] = row[2];
          out[1] = row[1];
          out[2] = row[0];
        }
      }
      return true;
    }
    if (result != kMovieOk || walk.Done()) {
      std::fprintf(stderr, "henkan-porute-thumbnailer: %s: %s\n", path.c_str(),
                   DescribeFailure(decoder.LastFailure()).c_str());
      return false;
    }
  }
}

// Resamples along rows by area: every output pixel is the mean of the input
// pixels it covers, each weighted by how much of it is covered. Shrinking
// averages, growing repeats; equal sizes copy. `in` holds `lines` rows of
// `from` pixels of 3 bytes.
std::vector<uint8_t> ResampleRows(const std::vector<uint8_t>& in, int lines, int from, int to) {
  std::vector<uint8_t> out(size_t{3} * lines * to);
  const double ratio = static_cast<double>(from) / to;
  for (int line = 0; line < lines; ++line) {
    const uint8_t* row = in.data() + size_t{3} * line * from;
    uint8_t* target = out.data() + size_t{3} * line * to;
    for (int o = 0; o < to; ++o, target += 3) {
      const double start = o * ratio;
      const double end = start + ratio;
      double sum[3] = {0, 0, 0};
      for (int i = static_cast<int>(start); i < from && i < end; ++i) {
        const double weight = std::min<double>(end, i + 1) - std::max<double>(start, i);
        for (int c = 0; c < 3; ++c) sum[c] += weight * row[3 * i + c];
      }
      for (int c = 0; c < 3; ++c) {
        target[c] = static_cast<uint8_t>(std::clamp(sum[c] / ratio + 0.5, 0.0, 255.0));
      }
    }
  }
  return out;
}

// Swaps rows and columns of a picture of 3-byte pixels.
std::vector<uint8_t> Transposed(const std::vector<uint8_t>& in, int width, int height) {
  std::vector<uint8_t> out(in.size());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::memcpy(&out[(size_t{static_cast<size_t>(x)} * height + y) * 3],
                  &in[(size_t{static_cast<size_t>(y)} * width + x) * 3], 3);
    }
  }
  return out;
}

Picture Scaled(const Picture& picture, int size) {
  const int longer = std::max(picture.width, picture.height);
  Picture out;
  out.width = std::max(1, static_cast<int>(int64_t{picture.width} * size / longer));
  out.height = std::max(1, static_cast<int>(int64_t{picture.height} * size / longer));
  // Along the rows, then (turned) along the columns.
  const std::vector<uint8_t> wide = ResampleRows(picture.rgb, picture.height, picture.width, out.width);
  const std::vector<uint8_t> tall = ResampleRows(Transposed(wide, out.width, picture.height),
                                                 out.width, picture.height, out.height);
  out.rgb = Transposed(tall, out.height, out.width);
  return out;
}

// Where libpng's bytes go: appended to the file, the first failure kept.
struct PngSink {
  platform::FileHandle file = platform::kNoFile;
  uint64_t at = 0;
  int error = 0;
};

void WriteToSink(png_structp png, png_bytep data, png_size_t bytes) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  if (sink->error != 0) return;
  sink->error = platform::WriteAllAt(sink->file, data, bytes, sink->at);
  sink->at += bytes;
}

void FlushSink(png_structp) {}

// libpng reports errors by longjmp: nothing with a destructor lives here.
bool WritePng(PngSink& sink, const Picture& picture, png_bytep* rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &sink, WriteToSink, FlushSink);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
               static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return sink.error == 0;
}

// Under a temporary name of ours in OUTPUT's folder (created exclusively),
// synced, then renamed over OUTPUT: a file manager never sees half a
// picture, and every failure is reported with nothing left behind.
bool SavePng(const Picture& picture, const std::string& output) {
  std::vector<png_bytep> rows(static_cast<size_t>(picture.height));
  for (int y = 0; y < picture.height; ++y) {
    rows[static_cast<size_t>(y)] =
        const_cast<png_bytep>(picture.rgb.data() + size_t{3} * picture.width * y);
  }
  PngSink sink;
  std::string temporary;
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    temporary = TemporaryPath(output, std::to_string(getpid()) + "-" + std::to_string(attempt));
    error = platform::CreateForWriting(temporary, true, sink.file);
  }
  if (error != 0) {
    std::fprintf(stderr, "henkan-porute-thumbnailer: %s: %s\n", output.c_str(), std::strerror(error));
    return false;
  }
  bool written = WritePng(sink, picture, rows.data());
  error = sink.error;
  if (written) error = platform::SyncOpenFile(sink.file);
  const int closeError = platform::CloseFile(sink.file);
  if (error == 0) error = closeError;
  written = written && error == 0;
  if (written) {
    error = platform::ReplaceName(temporary, output);
    written = error == 0;
  }
  if (!written) {
    platform::RemoveName(temporary);
    std::fprintf(stderr, "henkan-porute-thumbnailer: %s: cannot write the picture%s%s\n",
                 output.c_str(), error != 0 ? ": " : "", error != 0 ? std::strerror(error) : "");
  }
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  int size = kDefaultSize;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "-h" || argument == "--help") return Usage(nullptr);
    if (argument == "-s") {
      if (++i == argc) return Usage("-s needs a size");
      char* end = nullptr;
      const long value = std::strtol(argv[i], &end, 10);
      if (*argv[i] == '\0' || *end != '\0' || value < 1 || value > kMaxSize) {
        return Usage("the size must be a number from 1 to 4096");
      }
      size = static_cast<int>(value);
    } else {
      paths.push_back(argument);
    }
  }
  if (paths.size() != 2) return Usage("give one INPUT and one OUTPUT");

  Picture frame;
  if (!TakeFrame(paths[0], frame)) return 1;
  return SavePng(Scaled(frame, size), paths[1]) ? 0 : 1;
}
