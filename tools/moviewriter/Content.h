#pragma once

// Content for test and sample movies: a scene of coloured shapes moving over
// a background (pictures a person recognises), tones and random bytes.

#include <cstdint>
#include <vector>

#include "tools/moviewriter/Bytes.h"
#include "tools/moviewriter/ColourTable.h"
#include "tools/moviewriter/FrameEncoder.h"
#include "tools/moviewriter/MovieFiles.h"

namespace moviewriter {

// Coloured shapes (discs, squares, diamonds) that move and bounce over a sky
// gradient, above a striped ground that scrolls to the left. Rendered as VD02
// working frames for YuvColourTable(), or as VD00 pixels of the same picture.
// Shapes move by whole 2 × 2 squares, the ground by 4 pixels a frame, so the
// motion hints are exact for both planes.
class Scene {
 public:
  Scene(uint32_t width, uint32_t height, uint32_t seed);

  // Working frame of frame n for a frame of the scene's size (width a
  // multiple of 8, height a multiple of 2): PlaneSize() bytes.
  void RenderWorkingFrame(uint32_t frame, Bytes& working) const;
  // The same picture as 16-bit movie pixels, for any size of 8 or more.
  void RenderPixels(uint32_t frame, PixelFrame& pixels) const;
  // How the parts of the picture moved from frame n - 1 to frame n.
  std::vector<Motion> Motions(uint32_t frame) const;

 private:
  struct Shape {
    int kind = 0;           // 0 disc, 1 square, 2 diamond
    int32_t size = 0;       // pixels across
    int32_t x0 = 0, y0 = 0; // top-left at frame 0, pixels
    int32_t vx = 0, vy = 0; // pixels per frame (even)
    uint8_t luma = 0, chroma = 0;
  };
  struct Sample {
    uint8_t luma;
    uint8_t chroma;
  };
  // Position of a shape at a frame: a walk that bounces off the frame's edges.
  void ShapePosition(const Shape& shape, uint32_t frame, int32_t& x, int32_t& y) const;
  // The sample of a shape at (u, v) inside its square; false where the
  // shape leaves the background showing.
  bool ShapeSample(const Shape& shape, int32_t u, int32_t v, Sample& sample) const;
  // Luma of the pixel pair (x, x + 1) and chroma of the 2 × 2 square at even
  // x and y, behind the shapes.
  Sample Background(uint32_t frame, int32_t x, int32_t y) const;

  uint32_t width_;
  uint32_t height_;
  // Picture size rounded up to a whole 8 × 2 grid of working-frame bytes.
  uint32_t gridWidth_;
  uint32_t gridHeight_;
  int32_t groundTop_;
  std::vector<Shape> shapes_;
};

// A sine tone as 8-bit sound bytes (bit 7 set for positive values, bits 0-6
// the magnitude). `amplitude` 0 to 127; `firstSample` continues a tone from
// an earlier block.
Bytes ToneBytes(double frequency, uint32_t sampleRate, size_t count, uint32_t amplitude = 96,
                uint64_t firstSample = 0);
// The sound byte for a sample value from -127 to 127.
uint8_t SoundByteOf(int32_t value);

// Random bytes from a seed; the same seed gives the same bytes.
Bytes RandomBytes(size_t count, uint32_t seed);
// A random working frame whose luma bytes all have level pairs, under
// YuvColourTable() or a RandomColourTable(), below 64 (any byte does).
Bytes RandomWorkingFrame(const FrameGeometry& geometry, uint32_t seed);
// Changes a random number of random spans, runs and blocks of a working
// frame, so the next frame has something for every op type.
void ScrambleWorkingFrame(const FrameGeometry& geometry, uint32_t seed, Bytes& working);

}  // namespace moviewriter
