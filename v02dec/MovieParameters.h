#pragma once

#include <cstdint>

// The eight values that describe an opened movie. The decoder sets them at
// Open; the encoders take them as they are (every one but framesPerChunk,
// which only says how the movie is read).
struct MovieParameters {
  uint32_t frameCount = 0;
  uint32_t framesPerChunk = 0;  // 1 to 64 for VD02, 8 for VD00
  uint32_t rate = 0;            // always 60; frames per second = rate / scale
  uint32_t scale = 0;
  uint32_t soundRate = 0;  // samples per second
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t soundBlockBytes = 0;  // one chunk's sound, 2 bytes per sample
};
