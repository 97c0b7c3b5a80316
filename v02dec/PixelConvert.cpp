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

#include "v02dec/V02Decode.h"

void V02Decode::ToBitmap(const uint16_t* frame, TBitmap& bitmap) const {
  if (bitmap.Empty() || bitmap.Width() != static_cast<int>(width) ||
      bitmap.Height() != static_cast<int>(height)) {
    return;
  }
  const uint16_t* pixel = frame;
  for (int y = 0; y < static_cast<int>(height); ++y) {
    // Only the 3 * width bytes of pixels are written; the row fill stays.
    uint8_t* out = bitmap.ScanLine(y);
    for (uint32_t x = 0; x < width; ++x, out += 3) {
      uint32_t p = *pixel++;
      out[0] = static_cast<uint8_t>((p << 3) & 0xF8);  // blue
      out[1] = static_cast<uint8_t>((p >> 7) & 0xF8);  // green
      out[2] = static_cast<uint8_t>((p >> 2) & 0xF8);  // red
    }
  }
}

void V02Decode::ConvertSound() {
  const uint8_t* in = soundBytes_.get();
  int16_t* out = soundBlock.get();
  for (uint32_t i = 0; i < soundBytesPerChunk_; ++i) {
    int magnitude = (in[i] & 0x7F) * 256;
    out[i] = static_cast<int16_t>(in[i] & 0x80 ? magnitude : -magnitude);
  }
}
