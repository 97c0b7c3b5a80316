#pragma once

#include <cstdint>
#include <optional>

// What a conversion hands the AVI writer: per chunk of the movie up to
// framesPerChunk frames of frameBytes each, then one sound block.
struct AviShape {
  uint32_t frameCount = 0;
  uint32_t framesPerChunk = 0;
  uint64_t frameBytes = 0;  // one frame's 24-bit rows, each filled to 4 bytes
  uint64_t soundBlockBytes = 0;
};

// Bytes of one frame of 24-bit rows, each row filled up to a multiple of 4.
uint64_t AviFrameBytes(uint32_t width, uint32_t height);

// The size of the file our AVI writer leaves for a movie of this shape when
// every RIFF list is closed before it would pass riffLimit bytes (as
// AviFileRiffLimit() gives it). Empty when the writer would refuse the movie:
// a stream longer than an AVI header can count, a chunk larger than a chunk
// size can say, or more data than its RIFF lists can take.
std::optional<uint64_t> PredictAviBytes(const AviShape& shape, uint64_t riffLimit);
