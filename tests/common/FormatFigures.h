#pragma once

// The format's figures for pixel and sound conversion, held once: the
// decoder and the reference model in tools/ are each checked against them.

#include <cstdint>

namespace porute_test {

// A movie pixel (blue in bits 0-4, red in 5-9, green in 10-14, bit 15
// ignored) and the blue, green and red bytes it becomes.
struct PixelFigure {
  uint16_t pixel;
  uint8_t bgr[3];
};
inline constexpr PixelFigure kPixelFigures[] = {
    {0x001F, {0xF8, 0x00, 0x00}}, {0x03E0, {0x00, 0x00, 0xF8}}, {0x7C00, {0x00, 0xF8, 0x00}},
    {0x7FFF, {0xF8, 0xF8, 0xF8}}, {0x8000, {0x00, 0x00, 0x00}}, {0x1234, {0xA0, 0x20, 0x88}},
    {0xFFFF, {0xF8, 0xF8, 0xF8}}, {0x0421, {0x08, 0x08, 0x08}},
};

// An 8-bit sound byte (sign and magnitude around 0x80) and its 16-bit sample.
struct SoundFigure {
  uint8_t soundByte;
  int16_t sample;
};
inline constexpr SoundFigure kSoundFigures[] = {
    {0x00, 0},     {0x01, -256},  {0x40, -16384}, {0x7F, -32512}, {0x80, 0},
    {0x81, 256},   {0xC0, 16384}, {0xFE, 32256},  {0xFF, 32512},
};

}  // namespace porute_test
