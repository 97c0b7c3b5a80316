#pragma once

// The 33,280-byte colour table of a VD02 file: a pixel table of 64 levels ×
// 256 chroma bytes (16-bit movie pixels), then 256 level pairs, one per luma
// byte (low byte: level of the left pixel, high byte: level of the right).

#include <cstdint>

#include "tools/moviewriter/Bytes.h"

namespace moviewriter {

constexpr size_t kColourTableBytes = 33280;
constexpr size_t kLevelPairOffset = 32768;
constexpr uint32_t kLevels = 64;

// A movie pixel: blue in bits 0-4, red in bits 5-9, green in bits 10-14.
constexpr uint16_t MoviePixel(uint32_t red5, uint32_t green5, uint32_t blue5) {
  return static_cast<uint16_t>((blue5 & 31) | (red5 & 31) << 5 | (green5 & 31) << 10);
}

struct ColourTable {
  Bytes bytes = Bytes(kColourTableBytes, 0);

  uint16_t Pixel(uint32_t level, uint8_t chroma) const;
  void SetPixel(uint32_t level, uint8_t chroma, uint16_t pixel);
  // Level pair of a luma byte: low byte left pixel, high byte right pixel.
  uint16_t LevelPair(uint8_t luma) const;
  void SetLevelPair(uint8_t luma, uint8_t leftLevel, uint8_t rightLevel);
};

// A table a person can read pictures through. Luma byte b gives both of its
// pixels the level b / 4 (64 steps of brightness); the chroma byte holds two
// colour differences of 4 bits each, the low nibble towards blue and the high
// nibble towards red, 8 being neutral. Build working frames for it with
// YuvLuma and YuvChroma.
ColourTable YuvColourTable();
constexpr uint8_t YuvLuma(uint32_t level) { return static_cast<uint8_t>((level & 63) << 2); }
constexpr uint8_t YuvChroma(uint32_t towardsBlue, uint32_t towardsRed) {
  return static_cast<uint8_t>((towardsBlue & 15) | (towardsRed & 15) << 4);
}
// The movie pixel YuvColourTable gives for a level and two colour differences.
uint16_t YuvPixel(uint32_t level, uint32_t towardsBlue, uint32_t towardsRed);

// Random pixels and random level pairs (each level below 64), from a seed.
ColourTable RandomColourTable(uint32_t seed);

}  // namespace moviewriter
