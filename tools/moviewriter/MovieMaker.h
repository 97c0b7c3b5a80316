#pragma once

// Whole movies in one call: a VD02 movie encoded frame by frame from generated
// content, or a VD00 movie with its ".snd" companion, written to a file (in
// pieces, so long movies need little memory) or built in memory.

#include <cstdint>
#include <optional>
#include <string>

#include "tools/moviewriter/Bytes.h"
#include "tools/moviewriter/FrameEncoder.h"
#include "tools/moviewriter/MovieFiles.h"

namespace moviewriter {

enum class ContentKind : uint8_t {
  kScene,     // moving shapes over a scrolling ground (Scene)
  kRandom,    // every frame random from the first byte to the last
  kScramble,  // a random first frame, then random edits of every op's kind
              // (VD00: random frames, as kRandom)
  kStill,     // the scene's first frame throughout: later frames have no ops
};

enum class ColourKind : uint8_t { kYuv, kRandom };

struct V02MovieOptions {
  // Header fields, written as given; the content follows the values a reader
  // takes from them (0 defaults applied).
  uint32_t width = 160;
  uint32_t height = 120;
  uint32_t frames = 30;
  uint32_t version = 6;
  uint32_t scale = 6;
  uint32_t framesPerChunk = 8;
  uint32_t soundRate = 8000;
  // Unset: the bytes that play during a chunk's frames,
  // rate × frames per chunk × scale / 60 (at least 1).
  std::optional<uint32_t> soundBytesPerChunk{};

  ContentKind content = ContentKind::kScene;
  ColourKind colours = ColourKind::kYuv;
  double toneHz = 440.0;  // 0: silence (every sound byte 0x80)
  uint32_t seed = 1;
  EncoderStrategy strategy{};
};

struct V00MovieOptions {
  uint32_t width = 160;
  uint32_t height = 120;
  uint32_t frames = 30;
  uint32_t scale = 6;
  // The companion stores RateCodeFor(soundRate); the movie then plays at
  // RateFromCode of that code (8000 for 8000).
  uint32_t soundRate = 8000;
  bool withSound = true;  // false: no ".snd" file

  ContentKind content = ContentKind::kScene;
  double toneHz = 440.0;
  uint32_t seed = 1;
};

// The header a V02MovieOptions gives.
V02Header HeaderFor(const V02MovieOptions& options);

// 0 when written; 1 when a file could not be written; 2 when the options
// cannot make a movie (VD02 width not a multiple of 8, height not a multiple
// of 2, a side below 8, VD00 scale above 60, or VD02 frames so small that a
// chunk's op lists cannot fit the chunk buffer a reader sizes for them).
// A movie of 0 frames is the header alone.
int WriteV02Movie(const std::string& path, const V02MovieOptions& options);
// Writes the companion next to the movie (CompanionPath) when withSound.
int WriteV00Movie(const std::string& path, const V00MovieOptions& options);

int MakeV02Movie(const V02MovieOptions& options, Bytes& movie);
int MakeV00Movie(const V00MovieOptions& options, Bytes& movie, Bytes& companion);

}  // namespace moviewriter
