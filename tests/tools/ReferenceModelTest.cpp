// The reference model against the format's own figures: op semantics on the
// edges, the expansion of Example 4, the pixel and sound conversion tables,
// and the row fill of the frame memory.

#include <gtest/gtest.h>

#include "tests/common/FormatFigures.h"
#include "tools/moviewriter/Content.h"
#include "tools/moviewriter/OpList.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace mw = moviewriter;

namespace {

const mw::FrameGeometry kSmall{16, 8};  // 96 bytes, stride 8, chroma from 64

// Applies an op list to bytes 0, 1, 2, ... 95 and gives the frame as hex.
std::string AfterOps(const mw::OpList& list) {
  mw::Bytes working(96);
  for (size_t i = 0; i < working.size(); ++i) working[i] = static_cast<uint8_t>(i);
  const mw::Bytes bytes = list.ToBytes();
  size_t position = 0;
  if (!mw::ApplyOpList(bytes, position, kSmall, working)) return "refused";
  if (position != bytes.size()) return "stopped early";
  return mw::ToHex(working);
}

// The frame 0, 1, ... 95 with some bytes replaced.
std::string Counting(std::initializer_list<std::pair<size_t, uint8_t>> changes) {
  mw::Bytes working(96);
  for (size_t i = 0; i < working.size(); ++i) working[i] = static_cast<uint8_t>(i);
  for (const auto& [at, value] : changes) working[at] = value;
  return mw::ToHex(working);
}

TEST(ReferenceModel, OpSemanticsOnTheEdges) {
  struct Case {
    const char* name;
    mw::OpList list;
    std::string expected;
  };
  const Case cases[] = {
      {"second fill entry starts again from offset 0",
       mw::OpList{}.Add(mw::FillBytesOp({{0xAA, {{4, 1}}}, {0xBB, {{2, 1}, {1, 1}}}})),
       Counting({{4, 0xAA}, {2, 0xBB}, {4, 0xBB}})},
      {"copy skips add up over the op",
       mw::OpList{}.Add(mw::CopyBytesOp({{2, {0xA1}}, {2, {0xA2}}})),
       Counting({{2, 0xA1}, {5, 0xA2}})},
      {"a run of count 0 moves the cursor by its skip",
       mw::OpList{}.Add(mw::FillWordsOp({{{9, 9, 9, 9}, {{5, 0}, {1, 1}}}})),
       Counting({{6, 9}, {7, 9}, {8, 9}, {9, 9}})},
      {"the snapshot holds an earlier fill of the list",
       mw::OpList{}.Add(mw::FillBytesOp({{0xCC, {{8, 1}}}})).Add(mw::MoveBlocksOp({{0, 8}})),
       [] {
         // The block covers the whole luma plane (8 rows of 8) and takes
         // every byte from 8 further on, byte 8 being the fill.
         mw::Bytes frame(96);
         for (size_t i = 0; i < 96; ++i) frame[i] = static_cast<uint8_t>(i < 64 ? i + 8 : i);
         frame[0] = 0xCC;
         return mw::ToHex(frame);
       }()},
      {"unknown types and zero lengths are passed over, surplus is skipped",
       mw::OpList{}
           .Add(mw::RawOp(0x1105, mw::FromHex("01 00 00 00 EE 01 00 00 00 00 05")))
           .Add(mw::EmptyOp(mw::kOpFillBytes))
           .Add(mw::FillBytesOp({{0xDD, {{1, 1}}}}).AddSurplus(mw::FromHex("04 11"))),
       Counting({{1, 0xDD}})},
      {"a fill runs from the luma plane into the chroma plane",
       mw::OpList{}.Add(mw::FillBytesOp({{0x5A, {{62, 4}}}})),
       Counting({{62, 0x5A}, {63, 0x5A}, {64, 0x5A}, {65, 0x5A}})},
      {"a fill to the last byte", mw::OpList{}.Add(mw::FillWordsOp({{{1, 2, 3, 4}, {{92, 1}}}})),
       Counting({{92, 1}, {93, 2}, {94, 3}, {95, 4}})},
      {"one past the last byte", mw::OpList{}.Add(mw::FillWordsOp({{{1, 2, 3, 4}, {{93, 1}}}})),
       "refused"},
      {"a block source before the frame", mw::OpList{}.Add(mw::MoveBlocksOp({{1, -2}})), "refused"},
      {"a payload shorter than its counts", mw::OpList{}.Add(mw::FillBytesOp({{1, {{0, 1}}}}, 2)),
       "refused"},
      {"an op past the end of the data",
       [] {
         mw::Op op = mw::EmptyOp(0x0001);
         op.lengthOverride = 1;
         return mw::OpList{}.Add(op);
       }(),
       "refused"},
  };
  for (const Case& c : cases) EXPECT_EQ(AfterOps(c.list), c.expected) << c.name;
}

TEST(ReferenceModel, ExpansionOfExample4) {
  // Luma byte 0x05 over chroma byte 0x80; level pair 5 stored as 01 02.
  mw::ColourTable colours;
  colours.SetLevelPair(0x05, 1, 2);
  colours.bytes[768] = 0x11;  // entry 1 × 256 + 128
  colours.bytes[769] = 0x22;
  colours.bytes[1280] = 0x33;  // entry 2 × 256 + 128
  colours.bytes[1281] = 0x44;
  EXPECT_EQ(mw::ToHex(std::span<const uint8_t>(colours.bytes).subspan(32768 + 10, 2)), "01 02");
  mw::Bytes working(96, 0x05);
  std::fill(working.begin() + 64, working.end(), 0x80);
  mw::PixelFrame pixels;
  ASSERT_TRUE(mw::ExpandFrame(working, colours, kSmall, pixels));
  ASSERT_EQ(pixels.size(), 128u);
  for (size_t i = 0; i < pixels.size(); i += 2) {
    EXPECT_EQ(pixels[i], 0x2211);
    EXPECT_EQ(pixels[i + 1], 0x4433);
  }
}

// Each chroma byte covers a 2 × 2 square; each luma byte a pixel pair.
TEST(ReferenceModel, ExpansionAddressesEveryPixel) {
  mw::ColourTable colours;
  for (uint32_t luma = 0; luma < 256; ++luma) {
    colours.SetLevelPair(static_cast<uint8_t>(luma), static_cast<uint8_t>(luma % 64),
                         static_cast<uint8_t>(63 - luma % 64));
  }
  for (uint32_t level = 0; level < 64; ++level) {
    for (uint32_t chroma = 0; chroma < 256; ++chroma) {
      colours.SetPixel(level, static_cast<uint8_t>(chroma), static_cast<uint16_t>(level << 8 | chroma));
    }
  }
  mw::Bytes working(96);
  for (size_t i = 0; i < working.size(); ++i) working[i] = static_cast<uint8_t>(i);
  mw::PixelFrame pixels;
  ASSERT_TRUE(mw::ExpandFrame(working, colours, kSmall, pixels));
  // Pixel (5, 3): luma byte 3 × 8 + 2 = 26, odd x takes the right level
  // 63 - 26; chroma byte 64 + 1 × 8 + 2 = 74.
  EXPECT_EQ(pixels[3 * 16 + 5], (63 - 26) << 8 | 74);
  // Pixel (14, 7): luma byte 63, left level 63; chroma byte 64 + 24 + 7.
  EXPECT_EQ(pixels[7 * 16 + 14], 63 << 8 | 95);

  colours.SetLevelPair(26, 3, 64);
  EXPECT_FALSE(mw::ExpandFrame(working, colours, kSmall, pixels));
}

TEST(ReferenceModel, PixelConversionTable) {
  for (const porute_test::PixelFigure& c : porute_test::kPixelFigures) {
    const mw::PixelFrame frame(64, c.pixel);
    const mw::Bytes memory = mw::ToFrameMemory(frame, 8, 8);
    ASSERT_EQ(memory.size(), 8u * 24u);
    EXPECT_EQ(mw::Bytes(memory.begin(), memory.begin() + 3), mw::Bytes(c.bgr, c.bgr + 3))
        << c.pixel;
  }
}

TEST(ReferenceModel, FrameMemoryIsBottomUpWithZeroFill) {
  // 10 pixels wide: 30 bytes of pixels and 2 of fill per 32-byte row.
  mw::PixelFrame frame(10 * 8, 0x7FFF);
  for (size_t x = 0; x < 10; ++x) frame[x] = 0x001F;  // top row blue
  const mw::Bytes memory = mw::ToFrameMemory(frame, 10, 8);
  ASSERT_EQ(memory.size(), 8u * 32u);
  EXPECT_EQ(mw::FrameRowBytes(10), 32u);
  EXPECT_EQ(mw::FrameRowBytes(8), 24u);
  // The top row is last in memory.
  EXPECT_EQ(mw::ToHex(std::span<const uint8_t>(memory).subspan(7 * 32, 3)), "F8 00 00");
  EXPECT_EQ(mw::ToHex(std::span<const uint8_t>(memory).first(3)), "F8 F8 F8");
  for (size_t row = 0; row < 8; ++row) {
    EXPECT_EQ(memory[row * 32 + 30], 0);
    EXPECT_EQ(memory[row * 32 + 31], 0);
  }
  const mw::Bytes topDown = mw::FrameMemoryToTopDownBgr(memory, 10, 8);
  ASSERT_EQ(topDown.size(), 240u);
  EXPECT_EQ(mw::ToHex(std::span<const uint8_t>(topDown).first(3)), "F8 00 00");
}

TEST(ReferenceModel, SoundConversionTable) {
  for (const porute_test::SoundFigure& c : porute_test::kSoundFigures) {
    EXPECT_EQ(mw::SampleOfSoundByte(c.soundByte), c.sample) << +c.soundByte;
  }
  const uint8_t bytes[] = {0x7F, 0x81};
  EXPECT_EQ(mw::ToHex(mw::ToSoundBlock(bytes)), "00 81 00 01");
}

TEST(Content, ToneIsSignAndMagnitude) {
  // 2000 Hz at 8000 Hz: a quarter turn per sample.
  EXPECT_EQ(mw::ToHex(mw::ToneBytes(2000, 8000, 5, 100)), "80 E4 80 64 80");
  EXPECT_EQ(mw::SoundByteOf(-127), 0x7F);
  EXPECT_EQ(mw::SoundByteOf(-300), 0x7F);
  EXPECT_EQ(mw::SoundByteOf(0), 0x80);
  EXPECT_EQ(mw::SoundByteOf(127), 0xFF);
  // A tone continues across blocks.
  const mw::Bytes whole = mw::ToneBytes(440, 8000, 100);
  const mw::Bytes tail = mw::ToneBytes(440, 8000, 40, 96, 60);
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), whole.begin() + 60));
}

}  // namespace
