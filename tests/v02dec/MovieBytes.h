#pragma once

// Hand-built movie bytes for the decoder tests: headers, colour tables and
// chunks laid out field by field, and a private folder to write them into.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/common/TempDir.h"

using Bytes = std::vector<uint8_t>;

inline void PutLe16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
inline void PutLe32(Bytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}
inline void SetLe32(Bytes& out, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}
inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

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
  Bytes header(256, 0);
  std::copy_n(f.magic, 4, header.begin());
  SetLe32(header, 8, f.frames);
  SetLe32(header, 12, f.version);
  SetLe32(header, 16, f.width);
  SetLe32(header, 20, f.height);
  SetLe32(header, 24, f.scale);
  SetLe32(header, 28, f.framesPerChunk);
  SetLe32(header, 32, f.soundRate);
  SetLe32(header, 36, f.soundBytes);
  return header;
}

struct V00Fields {
  const char* magic = "VD00";
  uint32_t frames = 1;
  uint32_t mark = 0x80008000;
  uint32_t width = 8;
  uint32_t height = 8;
  uint32_t scale = 0;
};

inline Bytes V00Header(const V00Fields& f) {
  Bytes header(256, 0);
  std::copy_n(f.magic, 4, header.begin());
  SetLe32(header, 8, f.frames);
  SetLe32(header, 12, f.mark);
  SetLe32(header, 16, f.width);
  SetLe32(header, 20, f.height);
  SetLe32(header, 24, f.scale);
  return header;
}

// Companion sound file: 32-byte header with the rate code at offset 24.
inline Bytes CompanionHeader(uint16_t rateCode) {
  Bytes header(32, 0);
  header[24] = static_cast<uint8_t>(rateCode);
  header[25] = static_cast<uint8_t>(rateCode >> 8);
  return header;
}

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
  Bytes chunk(32, 0);
  SetLe32(chunk, 4, static_cast<uint32_t>(sound.size() + video.size()));
  return Concat({chunk, sound, video});
}

// A one-op list that fills `count` bytes from `offset` with `value`
// (offset and count below 255, so each is one packed byte).
inline Bytes FillOpList(uint8_t value, uint8_t offset, uint8_t count) {
  return {0x01, 0x00, 0x04,  0x11, 0x0B, 0x00, 0x00, 0x00,   0x01, 0x00,
          0x00, 0x00, value, 0x01, 0x00, 0x00, 0x00, offset, count};
}

using porute_test::TempDir;
