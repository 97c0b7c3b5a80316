#include "tools/moviewriter/ColourTable.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace moviewriter {

uint16_t ColourTable::Pixel(uint32_t level, uint8_t chroma) const {
  return GetU16(bytes, 2 * (static_cast<size_t>(level) * 256 + chroma));
}

void ColourTable::SetPixel(uint32_t level, uint8_t chroma, uint16_t pixel) {
  SetU16(bytes, 2 * (static_cast<size_t>(level) * 256 + chroma), pixel);
}

uint16_t ColourTable::LevelPair(uint8_t luma) const {
  return GetU16(bytes, kLevelPairOffset + 2 * static_cast<size_t>(luma));
}

void ColourTable::SetLevelPair(uint8_t luma, uint8_t leftLevel, uint8_t rightLevel) {
  SetU16(bytes, kLevelPairOffset + 2 * static_cast<size_t>(luma),
         static_cast<uint16_t>(leftLevel | rightLevel << 8));
}

uint16_t YuvPixel(uint32_t level, uint32_t towardsBlue, uint32_t towardsRed) {
  // Full-range YCbCr with the colour differences spread over ±0.5.
  const double y = (level & 63) / 63.0;
  const double cb = (static_cast<double>(towardsBlue & 15) - 8.0) / 16.0;
  const double cr = (static_cast<double>(towardsRed & 15) - 8.0) / 16.0;
  const double rgb[3] = {y + 1.402 * cr, y - 0.344 * cb - 0.714 * cr, y + 1.772 * cb};
  uint32_t five[3];
  for (int i = 0; i < 3; ++i) {
    five[i] = static_cast<uint32_t>(std::lround(std::clamp(rgb[i], 0.0, 1.0) * 31.0));
  }
  return MoviePixel(five[0], five[1], five[2]);
}

ColourTable YuvColourTable() {
  ColourTable table;
  for (uint32_t level = 0; level < kLevels; ++level) {
    for (uint32_t chroma = 0; chroma < 256; ++chroma) {
      table.SetPixel(level, static_cast<uint8_t>(chroma), YuvPixel(level, chroma & 15, chroma >> 4));
    }
  }
  for (uint32_t luma = 0; luma < 256; ++luma) {
    const auto level = static_cast<uint8_t>(luma >> 2);
    table.SetLevelPair(static_cast<uint8_t>(luma), level, level);
  }
  return table;
}

ColourTable RandomColourTable(uint32_t seed) {
  std::mt19937 random(seed);
  ColourTable table;
  for (size_t i = 0; i < kLevelPairOffset; ++i) table.bytes[i] = static_cast<uint8_t>(random());
  for (uint32_t luma = 0; luma < 256; ++luma) {
    table.SetLevelPair(static_cast<uint8_t>(luma), static_cast<uint8_t>(random() % kLevels),
                       static_cast<uint8_t>(random() % kLevels));
  }
  return table;
}

}  // namespace moviewriter
