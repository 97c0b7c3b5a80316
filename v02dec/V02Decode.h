#pragma once

// NOTE FOR THE IMPLEMENTER OF v02dec: this header fixes the part of the
// decoder that the batch driver, the encoder tests and the window use (the
// Movie parameters, frameBitmaps, soundBlock, previewBitmap, Open, ReadChunk,
// Close, LoadPreview). Everything marked "internal" may be reshaped freely.
// Remove this note when the decoder is done.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "v02dec/MovieResult.h"
#include "v02dec/RawFile.h"
#include "v02dec/TBitmap.h"

// Reads one VD02 (".V02") or VD00 (".V00" with an optional ".snd") movie at a
// time and delivers it chunk by chunk as 24-bit frame bitmaps and a block of
// 16-bit sound. Every buffer is obtained at Open and reused until Close.
class V02Decode {
 public:
  static constexpr int kMaxFramesPerChunk = 64;

  V02Decode();
  virtual ~V02Decode();
  V02Decode(const V02Decode&) = delete;
  V02Decode& operator=(const V02Decode&) = delete;

  // Movie parameters, set by a successful Open.
  uint32_t frameCount = 0;
  uint32_t framesPerChunk = 0;   // 1 to 64 for VD02, 8 for VD00
  uint32_t rate = 0;             // always 60
  uint32_t scale = 0;            // frames per second = rate / scale
  uint32_t soundRate = 0;        // samples per second
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t soundBlockBytes = 0;  // bytes of soundBlock: 2 per sample

  // Slot i receives frame i of the current chunk. Created at Open.
  std::unique_ptr<TBitmap> frameBitmaps[kMaxFramesPerChunk];
  // The chunk's sound as signed 16-bit samples (host order, which is
  // little-endian on every platform we build for), soundBlockBytes long.
  std::unique_ptr<int16_t[]> soundBlock;
  // First frame copied by LoadPreview; lives as long as the decoder.
  TBitmap previewBitmap;

  MovieResult Open(const std::string& path);
  MovieResult OpenV02(const std::string& path);
  MovieResult OpenV00(const std::string& path);
  MovieResult ReadChunk();
  MovieResult ReadChunkV02();
  MovieResult ReadChunkV00();
  // Releases all that Open obtained; safe when nothing is open.
  void Close();
  // 0 when the first frame of the movie is in previewBitmap, 1 otherwise.
  int LoadPreview(const std::string& path);

  // internal: frame reconstruction and conversion (shape is the implementer's)
};
