#pragma once

// Hand-built movie bytes for the decoder tests: headers, colour tables and
// chunks laid out field by field, and a private folder to write them into.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/common/TempDir.h"
#include "tools/moviewriter/Bytes.h"
#include "tools/moviewriter/MovieFiles.h"

// The movie writer's little-endian builders, under the names these tests
// read best with; the fields here are never wider than their values.
using Bytes = moviewriter::Bytes;

inline void PutLe16(Bytes& out, uint32_t value) { moviewriter::PutU16(out, static_cast<uint16_t>(value)); }
inline void PutLe32(Bytes& out, uint32_t value) { moviewriter::PutU32(out, value); }
inline void SetLe32(Bytes& out, size_t offset, uint32_t value) { moviewriter::SetU32(out, offset, value); }
inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) moviewriter::PutBytes(all, part);
  return all;
}

// Header fields with the decoder tests' defaults (0 where a reader applies
// its own default); the bytes come from the movie writer.
struct V02Fields {
  const char* magic = "VD02";
  uint32_t frames = 1;
  uint32_t version = 6;
  uint32_t width = 16;
  uint32_t height = 8;
  uint32_t scale = 0;
  uint32_t framesPerChunk = 0;
  uint32_t soundRate = 0;
  uint32_t soundBytes = 0;
};

inline Bytes V02Header(const V02Fields& f) {
  moviewriter::V02Header header;
  std::copy_n(f.magic, 4, header.magic.begin());
  header.frameCount = f.frames;
  header.version = f.version;
  header.width = f.width;
  header.height = f.height;
  header.scale = f.scale;
  header.framesPerChunk = f.framesPerChunk;
  header.soundRate = f.soundRate;
  header.soundBytesPerChunk = f.soundBytes;
  return header.ToBytes();
}

struct V00Fields {
  const char* magic = "VD00";
  uint32_t frames = 1;
  uint32_t mark = moviewriter::kV00FormatMark;
  uint32_t width = 8;
  uint32_t height = 8;
  uint32_t scale = 0;
};

inline Bytes V00Header(const V00Fields& f) {
  moviewriter::V00Header header;
  std::copy_n(f.magic, 4, header.magic.begin());
  header.frameCount = f.frames;
  header.formatMark = f.mark;
  header.width = f.width;
  header.height = f.height;
  header.scale = f.scale;
  return header.ToBytes();
}

// Companion sound file header alone: the rate code at offset 24.
inline Bytes CompanionHeader(uint16_t rateCode) { return moviewriter::BuildSnd(rateCode, {}); }

// A colour table whose pixel entry n is distinct for every n (n * 4 + 1), and
// whose level pair for luma byte b is (b % 64, (b * 7 + 3) % 64).
inline Bytes DistinctColourTable() {
  Bytes table;
  for (uint32_t n = 0; n < 64 * 256; ++n) PutLe16(table, n * 4 + 1);
  for (uint32_t b = 0; b < 256; ++b) {
    table.push_back(static_cast<uint8_t>(b % 64));
    table.push_back(static_cast<uint8_t>((b * 7 + 3) % 64));
  }
  return table;
}

inline uint16_t TablePixel(const Bytes& table, uint32_t index) {
  return static_cast<uint16_t>(table[2 * index] | table[2 * index + 1] << 8);
}

// A VD02 chunk: header with its size field, the sound bytes, the video data.
inline Bytes V02Chunk(const Bytes& sound, const Bytes& video) {
  moviewriter::V02Chunk chunk;
  chunk.sound = sound;
  chunk.video = video;
  Bytes bytes;
  chunk.AppendTo(bytes);
  return bytes;
}

// A one-op list that fills `count` bytes from `offset` with `value`
// (offset and count below 255, so each is one packed byte).
inline Bytes FillOpList(uint8_t value, uint8_t offset, uint8_t count) {
  return {0x01, 0x00, 0x04,  0x11, 0x0B, 0x00, 0x00, 0x00,   0x01, 0x00,
          0x00, 0x00, value, 0x01, 0x00, 0x00, 0x00, offset, count};
}

// A 16 x 8 VD02 movie with the distinct colour table: frame f is the op
// list frameOps(f), chunk c's sound bytes are all firstSound + c, and the
// size field of chunk badChunk, when there is one, says badSize.
inline Bytes ChunkedV02(uint32_t frames, uint32_t perChunk, uint32_t soundBytes, uint8_t firstSound,
                        const std::function<Bytes(uint32_t)>& frameOps, int badChunk = -1,
                        uint32_t badSize = 0) {
  Bytes movie = Concat(
      {V02Header({.frames = frames, .framesPerChunk = perChunk, .soundBytes = soundBytes}),
       DistinctColourTable()});
  for (uint32_t first = 0, chunk = 0; first < frames; first += perChunk, ++chunk) {
    Bytes video;
    for (uint32_t f = first; f < std::min(frames, first + perChunk); ++f) {
      moviewriter::PutBytes(video, frameOps(f));
    }
    Bytes chunkBytes = V02Chunk(Bytes(soundBytes, static_cast<uint8_t>(firstSound + chunk)), video);
    if (static_cast<int>(chunk) == badChunk) SetLe32(chunkBytes, 4, badSize);
    moviewriter::PutBytes(movie, chunkBytes);
  }
  return movie;
}

using porute_test::TempDir;
