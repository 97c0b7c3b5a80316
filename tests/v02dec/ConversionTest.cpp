// Movie pixels to 24-bit bitmap bytes and sound bytes to 16-bit samples,
// read back through whole VD00 movies.

#include <gtest/gtest.h>

#include "tests/common/FormatFigures.h"
#include "tests/v02dec/MovieBytes.h"
#include "v02dec/V02Decode.h"

namespace {

TEST(Conversion, MoviePixelsToBlueGreenRed) {
  const auto& cases = porute_test::kPixelFigures;
  static_assert(std::size(porute_test::kPixelFigures) == 8);
  // One 8 x 8 frame: the cases in the top row, the bottom row the reverse.
  Bytes movie = V00Header({});
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      int index = y == 7 ? 7 - x : x;
      PutLe16(movie, y == 0 || y == 7 ? cases[index].pixel : 0);
    }
  }
  TempDir dir;
  V02Decode decoder;
  ASSERT_EQ(decoder.Open(dir.Write("m.V00", movie)), kMovieOk);
  ASSERT_EQ(decoder.ReadChunk(), kMovieOk);
  const TBitmap& bitmap = *decoder.frameBitmaps[0];
  for (int x = 0; x < 8; ++x) {
    SCOPED_TRACE(testing::Message() << std::hex << cases[x].pixel);
    const Bytes bgr(cases[x].bgr, cases[x].bgr + 3);
    EXPECT_EQ(Bytes(bitmap.ScanLine(0) + 3 * x, bitmap.ScanLine(0) + 3 * x + 3), bgr);
    EXPECT_EQ(Bytes(bitmap.ScanLine(7) + 3 * (7 - x), bitmap.ScanLine(7) + 3 * (7 - x) + 3), bgr);
  }
  // The pixel memory begins with the bottom row.
  EXPECT_EQ(bitmap.Pixels(), bitmap.ScanLine(7));
  decoder.Close();
}

// All 65,536 pixel values in one 256 x 256 frame, against the rule: each
// 5-bit component moved to the top of its byte, bit 15 ignored.
TEST(Conversion, EveryPixelValue) {
  Bytes movie = V00Header({.width = 256, .height = 256});
  for (uint32_t p = 0; p < 65536; ++p) PutLe16(movie, p);
  TempDir dir;
  V02Decode decoder;
  ASSERT_EQ(decoder.Open(dir.Write("m.V00", movie)), kMovieOk);
  ASSERT_EQ(decoder.ReadChunk(), kMovieOk);
  const TBitmap& bitmap = *decoder.frameBitmaps[0];
  for (uint32_t p = 0; p < 65536; ++p) {
    const uint8_t* bgr = bitmap.ScanLine(static_cast<int>(p / 256)) + 3 * (p % 256);
    const uint32_t blue = p & 0x1F, red = (p >> 5) & 0x1F, green = (p >> 10) & 0x1F;
    ASSERT_EQ(Bytes(bgr, bgr + 3),
              Bytes({uint8_t(blue << 3), uint8_t(green << 3), uint8_t(red << 3)}))
        << std::hex << p;
  }
  decoder.Close();
}

TEST(Conversion, SoundBytesToSamples) {
  const auto& figures = porute_test::kSoundFigures;
  // Rate code 1 is 10 Hz; at scale 60 that is 80 sound bytes per chunk.
  Bytes sound(80, 0x80);
  for (size_t i = 0; i < std::size(figures); ++i) sound[i] = figures[i].soundByte;
  TempDir dir;
  dir.Write("m.snd", Concat({CompanionHeader(1), sound}));
  V02Decode decoder;
  ASSERT_EQ(decoder.Open(dir.Write("m.V00", Concat({V00Header({.scale = 60}), Bytes(128, 0)}))),
            kMovieOk);
  ASSERT_EQ(decoder.ReadChunk(), kMovieOk);
  for (size_t i = 0; i < std::size(figures); ++i) {
    EXPECT_EQ(decoder.soundBlock[i], figures[i].sample) << std::hex << +figures[i].soundByte;
  }
  for (size_t i = std::size(figures); i < 80; ++i) ASSERT_EQ(decoder.soundBlock[i], 0);
  decoder.Close();
}

// Row fill: 10 pixels take 30 of a 32-byte row, and the 2 fill bytes are
// never written; 8 pixels fill a 24-byte row whole.
TEST(Conversion, RowFillIsLeftUntouched) {
  for (uint32_t width : {10u, 8u}) {
    SCOPED_TRACE(width);
    Bytes movie = V00Header({.width = width});
    for (uint32_t i = 0; i < width * 8; ++i) PutLe16(movie, 0x7FFF);
    TempDir dir;
    V02Decode decoder;
    ASSERT_EQ(decoder.Open(dir.Write("m.V00", movie)), kMovieOk);
    TBitmap& bitmap = *decoder.frameBitmaps[0];
    ASSERT_EQ(bitmap.RowBytes(), width == 10 ? 32u : 24u);
    std::fill_n(bitmap.Pixels(), bitmap.PixelBytes(), 0xEE);
    ASSERT_EQ(decoder.ReadChunk(), kMovieOk);
    Bytes row(3 * width, 0xF8);
    row.resize(bitmap.RowBytes(), 0xEE);
    for (int y = 0; y < 8; ++y) {
      EXPECT_EQ(Bytes(bitmap.ScanLine(y), bitmap.ScanLine(y) + bitmap.RowBytes()), row);
    }
    decoder.Close();
  }
}

}  // namespace
