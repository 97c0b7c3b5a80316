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

// One CopyBytes op over the span from the first to the last changed byte,
// or no op at all for an unchanged frame.
OpList LiteralOpList(const Bytes& previous, const Bytes& desired) {
  OpList list;
  size_t first = 0;
  while (first < desired.size() && desired[first] == previous[first]) ++first;
  if (first == desired.size()) return list;
  size_t end = desired.size();
  while (desired[end - 1] == previous[end - 1]) --end;
  list.Add(CopyBytesOp({CopyRun(static_cast<uint32_t>(first),
                                Bytes(desired.begin() + static_cast<std::ptrdiff_t>(first),
                                      desired.begin() + static_cast<std::ptrdiff_t>(end)))}));
  return list;
}

// The op lists of one chunk's frames, each taking the working frame from the
// one before. With `shortest`, a frame whose op list would be longer than a
// plain copy of its changed bytes is stored as that copy instead.
void EncodeChunk(FrameEncoder& encoder, const Bytes& chunkStart,
                 const std::vector<Bytes>& desiredFrames,
                 const std::vector<std::vector<Motion>>& motions, uint32_t frames,
                 bool shortest, Bytes& video) {
  video.clear();
  const Bytes* previous = &chunkStart;
  for (uint32_t slot = 0; slot < frames; ++slot) {
    const Bytes& desired = desiredFrames[slot];
    Bytes encoded;
    encoder.Encode(*previous, desired, motions[slot]).AppendTo(encoded);
    if (shortest) {
      Bytes literal;
      LiteralOpList(*previous, desired).AppendTo(literal);
      if (literal.size() < encoded.size()) encoded.swap(literal);
    }
    PutBytes(video, encoded);
    previous = &desired;
  }
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
  Bytes chunkStart;
  std::vector<Bytes> desiredFrames(params.framesPerChunk);
  std::vector<std::vector<Motion>> motions(params.framesPerChunk);
  V02Chunk chunk;
  uint32_t frame = 0;
  uint64_t chunkIndex = 0;
  while (frame < options.frames) {
    const uint32_t inChunk = std::min(params.framesPerChunk, options.frames - frame);
    chunkStart = previous;
    for (uint32_t slot = 0; slot < inChunk; ++slot, ++frame) {
      Bytes& desired = desiredFrames[slot];
      motions[slot].clear();
      switch (options.content) {
        case ContentKind::kScene:
          scene.RenderWorkingFrame(frame, desired);
          motions[slot] = scene.Motions(frame);
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
      previous = desired;
    }
    chunk.sound = SoundFor(options.toneHz, params.soundRate, params.soundBytesPerChunk,
                           chunkIndex * params.soundBytesPerChunk);
    // A reader refuses a chunk larger than its chunk buffer, which is sized
    // for (frames per chunk + 2) planes. Small frames with busy content can
    // make the chosen strategy's op lists longer than that; such a chunk is
    // encoded again with each frame's shorter form, and a chunk that still
    // does not fit cannot be made.
    const uint64_t videoRoom = params.MaxChunkSizeField() - chunk.sound.size();
    EncodeChunk(encoder, chunkStart, desiredFrames, motions, inChunk, false, chunk.video);
    if (chunk.video.size() > videoRoom) {
      EncodeChunk(encoder, chunkStart, desiredFrames, motions, inChunk, true, chunk.video);
      if (chunk.video.size() > videoRoom) return 2;
    }
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
  // A movie that could not be made whole is not left behind half written.
  if (result != 0) std::remove(path.c_str());
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
