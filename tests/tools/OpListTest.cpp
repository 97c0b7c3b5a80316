// Op lists built with the builders, byte for byte: the format's worked
// examples and every override for damaged data.

#include <gtest/gtest.h>

#include "tools/moviewriter/Content.h"
#include "tools/moviewriter/OpList.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace mw = moviewriter;

namespace {

mw::OpList Example1() {
  return mw::OpList{}
      .Add(mw::FillBytesOp({{0x10, {{0, 3}, {2, 6}}}}))
      .Add(mw::CopyBytesOp({{64, {0xAA, 0xBB}}}));
}
mw::OpList Example2() { return mw::OpList{}.Add(mw::FillWordsOp({{{1, 2, 3, 4}, {{8, 2}}}})); }
mw::OpList Example3() { return mw::OpList{}.Add(mw::MoveBlocksOp({{0, 36}, {8, -8}})); }

TEST(OpList, WorkedExamplesAreExact) {
  EXPECT_EQ(mw::ToHex(Example1().ToBytes()),
            mw::ToHex(mw::FromHex("02 00 · 04 11 0D 00 00 00 01 00 00 00 10 02 00 00 00 00 03 02 06 "
                                  "· 04 21 08 00 00 00 01 00 00 00 40 02 AA BB")));
  EXPECT_EQ(mw::ToHex(Example2().ToBytes()),
            mw::ToHex(mw::FromHex("01 00 · 04 14 0E 00 00 00 01 00 00 00 01 02 03 04 01 00 00 00 08 02")));
  EXPECT_EQ(mw::ToHex(Example3().ToBytes()),
            mw::ToHex(mw::FromHex("01 00 · 08 30 08 00 00 00 02 00 00 00 00 24 08 F8")));
}

// The examples' effects, through the reference model, from random content.
TEST(OpList, WorkedExamplesChangeExactlyTheirBytes) {
  const mw::FrameGeometry small{16, 8};
  const mw::Bytes before = mw::RandomBytes(96, 11);

  mw::Bytes expected = before;
  std::fill_n(expected.begin(), 3, 0x10);
  std::fill_n(expected.begin() + 5, 6, 0x10);
  expected[64] = 0xAA;
  expected[65] = 0xBB;
  mw::Bytes working = before;
  size_t position = 0;
  ASSERT_TRUE(mw::ApplyOpList(Example1().ToBytes(), position, small, working));
  EXPECT_EQ(position, 35u);
  EXPECT_EQ(working, expected);

  expected = before;
  const uint8_t pattern[] = {1, 2, 3, 4, 1, 2, 3, 4};
  std::copy(std::begin(pattern), std::end(pattern), expected.begin() + 8);
  working = before;
  position = 0;
  ASSERT_TRUE(mw::ApplyOpList(Example2().ToBytes(), position, small, working));
  EXPECT_EQ(position, 22u);
  EXPECT_EQ(working, expected);

  // 32 × 16, stride 16: the first block takes rows 2-9, bytes 4-11 of the
  // snapshot; the second rows 0-7, bytes 0-7 as they were before the op.
  const mw::FrameGeometry wide{32, 16};
  const mw::Bytes snapshot = mw::RandomBytes(384, 12);
  expected = snapshot;
  for (size_t row = 0; row < 8; ++row) {
    for (size_t column = 0; column < 8; ++column) {
      expected[row * 16 + column] = snapshot[(row + 2) * 16 + column + 4];
      expected[row * 16 + 8 + column] = snapshot[row * 16 + column];
    }
  }
  working = snapshot;
  position = 0;
  ASSERT_TRUE(mw::ApplyOpList(Example3().ToBytes(), position, wide, working));
  EXPECT_EQ(position, 16u);
  EXPECT_EQ(working, expected);
}

TEST(OpList, OverridesAndOddShapesAreExact) {
  struct Case {
    const char* name;
    mw::OpList list;
    const char* bytes;
  };
  mw::Op longer = mw::FillBytesOp({{0x22, {{0, 4}}}});
  longer.lengthOverride = 0x100;
  mw::Op shorter = mw::CopyBytesOp({{1, {9, 9}}});
  shorter.lengthOverride = 2;
  mw::OpList countOverride;
  countOverride.Add(mw::EmptyOp(0x1234));
  countOverride.opCountOverride = 3;
  const Case cases[] = {
      {"empty list", mw::OpList{}, "00 00"},
      {"length 0", mw::OpList{}.Add(mw::EmptyOp(mw::kOpMoveBlocks)), "01 00 08 30 00 00 00 00"},
      {"count 0", mw::OpList{}.Add(mw::FillWordsOp({})), "01 00 04 14 04 00 00 00 00 00 00 00"},
      {"unknown type", mw::OpList{}.Add(mw::RawOp(0xBEEF, {1, 2})), "01 00 EF BE 02 00 00 00 01 02"},
      {"fill bytes entry with run count 0 takes 5 bytes",
       mw::OpList{}.Add(mw::FillBytesOp({{0x33, {}}})), "01 00 04 11 09 00 00 00 01 00 00 00 33 00 00 00 00"},
      {"fill words entry with run count 0 takes 8 bytes",
       mw::OpList{}.Add(mw::FillWordsOp({{{1, 2, 3, 4}, {}}})),
       "01 00 04 14 0C 00 00 00 01 00 00 00 01 02 03 04 00 00 00 00"},
      {"surplus payload",
       mw::OpList{}.Add(mw::MoveBlocksOp({{0, 0}}).AddSurplus(mw::FromHex("EE EE"))),
       "01 00 08 30 08 00 00 00 01 00 00 00 00 00 EE EE"},
      {"entry count override", mw::OpList{}.Add(mw::FillBytesOp({}, 7)),
       "01 00 04 11 04 00 00 00 07 00 00 00"},
      {"run count override", mw::OpList{}.Add(mw::FillBytesOp({{0x44, {{1, 1}}, 9}})),
       "01 00 04 11 0B 00 00 00 01 00 00 00 44 09 00 00 00 01 01"},
      {"copy count beyond data",
       mw::OpList{}.Add(mw::CopyBytesOp({{0, {5}, mw::PackedForm::kShortest, mw::PackedForm::kShortest, 300}})),
       "01 00 04 21 09 00 00 00 01 00 00 00 00 FF 2C 01 05"},
      {"length longer than payload", mw::OpList{}.Add(longer),
       "01 00 04 11 00 01 00 00 01 00 00 00 22 01 00 00 00 00 04"},
      {"length shorter than payload", mw::OpList{}.Add(shorter),
       "01 00 04 21 02 00 00 00 01 00 00 00 01 02 09 09"},
      {"op count override", countOverride, "03 00 34 12 00 00 00 00"},
      {"signed and unsigned long forms",
       mw::OpList{}.Add(mw::MoveBlocksOp(
           {{3, -2, mw::PackedForm::kThreeBytes, mw::PackedForm::kSevenBytes}})),
       "01 00 08 30 0E 00 00 00 01 00 00 00 FF 03 00 80 00 80 FE FF FF FF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mw::ToHex(c.list.ToBytes()), c.bytes) << c.name;
  }
}

}  // namespace
