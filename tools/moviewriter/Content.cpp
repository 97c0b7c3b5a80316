#include "tools/moviewriter/Content.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace moviewriter {

namespace {

int64_t PositiveModulo(int64_t value, int64_t modulus) {
  const int64_t rest = value % modulus;
  return rest < 0 ? rest + modulus : rest;
}

// Position along one axis of a walk bouncing between 0 and `room`.
int32_t Bounce(int64_t start, int64_t step, uint32_t frame, int32_t room) {
  if (room <= 0) return 0;
  const int64_t q = PositiveModulo(start + step * int64_t{frame}, 2 * int64_t{room});
  return static_cast<int32_t>(q <= room ? q : 2 * room - q);
}

const ColourTable& SceneColours() {
  static const ColourTable table = YuvColourTable();
  return table;
}

}  // namespace

Scene::Scene(uint32_t width, uint32_t height, uint32_t seed)
    : width_(width),
      height_(height),
      gridWidth_((width + 7) / 8 * 8),
      gridHeight_((height + 1) / 2 * 2) {
  // The ground starts on a row where whole 8-row blocks of both planes begin.
  groundTop_ = static_cast<int32_t>(gridHeight_ * 3 / 4 / 16 * 16);
  if (groundTop_ == 0) groundTop_ = static_cast<int32_t>(gridHeight_);

  std::mt19937 random(seed);
  struct Look {
    uint32_t level, blue, red;
  };
  static constexpr Look kLooks[] = {{34, 6, 14}, {54, 2, 10}, {34, 12, 13}, {58, 8, 8}, {40, 13, 4}};
  const int32_t side = static_cast<int32_t>(std::min(gridWidth_, gridHeight_));
  const int shapeCount = 4;
  for (int i = 0; i < shapeCount; ++i) {
    Shape shape;
    shape.kind = i % 3;
    shape.size = std::max(4, (side / 4 + static_cast<int32_t>(random() % static_cast<uint32_t>(side / 8 + 1))) & ~1);
    const int32_t roomX = std::max(0, static_cast<int32_t>(gridWidth_) - shape.size) & ~1;
    const int32_t roomY = std::max(0, groundTop_ + shape.size / 2 - shape.size) & ~1;
    shape.x0 = roomX == 0 ? 0 : static_cast<int32_t>(random() % static_cast<uint32_t>(roomX)) & ~1;
    shape.y0 = roomY == 0 ? 0 : static_cast<int32_t>(random() % static_cast<uint32_t>(roomY)) & ~1;
    shape.vx = (static_cast<int32_t>(random() % 4) + 1) * 2 * (random() % 2 == 0 ? 1 : -1);
    shape.vy = (static_cast<int32_t>(random() % 3) + 1) * 2 * (random() % 2 == 0 ? 1 : -1);
    const Look& look = kLooks[(static_cast<size_t>(i) + seed) % std::size(kLooks)];
    shape.luma = YuvLuma(look.level);
    shape.chroma = YuvChroma(look.blue, look.red);
    shapes_.push_back(shape);
  }
}

void Scene::ShapePosition(const Shape& shape, uint32_t frame, int32_t& x, int32_t& y) const {
  const int32_t roomX = std::max(0, static_cast<int32_t>(gridWidth_) - shape.size) & ~1;
  // Shapes may sink half into the ground.
  const int32_t roomY = std::max(0, groundTop_ + shape.size / 2 - shape.size) & ~1;
  x = Bounce(shape.x0, shape.vx, frame, roomX);
  y = Bounce(shape.y0, shape.vy, frame, roomY);
}

bool Scene::ShapeSample(const Shape& shape, int32_t u, int32_t v, Sample& sample) const {
  const int32_t half = shape.size / 2;
  const int32_t du = std::abs(2 * u + 1 - shape.size);
  const int32_t dv = std::abs(2 * v + 1 - shape.size);
  bool inside = true;
  bool marked = false;
  switch (shape.kind) {
    case 0:  // disc with rings
      inside = du * du + dv * dv <= shape.size * shape.size;
      marked = ((du * du + dv * dv) / std::max(1, half * 6)) % 2 == 1;
      break;
    case 1:  // square with a checker
      marked = ((u / 4) + (v / 4)) % 2 == 0;
      break;
    default:  // diamond with stripes
      inside = du + dv <= shape.size;
      marked = (v / 4) % 2 == 0;
      break;
  }
  if (!inside) return false;
  const uint32_t level = static_cast<uint32_t>(shape.luma >> 2);
  sample = Sample{YuvLuma(marked ? level - 8 : level), shape.chroma};
  return true;
}

Scene::Sample Scene::Background(uint32_t frame, int32_t x, int32_t y) const {
  if (y >= groundTop_) {
    // Diagonal stripes that scroll 4 pixels to the left every frame.
    const int64_t phase = PositiveModulo(int64_t{x} + 4 * int64_t{frame} + (y - groundTop_), 32);
    const bool light = phase < 16;
    return Sample{YuvLuma(light ? 36u : 22u), light ? YuvChroma(4, 9) : YuvChroma(5, 5)};
  }
  const uint32_t level = 56 - static_cast<uint32_t>(24 * y / std::max(1, groundTop_));
  return Sample{YuvLuma(level), YuvChroma(12, 5)};
}

