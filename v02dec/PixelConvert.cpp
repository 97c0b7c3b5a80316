// The movie's native samples to what the AVI file takes.
//
// Pixels: row by row through the fastest conversion of PixelRows.h.
//
// A sound byte is sign and magnitude: bit 7 set means positive, bits 0-6 the
// magnitude; the sample is the magnitude times 256, so 0x00 and 0x80 are both
// silence and -32768 never occurs.

#include "v02dec/PixelRows.h"
#include "v02dec/V02Decode.h"

void V02Decode::ToBitmap(const uint16_t* frame, TBitmap& bitmap) const {
  if (!frame || bitmap.Empty() || bitmap.Width() != static_cast<int>(movie_.width) ||
      bitmap.Height() != static_cast<int>(movie_.height)) {
    return;
  }
  // Locals, not members: stores through byte pointers could alias them.
  const pixelrows::RowFunction convertRow = pixelrows::Best();
  const size_t w = movie_.width;
  const int h = static_cast<int>(movie_.height);
  const uint16_t* pixel = frame;
  // Only the 3 * width bytes of pixels are written; the row fill stays. An
  // abort is looked at every 64 rows (some 1.5 MB of a wide frame): the
  // caller then drops the frame.
  for (int y = 0; y < h; ++y, pixel += w) {
    if (y % 64 == 0 && Stopping()) return;
    convertRow(pixel, w, bitmap.ScanLine(y));
  }
}

void V02Decode::ConvertSound(int16_t* out) const {
  const uint8_t* in = soundBytes_.get();
  const uint32_t count = soundBytesPerChunk_;
  for (uint32_t i = 0; i < count; ++i) {
    int magnitude = (in[i] & 0x7F) * 256;
    out[i] = static_cast<int16_t>(in[i] & 0x80 ? magnitude : -magnitude);
  }
}
