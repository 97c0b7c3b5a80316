// The packed numbers of op lists, in every form, and what a bounded read does
// when the bytes run out.

#include <gtest/gtest.h>

#include "tests/v02dec/MovieBytes.h"
#include "v02dec/ByteReader.h"

namespace {

struct PackedCase {
  Bytes bytes;
  int64_t value;
  size_t length;  // bytes consumed
};

TEST(PackedNumber, UnsignedForms) {
  const std::vector<PackedCase> cases = {
      {{0x00}, 0, 1},
      {{0xFE}, 254, 1},
      {{0xFF, 0xFF, 0x00}, 255, 3},
      {{0xFF, 0x2C, 0x01}, 300, 3},
      {{0xFF, 0xFE, 0xFF}, 65534, 3},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}, 65535, 7},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFF, 7},
      {{0xFF, 0x05, 0x00}, 5, 3},
      {{0xFF, 0xFF, 0xFF, 0x05, 0x00, 0x00, 0x00}, 5, 7},
  };
  for (const PackedCase& c : cases) {
    Bytes padded = Concat({c.bytes, {0x99}});
    ByteReader reader(padded.data(), padded.size());
    EXPECT_EQ(reader.PackedUnsigned(), c.value) << testing::PrintToString(c.bytes);
    EXPECT_EQ(reader.Offset(), c.length);
    EXPECT_FALSE(reader.Overrun());
  }
}

TEST(PackedNumber, SignedForms) {
  const std::vector<PackedCase> cases = {
      {{0x00}, 0, 1},
      {{0x7F}, 127, 1},
      {{0x81}, -127, 1},
      {{0xFF}, -1, 1},
      {{0x80, 0x80, 0xFF}, -128, 3},
      {{0x80, 0x38, 0xFF}, -200, 3},
      {{0x80, 0xFF, 0x7F}, 32767, 3},
      {{0x80, 0x01, 0x80}, -32767, 3},
      {{0x80, 0x00, 0x80, 0x00, 0x80, 0xFF, 0xFF}, -32768, 7},
      {{0x80, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80}, INT32_MIN, 7},
      {{0x80, 0x05, 0x00}, 5, 3},
  };
  for (const PackedCase& c : cases) {
    Bytes padded = Concat({c.bytes, {0x99}});
    ByteReader reader(padded.data(), padded.size());
    EXPECT_EQ(reader.PackedSigned(), c.value) << testing::PrintToString(c.bytes);
    EXPECT_EQ(reader.Offset(), c.length);
    EXPECT_FALSE(reader.Overrun());
  }
}

// A number cut short reads as 0, pins the reader at the end and marks it.
TEST(PackedNumber, CutShort) {
  for (const Bytes& bytes :
       {Bytes{}, Bytes{0xFF}, Bytes{0xFF, 0x2C}, Bytes{0xFF, 0xFF, 0xFF, 1, 2, 3}}) {
    ByteReader reader(bytes.data(), bytes.size());
    EXPECT_EQ(reader.PackedUnsigned(), 0u) << testing::PrintToString(bytes);
    EXPECT_TRUE(reader.Overrun());
    EXPECT_EQ(reader.Left(), 0u);
  }
  for (const Bytes& bytes :
       {Bytes{}, Bytes{0x80}, Bytes{0x80, 0x38}, Bytes{0x80, 0x00, 0x80, 1, 2, 3}}) {
    ByteReader reader(bytes.data(), bytes.size());
    EXPECT_EQ(reader.PackedSigned(), 0) << testing::PrintToString(bytes);
    EXPECT_TRUE(reader.Overrun());
    EXPECT_EQ(reader.Left(), 0u);
  }
}

TEST(ByteReader, SubReadersAndSkipsStopAtTheEnd) {
  const Bytes bytes = {1, 2, 3, 4, 5};
  ByteReader reader(bytes.data(), bytes.size());
  ByteReader head = reader.Sub(2);
  EXPECT_EQ(head.U32(), 0u);  // only 2 bytes inside
  EXPECT_TRUE(head.Overrun());
  EXPECT_EQ(reader.U8(), 3);
  ByteReader tail = reader.Sub(100);
  EXPECT_TRUE(reader.Overrun());
  EXPECT_EQ(tail.Left(), 2u);
  EXPECT_EQ(tail.U16(), 0x0504);
  reader.Skip(1);
  EXPECT_EQ(reader.Offset(), 5u);
}

}  // namespace
