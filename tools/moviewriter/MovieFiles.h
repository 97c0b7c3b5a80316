#pragma once

// Byte-exact builders of whole VD02 and VD00 files and of the ".snd" companion
// of a VD00 movie. Every field can be set to any value, invalid ones included;
// the builders never check. Byte offsets of every part of a built file come
// back in a layout, so tests can cut or patch a file at a named place.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tools/moviewriter/Bytes.h"
#include "tools/moviewriter/ColourTable.h"

namespace moviewriter {

constexpr size_t kMovieHeaderBytes = 256;
constexpr size_t kChunkHeaderBytes = 32;
constexpr size_t kSndHeaderBytes = 32;
constexpr uint32_t kV00FormatMark = 0x80008000u;
constexpr uint32_t kFrameClockRate = 60;

// VD02 header, 256 bytes. Offsets: magic 0, frame count 8, version 12, width
// 16, height 20, scale 24, frames per chunk 28, sound rate 32, sound bytes per
// chunk 36. The reader does not interpret bytes 4-7 and 40-255; they are
// written as `filler`.
struct V02Header {
  std::array<uint8_t, 4> magic{'V', 'D', '0', '2'};
  uint32_t frameCount = 0;
  uint32_t version = 6;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t scale = 6;
  uint32_t framesPerChunk = 8;
  uint32_t soundRate = 8000;
  uint32_t soundBytesPerChunk = 6400;
  uint8_t filler = 0;

  Bytes ToBytes() const;
};

// What a reader takes over from a valid VD02 header, zero defaults applied
// (scale 0 means 6, frames per chunk 0 means 8, sound rate 0 means 8000,
// sound bytes per chunk 0 means 6400). Sizes in 64 bits: the header may hold
// anything.
struct V02Params {
  uint32_t framesPerChunk = 0;
  uint32_t scale = 0;
  uint32_t soundRate = 0;
  uint32_t soundBytesPerChunk = 0;
  uint64_t planeSize = 0;        // width × height × 6 / 8
  uint64_t chunkBufferSize = 0;  // (frames per chunk + 2) × plane size + sound bytes per chunk
  // The largest size field a reader accepts: chunk buffer size − 32.
  uint64_t MaxChunkSizeField() const { return chunkBufferSize < 32 ? 0 : chunkBufferSize - 32; }
};
V02Params EffectiveParams(const V02Header& header);

// One VD02 chunk: 32-byte header (size field at offset 4), the sound bytes,
// the video data (the frames' op lists). The size field is sound + video
// unless overridden; the other header bytes are `filler`.
struct V02Chunk {
  Bytes sound;
  Bytes video;
  std::optional<uint32_t> sizeOverride;
  uint8_t filler = 0;

  uint32_t SizeField() const;
  void AppendTo(Bytes& out) const;
};

// Where each part of a built VD02 file lies.
struct V02Layout {
  struct Chunk {
    size_t header = 0;  // first byte of the chunk header
    size_t sound = 0;   // first sound byte
    size_t video = 0;   // first byte of the video data
    size_t end = 0;     // one past the last byte
  };
  size_t colourTable = 0;  // start of the colour table (the header's end)
  size_t chunks = 0;       // start of the first chunk
  std::vector<Chunk> chunkList;
};

// Header, then the colour table when `colours` is given, then the chunks.
// A reader skips the colour table of a movie with frame count 0; pass nullptr
// for such a file.
Bytes BuildV02(const V02Header& header, const ColourTable* colours,
               const std::vector<V02Chunk>& chunks, V02Layout* layout = nullptr);

// VD00 header, 256 bytes: magic 0, frame count 8, format mark 12 (bytes
// 00 80 00 80), width 16, height 20, scale 24; the rest is `filler`.
struct V00Header {
  std::array<uint8_t, 4> magic{'V', 'D', '0', '0'};
  uint32_t frameCount = 0;
  uint32_t formatMark = kV00FormatMark;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t scale = 6;
  uint8_t filler = 0;

  Bytes ToBytes() const;
};

// A raw VD00 frame: width × height 16-bit pixels, top row first.
using PixelFrame = std::vector<uint16_t>;
void AppendPixelFrame(Bytes& out, std::span<const uint16_t> pixels);

// Header, then every frame as given (the builder does not check their size).
Bytes BuildV00(const V00Header& header, const std::vector<PixelFrame>& frames);

// ".snd" companion: 32-byte header with the 16-bit rate code at offset 24
// (rate in Hz = rate code × 1000 / 98), then the 8-bit sound bytes.
Bytes BuildSnd(uint16_t rateCode, std::span<const uint8_t> soundBytes, uint8_t filler = 0);

// The rate code a companion stores for a rate; 784 for 8000 Hz. The smallest
// code that reads back as the rate, or the nearest below when none does.
uint16_t RateCodeFor(uint32_t soundRate);
uint32_t RateFromCode(uint16_t rateCode);
// Sound bytes per chunk of eight VD00 frames: rate × 8 / (60 / scale), the
// division 60 / scale first, with the scale as a reader uses it (a stored 0
// already taken as 6). 0 for a scale of 0 or above 60, where that division
// has no use.
uint32_t V00SoundBytesPerChunk(uint32_t soundRate, uint32_t scale);

}  // namespace moviewriter
