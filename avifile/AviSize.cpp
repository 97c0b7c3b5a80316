#include "avifile/AviSize.h"

#include <algorithm>

#include "avifile/AviWriter.h"

// The writer measures its sizes as it writes; this follows its layout in
// arithmetic, with its constants and its reckoning of a RIFF's tail, so that
// a movie's output size is known without writing it. The end-to-end tests
// hold the two together on plain and OpenDML files.
namespace {

using avifile::AviWriter;

// Fixed parts of the header the writer reserves before the first chunk.
constexpr uint64_t kAvihBytes = 56;
constexpr uint64_t kStrhBytes = 56;
constexpr uint64_t kDmlhBytes = AviWriter::kDmlhBytes;
constexpr uint64_t kSuperIndexBytes = AviWriter::kSuperIndexBytes;
constexpr uint64_t kOdmlListBytes = 12 + 8 + kDmlhBytes;
// The encoder's formats: a BITMAPINFOHEADER and a PCMWAVEFORMAT; its stream
// names "Video" and "Audio" take 6 bytes with their terminating zero.
constexpr uint64_t kVideoFormatBytes = 40;
constexpr uint64_t kAudioFormatBytes = 16;
constexpr uint64_t kStreamNameBytes = 6;
// A RIFF 'AVIX' header and its LIST 'movi' header.
constexpr uint64_t kRiffPrefixBytes = 24;
// A stream's sample count and a chunk's size are signed 32-bit numbers.
constexpr uint64_t kMaxCount = 0x7FFFFFFF;

constexpr int kVideo = 0;
constexpr int kAudio = 1;

uint64_t Even(uint64_t bytes) { return bytes + (bytes & 1); }

uint64_t StrlBytes(uint64_t formatBytes) {
  return 12 + 8 + kStrhBytes + 8 + Even(formatBytes) + 8 + Even(kStreamNameBytes) + 8 +
         kSuperIndexBytes;
}

uint64_t DataStart() {
  const uint64_t hdrl = 12 + 12 + 8 + kAvihBytes + StrlBytes(kVideoFormatBytes) +
                        StrlBytes(kAudioFormatBytes) + kOdmlListBytes;
  const uint64_t unit = AviWriter::kChunkAlignment;
  return (hdrl + 8 + 12 + unit - 1) / unit * unit;
}

// The writer's state as far as sizes go, chunk by chunk.
class Layout {
 public:
  explicit Layout(uint64_t riffLimit)
      : limit_(std::clamp<uint64_t>(riffLimit, 1, AviWriter::kHardRiffBytes)),
        dataEnd_(DataStart()) {}

  // Adds one chunk of `bytes` data to a stream; false when the writer would
  // refuse it.
  bool Put(int stream, uint64_t bytes) {
    const uint64_t chunk = 8 + Even(bytes);
    const uint64_t projected = dataEnd_ - riffStart_ + chunk + TailBytes(stream, 0, 0);
    if (projected > limit_ && HasChunks()) {
      if (riffs_ < AviWriter::kSuperIndexEntries) {
        riffStart_ = dataEnd_ + TailBytes(-1, 0, 0);
        dataEnd_ = riffStart_ + kRiffPrefixBytes;
        entries_[kVideo] = entries_[kAudio] = 0;
        ++riffs_;
        openDml_ = true;
      } else if (projected > AviWriter::kHardRiffBytes) {
        return false;
      }
    }
    dataEnd_ += chunk;
    ++entries_[stream];
    return true;
  }

