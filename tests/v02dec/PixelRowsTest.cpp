// Every row conversion this processor can run gives the bytes of the rule,
// for every pixel value and for rows of any length, and never writes past
// 3 bytes per pixel.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/v02dec/MovieBytes.h"
#include "v02dec/PixelRows.h"

namespace {

std::vector<pixelrows::Path> Paths() {
  size_t count = 0;
  const pixelrows::Path* paths = pixelrows::Available(&count);
  return std::vector<pixelrows::Path>(paths, paths + count);
}

TEST(PixelRows, PortableFirstAndTheBestIsOneOfThem) {
  const auto paths = Paths();
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(std::string(paths.front().name), "portable");
  EXPECT_EQ(pixelrows::Best(), paths.back().convert);
  for (const auto& path : paths) std::printf("pixel row conversion available: %s\n", path.name);
}

// All 65,536 values in one row, against the rule: each 5-bit component moved
// to the top of its byte (blue from bits 0-4, green from 10-14, red from
// 5-9), bit 15 ignored.
TEST(PixelRows, EveryPixelValue) {
  std::vector<uint16_t> pixels(65536);
  for (uint32_t p = 0; p < 65536; ++p) pixels[p] = static_cast<uint16_t>(p);
  for (const auto& path : Paths()) {
    SCOPED_TRACE(path.name);
    Bytes out(3 * 65536);
    path.convert(pixels.data(), pixels.size(), out.data());
    for (uint32_t p = 0; p < 65536; ++p) {
      const uint8_t blue = static_cast<uint8_t>((p & 0x1F) << 3);
      const uint8_t green = static_cast<uint8_t>(((p >> 10) & 0x1F) << 3);
      const uint8_t red = static_cast<uint8_t>(((p >> 5) & 0x1F) << 3);
      ASSERT_EQ(Bytes(out.begin() + 3 * p, out.begin() + 3 * p + 3), Bytes({blue, green, red}))
          << std::hex << p;
    }
  }
}

// Random frames at the widths a movie may have, each row written into a
// bitmap-like row with 16 guard bytes after its pixels: every path gives the
// portable path's bytes and leaves the guard bytes as they were. Widths 0 to
// 100 cover every split of a row into vector blocks and a remainder.
TEST(PixelRows, RandomRowsMatchThePortablePathAndStayInTheRow) {
  std::vector<size_t> widths = {8, 10, 12, 16, 320, 322};
  for (size_t w = 0; w <= 100; ++w) widths.push_back(w);
  std::mt19937 random(20240607);
  const auto paths = Paths();
  constexpr uint8_t kGuard = 0xEE;
  for (size_t width : widths) {
    SCOPED_TRACE(testing::Message() << "width " << width);
    const size_t height = 8;
    std::vector<uint16_t> frame(width * height);
    for (uint16_t& p : frame) p = static_cast<uint16_t>(random());
    for (size_t y = 0; y < height; ++y) {
      Bytes expected(3 * width + 16, kGuard);
      paths.front().convert(frame.data() + y * width, width, expected.data());
      for (const auto& path : paths) {
        SCOPED_TRACE(path.name);
        Bytes row(3 * width + 16, kGuard);
        path.convert(frame.data() + y * width, width, row.data());
        ASSERT_EQ(row, expected) << "row " << y;
      }
    }
  }
}

}  // namespace
