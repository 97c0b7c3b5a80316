#include "tools/moviewriter/MovieMaker.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "tools/moviewriter/ColourTable.h"
#include "tools/moviewriter/Content.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace moviewriter {

namespace {

using Sink = std::function<bool(std::span<const uint8_t>)>;

Bytes SoundFor(double toneHz, uint32_t rate, size_t count, uint64_t firstSample) {
  if (toneHz <= 0) return Bytes(count, 0x80);
  return ToneBytes(toneHz, rate, count, 96, firstSample);
}

// Appends to a file; remembers the first failure.
class FileSink {
 public:
  explicit FileSink(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}
  ~FileSink() {
    if (file_ != nullptr) std::fclose(file_);
  }
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  bool Write(std::span<const uint8_t> bytes) {
    if (file_ == nullptr) return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
      failed_ = true;
    }
    return !failed_;
  }
  // A full disk may only show at the final flush.
  bool Close() {
    if (file_ == nullptr) return false;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return closed && !failed_;
  }
  Sink AsSink() {
    return [this](std::span<const uint8_t> bytes) { return Write(bytes); };
  }

 private:
  std::FILE* file_;
  bool failed_ = false;
};

Sink AppendTo(Bytes& out) {
  return [&out](std::span<const uint8_t> bytes) {
    PutBytes(out, bytes);
    return true;
  };
}

bool CanMake(const V02MovieOptions& options) {
  return options.width >= 8 && options.height >= 8 && options.width % 8 == 0 &&
         options.height % 2 == 0;
}

bool CanMake(const V00MovieOptions& options) {
  return options.width >= 8 && options.height >= 8 && options.scale <= 60;
}

int EmitV02(const V02MovieOptions& options, const Sink& sink) {
  if (!CanMake(options)) return 2;
  const V02Header header = HeaderFor(options);
  const V02Params params = EffectiveParams(header);
  if (!sink(header.ToBytes())) return 1;
  if (options.frames == 0) return 0;

  const ColourTable colours =
      options.colours == ColourKind::kYuv ? YuvColourTable() : RandomColourTable(options.seed);
  if (!sink(colours.bytes)) return 1;

  const FrameGeometry geometry{options.width, options.height};
  FrameEncoder encoder(geometry, options.strategy);
  const Scene scene(options.width, options.height, options.seed);
  Bytes previous(geometry.PlaneSize(), 0);  // a reader starts from all zeros
  Bytes desired;
  std::vector<Motion> motions;
  V02Chunk chunk;
  uint32_t frame = 0;
  uint64_t chunkIndex = 0;
  while (frame < options.frames) {
    chunk.video.clear();
    const uint32_t inChunk = std::min(params.framesPerChunk, options.frames - frame);
    for (uint32_t slot = 0; slot < inChunk; ++slot, ++frame) {
      motions.clear();
      switch (options.content) {
        case ContentKind::kScene:
          scene.RenderWorkingFrame(frame, desired);
          motions = scene.Motions(frame);
          break;
        case ContentKind::kRandom:
          desired = RandomWorkingFrame(geometry, options.seed + frame);
          break;
        case ContentKind::kScramble:
          if (frame == 0) {
            desired = RandomWorkingFrame(geometry, options.seed);
          } else {
            desired = previous;
            ScrambleWorkingFrame(geometry, options.seed + frame, desired);
          }
          break;
        case ContentKind::kStill:
          if (frame == 0) scene.RenderWorkingFrame(0, desired);
          else desired = previous;
          break;
      }
      encoder.Encode(previous, desired, motions).AppendTo(chunk.video);
      previous.swap(desired);
    }
    chunk.sound = SoundFor(options.toneHz, params.soundRate, params.soundBytesPerChunk,
                           chunkIndex * params.soundBytesPerChunk);
    Bytes stored;
    chunk.AppendTo(stored);
    if (!sink(stored)) return 1;
    ++chunkIndex;
  }
  return 0;
}