  // Adds `count` whole chunks of the movie, each `frames` frames and a sound
  // block, as far as they go without closing a RIFF; returns how many.
  uint64_t PutWholeChunks(uint64_t count, uint64_t frames, uint64_t frameBytes,
                          uint64_t soundBytes) {
    if (!HasChunks() || count == 0) return 0;
    // The RIFF only grows within one: if the last write of the n-th chunk
    // stays within the limit, so does every write before it.
    const uint64_t limit =
        riffs_ < AviWriter::kSuperIndexEntries ? limit_ : AviWriter::kHardRiffBytes;
    const uint64_t perChunk = frames * (8 + Even(frameBytes)) + 8 + Even(soundBytes);
    const auto sizeAfter = [&](uint64_t n) {
      return dataEnd_ - riffStart_ + n * perChunk + TailBytes(-1, n * frames, n);
    };
    if (sizeAfter(1) > limit) return 0;
    // sizeAfter grows by the same amount per chunk from the first on.
    const uint64_t step = sizeAfter(2) - sizeAfter(1);
    const uint64_t n = std::min(count, 1 + (limit - sizeAfter(1)) / step);
    dataEnd_ += n * perChunk;
    entries_[kVideo] += n * frames;
    entries_[kAudio] += n;
    return n;
  }

  // The file's size once the last RIFF is closed.
  uint64_t Finish() const {
    uint64_t end = dataEnd_;
    const uint64_t chunks = entries_[kVideo] + entries_[kAudio];
    if (openDml_) {
      for (uint64_t n : entries_) {
        if (n != 0) end += 32 + 8 * n;
      }
    }
    if (riffs_ == 1) end += 8 + 16 * chunks;
    return end;
  }

 private:
  bool HasChunks() const { return entries_[kVideo] + entries_[kAudio] != 0; }

  // What closing the current RIFF adds after its chunks, with one chunk more
  // in `extra` (or none) and more video and audio chunks: an ix## per stream
  // that has chunks and, in the first RIFF, the idx1. The writer counts the
  // ix## even while the file may stay a plain AVI file.
  uint64_t TailBytes(int extra, uint64_t moreVideo, uint64_t moreAudio) const {
    const uint64_t n[2] = {entries_[kVideo] + moreVideo + (extra == kVideo ? 1 : 0),
                           entries_[kAudio] + moreAudio + (extra == kAudio ? 1 : 0)};
    return AviWriter::RiffTailBytes(n, 2, riffs_ == 1);
  }

  uint64_t limit_;
  uint32_t riffs_ = 1;
  uint64_t riffStart_ = 0;
  uint64_t dataEnd_;
  uint64_t entries_[2] = {0, 0};  // chunks of each stream in the current RIFF
  bool openDml_ = false;
};

}  // namespace

uint64_t AviFrameBytes(uint32_t width, uint32_t height) {
  return (uint64_t{width} * 24 + 31) / 32 * 4 * height;
}

std::optional<uint64_t> PredictAviBytes(const AviShape& shape, uint64_t riffLimit) {
  if (shape.frameCount == 0) return Layout(riffLimit).Finish();
  if (shape.framesPerChunk == 0) return std::nullopt;
  const uint64_t frames = shape.frameCount;
  const uint64_t perChunk = shape.framesPerChunk;
  const uint64_t chunks = (frames + perChunk - 1) / perChunk;
  if (frames > kMaxCount || shape.frameBytes > kMaxCount || shape.soundBlockBytes > kMaxCount ||
      chunks * (shape.soundBlockBytes / 2) > kMaxCount) {
    return std::nullopt;
  }
  Layout layout(riffLimit);
  uint64_t done = 0;
  while (done < chunks) {
    // Whole chunks in bulk while no RIFF closes; the chunk that closes one,
    // and the last (which may be short), one write at a time.
    const uint64_t whole = chunks - 1 - done;
    done += layout.PutWholeChunks(whole, perChunk, shape.frameBytes, shape.soundBlockBytes);
    if (done == chunks) break;
    const uint64_t framesHere = done == chunks - 1 ? frames - done * perChunk : perChunk;
    for (uint64_t i = 0; i < framesHere; ++i) {
      if (!layout.Put(kVideo, shape.frameBytes)) return std::nullopt;
    }
    if (!layout.Put(kAudio, shape.soundBlockBytes)) return std::nullopt;
    ++done;
  }
  return layout.Finish();
}
