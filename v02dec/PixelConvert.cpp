// The movie's native samples to what the AVI file takes.
//
// A movie pixel is 16 bits: blue in bits 0-4, red in 5-9, green in 10-14
// (green on top, unlike the common 5-5-5 layout), bit 15 ignored. Each 5-bit
// component lands in the top bits of its byte with the low 3 bits zero, so
// full intensity is 0xF8.
//
// A sound byte is sign and magnitude: bit 7 set means positive, bits 0-6 the
// magnitude; the sample is the magnitude times 256, so 0x00 and 0x80 are both
// silence and -32768 never occurs.

#include <bit>
#include <cstring>

#include "v02dec/V02Decode.h"

static_assert(std::endian::native == std::endian::little,
              "bitmap bytes are assembled in little-endian words");

namespace {

// Blue, green and red of one movie pixel in the low three bytes.
constexpr uint32_t BlueGreenRed(uint32_t p) {
  return ((p << 3) & 0xF8) | ((p >> 7) & 0xF8) << 8 | ((p >> 2) & 0xF8) << 16;
}

// Each output bit comes from one input bit, so the colour of a pixel is the
// colour of its low byte OR the colour of its high byte: two lookups in 2 KB
// of tables instead of three shifts and masks per component.
struct ByteColours {
  uint32_t low[256];
  uint32_t high[256];
  constexpr ByteColours() : low{}, high{} {
    for (uint32_t b = 0; b < 256; ++b) {
      low[b] = BlueGreenRed(b);
      high[b] = BlueGreenRed(b << 8);
    }
  }
};
constexpr ByteColours kByteColours;

inline uint32_t Colour(uint16_t pixel) {
  return kByteColours.low[pixel & 0xFF] | kByteColours.high[pixel >> 8];
}

}  // namespace

void V02Decode::ToBitmap(const uint16_t* frame, TBitmap& bitmap) const {
  if (!frame || bitmap.Empty() || bitmap.Width() != static_cast<int>(width) ||
      bitmap.Height() != static_cast<int>(height)) {
    return;
  }
  // Locals, not members: stores through byte pointers could alias them, and
  // the compiler would then reload them for every pixel.
  const uint32_t w = width;
  const int h = static_cast<int>(height);
  const uint16_t* pixel = frame;
  for (int y = 0; y < h; ++y) {
    // Only the 3 * width bytes of pixels are written; the row fill stays.
    uint8_t* out = bitmap.ScanLine(y);
    uint32_t x = 0;
    // Four pixels make 12 bytes, stored as three 4-byte words.
    for (; x + 4 <= w; x += 4, pixel += 4, out += 12) {
      uint32_t c0 = Colour(pixel[0]), c1 = Colour(pixel[1]);
      uint32_t c2 = Colour(pixel[2]), c3 = Colour(pixel[3]);
      uint32_t first = c0 | c1 << 24, second = c1 >> 8 | c2 << 16, third = c2 >> 16 | c3 << 8;
      std::memcpy(out, &first, 4);
      std::memcpy(out + 4, &second, 4);
      std::memcpy(out + 8, &third, 4);
    }
    for (; x < w; ++x, ++pixel, out += 3) {
      uint32_t c = Colour(*pixel);
      out[0] = static_cast<uint8_t>(c);
      out[1] = static_cast<uint8_t>(c >> 8);
      out[2] = static_cast<uint8_t>(c >> 16);
    }
  }
}

void V02Decode::ConvertSound() {
  const uint8_t* in = soundBytes_.get();
  int16_t* out = soundBlock.get();
  const uint32_t count = soundBytesPerChunk_;
  for (uint32_t i = 0; i < count; ++i) {
    int magnitude = (in[i] & 0x7F) * 256;
    out[i] = static_cast<int16_t>(in[i] & 0x80 ? magnitude : -magnitude);
  }
}