void Scene::RenderWorkingFrame(uint32_t frame, Bytes& working) const {
  const FrameGeometry geometry{gridWidth_, gridHeight_};
  const size_t stride = geometry.Stride();
  working.resize(geometry.PlaneSize());
  const size_t chromaStart = geometry.LumaBytes();
  auto put = [&](size_t pair, size_t y, const Sample& sample) {
    working[y * stride + pair] = sample.luma;
    // A chroma byte covers a 2 × 2 square; its top-left pixel decides.
    if (y % 2 == 0) working[chromaStart + (y / 2) * stride + pair] = sample.chroma;
  };
  for (uint32_t y = 0; y < gridHeight_; ++y) {
    for (uint32_t pair = 0; pair < stride; ++pair) {
      put(pair, y, Background(frame, static_cast<int32_t>(2 * pair), static_cast<int32_t>(y)));
    }
  }
  // Later shapes are drawn over earlier ones. Shapes sit on even columns, so
  // every pixel pair lies wholly inside or outside a shape's square.
  for (const Shape& shape : shapes_) {
    int32_t left = 0;
    int32_t top = 0;
    ShapePosition(shape, frame, left, top);
    const int32_t bottom = std::min(top + shape.size, static_cast<int32_t>(gridHeight_));
    const int32_t right = std::min(left + shape.size, static_cast<int32_t>(gridWidth_));
    for (int32_t y = std::max(top, 0); y < bottom; ++y) {
      for (int32_t x = std::max(left, 0); x < right; x += 2) {
        Sample sample{};
        if (ShapeSample(shape, x - left, y - top, sample)) {
          put(static_cast<size_t>(x / 2), static_cast<size_t>(y), sample);
        }
      }
    }
  }
}

void Scene::RenderPixels(uint32_t frame, PixelFrame& pixels) const {
  Bytes working;
  RenderWorkingFrame(frame, working);
  PixelFrame grid;
  ExpandFrame(working, SceneColours(), FrameGeometry{gridWidth_, gridHeight_}, grid);
  pixels.resize(size_t{width_} * height_);
  for (size_t y = 0; y < height_; ++y) {
    std::copy_n(grid.begin() + static_cast<ptrdiff_t>(y * gridWidth_), width_,
                pixels.begin() + static_cast<ptrdiff_t>(y * width_));
  }
}

std::vector<Motion> Scene::Motions(uint32_t frame) const {
  std::vector<Motion> motions{Motion{-4, 0}};
  if (frame == 0) return motions;
  for (const Shape& shape : shapes_) {
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    ShapePosition(shape, frame - 1, x0, y0);
    ShapePosition(shape, frame, x1, y1);
    motions.push_back(Motion{x1 - x0, y1 - y0});
  }
  return motions;
}

uint8_t SoundByteOf(int32_t value) {
  const int32_t clamped = std::clamp(value, -127, 127);
  // Bit 7 marks the positive half; silence is written as 0x80.
  return clamped >= 0 ? static_cast<uint8_t>(0x80 | clamped) : static_cast<uint8_t>(-clamped);
}

Bytes ToneBytes(double frequency, uint32_t sampleRate, size_t count, uint32_t amplitude,
                uint64_t firstSample) {
  Bytes bytes(count);
  if (sampleRate == 0) sampleRate = 1;
  for (size_t i = 0; i < count; ++i) {
    // The phase is reduced per whole cycle count so long tones keep precision.
    const double turns = frequency * static_cast<double>(firstSample + i) / sampleRate;
    const double phase = (turns - std::floor(turns)) * 2.0 * std::numbers::pi;
    bytes[i] = SoundByteOf(static_cast<int32_t>(std::lround(std::min(amplitude, 127u) * std::sin(phase))));
  }
  return bytes;
}

Bytes RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(count);
  // Four bytes from each 32-bit draw.
  for (size_t i = 0; i < count; i += 4) {
    const auto draw = static_cast<uint32_t>(random());
    for (size_t b = 0; b < 4 && i + b < count; ++b) bytes[i + b] = static_cast<uint8_t>(draw >> (8 * b));
  }
  return bytes;
}

Bytes RandomWorkingFrame(const FrameGeometry& geometry, uint32_t seed) {
  return RandomBytes(geometry.PlaneSize(), seed);
}

void ScrambleWorkingFrame(const FrameGeometry& geometry, uint32_t seed, Bytes& working) {
  std::mt19937 random(seed);
  const size_t size = working.size();
  const size_t stride = geometry.Stride();
  auto below = [&](size_t limit) { return limit == 0 ? size_t{0} : random() % limit; };
  const int edits = 1 + static_cast<int>(random() % 8);
  for (int edit = 0; edit < edits; ++edit) {
    const size_t length = 1 + below(std::min<size_t>(size, 96));
    const size_t start = below(size - length + 1);
    switch (random() % 4) {
      case 0:  // literal bytes
        for (size_t i = 0; i < length; ++i) working[start + i] = static_cast<uint8_t>(random());
        break;
      case 1: {  // a run of one byte
        const auto value = static_cast<uint8_t>(random());
        std::fill_n(working.begin() + static_cast<ptrdiff_t>(start), length, value);
        break;
      }
      case 2: {  // a repeated 4-byte pattern
        const auto pattern = static_cast<uint32_t>(random());
        for (size_t i = 0; i < length; ++i) {
          working[start + i] = static_cast<uint8_t>(pattern >> (8 * (i % 4)));
        }
        break;
      }
      default: {  // an 8 × 8 block taken from one byte and one row away
        if (stride < 10 || size < 10 * stride) break;
        const size_t blockStart = stride + 1 + below(size - 9 * stride - 9);
        Bytes source(64);
        for (size_t row = 0; row < 8; ++row) {
          for (size_t column = 0; column < 8; ++column) {
            source[row * 8 + column] = working[blockStart + (row + 1) * stride + column + 1];
          }
        }
        for (size_t row = 0; row < 8; ++row) {
          std::copy_n(source.begin() + static_cast<ptrdiff_t>(row * 8), 8,
                      working.begin() + static_cast<ptrdiff_t>(blockStart + row * stride));
        }
        break;
      }
    }
  }
}

}  // namespace moviewriter