int EmitV00(const V00MovieOptions& options, const Sink& movieSink, const Sink& soundSink) {
  const uint32_t scale = options.scale == 0 ? 6 : options.scale;
  if (!CanMake(options)) return 2;
  V00Header header;
  header.frameCount = options.frames;
  header.width = options.width;
  header.height = options.height;
  header.scale = options.scale;
  if (!movieSink(header.ToBytes())) return 1;

  const uint16_t rateCode = RateCodeFor(options.soundRate);
  const uint32_t rate = RateFromCode(rateCode);
  const uint32_t soundBytesPerChunk = V00SoundBytesPerChunk(rate, scale);
  if (options.withSound && !soundSink(BuildSnd(rateCode, {}))) return 1;

  const Scene scene(options.width, options.height, options.seed);
  PixelFrame pixels;
  Bytes stored;
  for (uint32_t frame = 0; frame < options.frames; ++frame) {
    switch (options.content) {
      case ContentKind::kScene: scene.RenderPixels(frame, pixels); break;
      case ContentKind::kStill: scene.RenderPixels(0, pixels); break;
      case ContentKind::kRandom:
      case ContentKind::kScramble: {
        const Bytes noise = RandomBytes(size_t{options.width} * options.height * 2, options.seed + frame);
        pixels.resize(size_t{options.width} * options.height);
        for (size_t i = 0; i < pixels.size(); ++i) {
          pixels[i] = static_cast<uint16_t>(noise[2 * i] | noise[2 * i + 1] << 8);
        }
        break;
      }
    }
    stored.clear();
    AppendPixelFrame(stored, pixels);
    if (!movieSink(stored)) return 1;
    // Each chunk of eight frames has its sound bytes in the companion.
    if (options.withSound && (frame % 8 == 7 || frame + 1 == options.frames)) {
      const uint64_t chunkIndex = frame / 8;
      if (!soundSink(SoundFor(options.toneHz, rate, soundBytesPerChunk,
                              chunkIndex * soundBytesPerChunk))) {
        return 1;
      }
    }
  }
  return 0;
}

}  // namespace

V02Header HeaderFor(const V02MovieOptions& options) {
  V02Header header;
  header.frameCount = options.frames;
  header.version = options.version;
  header.width = options.width;
  header.height = options.height;
  header.scale = options.scale;
  header.framesPerChunk = options.framesPerChunk;
  header.soundRate = options.soundRate;
  if (options.soundBytesPerChunk) {
    header.soundBytesPerChunk = *options.soundBytesPerChunk;
  } else {
    V02Params params = EffectiveParams(header);
    const uint64_t playing =
        uint64_t{params.soundRate} * params.framesPerChunk * params.scale / kFrameClockRate;
    header.soundBytesPerChunk = static_cast<uint32_t>(std::clamp<uint64_t>(playing, 1, UINT32_MAX));
  }
  return header;
}

int WriteV02Movie(const std::string& path, const V02MovieOptions& options) {
  if (!CanMake(options)) return 2;
  FileSink file(path);
  const int result = EmitV02(options, file.AsSink());
  const bool closed = file.Close();
  if (result != 0) return result;
  return closed ? 0 : 1;
}

int WriteV00Movie(const std::string& path, const V00MovieOptions& options) {
  if (!CanMake(options)) return 2;
  FileSink movie(path);
  if (!options.withSound) {
    const int result = EmitV00(options, movie.AsSink(), [](std::span<const uint8_t>) { return true; });
    const bool closed = movie.Close();
    return result != 0 ? result : (closed ? 0 : 1);
  }
  FileSink sound(CompanionPath(path));
  const int result = EmitV00(options, movie.AsSink(), sound.AsSink());
  const bool movieClosed = movie.Close();
  const bool soundClosed = sound.Close();
  if (result != 0) return result;
  return movieClosed && soundClosed ? 0 : 1;
}

int MakeV02Movie(const V02MovieOptions& options, Bytes& movie) {
  movie.clear();
  return EmitV02(options, AppendTo(movie));
}

int MakeV00Movie(const V00MovieOptions& options, Bytes& movie, Bytes& companion) {
  movie.clear();
  companion.clear();
  return EmitV00(options, AppendTo(movie), AppendTo(companion));
}

}  // namespace moviewriter
