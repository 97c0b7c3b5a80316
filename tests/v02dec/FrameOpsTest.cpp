// Op lists applied to the working frame, byte for byte: the worked examples,
// the corner cases of well-formed lists, and each kind of damaged list with
// the behaviour we chose for it.

#include <gtest/gtest.h>

#include <atomic>

#include <algorithm>
#include <functional>
#include <random>

#include "tests/v02dec/MovieBytes.h"
#include "v02dec/V02Decode.h"

namespace {

Bytes Op(uint16_t type, const Bytes& payload) {
  Bytes op;
  PutLe16(op, type);
  PutLe32(op, static_cast<uint32_t>(payload.size()));
  op.insert(op.end(), payload.begin(), payload.end());
  return op;
}

Bytes OpList(std::initializer_list<Bytes> ops) {
  Bytes list;
  PutLe16(list, static_cast<uint32_t>(ops.size()));
  for (const Bytes& op : ops) list.insert(list.end(), op.begin(), op.end());
  return list;
}

constexpr uint16_t kFillBytes = 0x1104, kFillWords = 0x1404, kCopyBytes = 0x2104,
                   kMoveBlocks = 0x3008;

// The planes as the test expects them: working frame then reference copy.
struct Planes {
  Bytes bytes;
  size_t size;    // S
  size_t stride;  // w / 2

  void Set(size_t offset, const Bytes& values) {
    std::copy(values.begin(), values.end(), bytes.begin() + static_cast<long>(offset));
  }
  void Fill(size_t offset, size_t count, uint8_t value) {
    std::fill_n(bytes.begin() + static_cast<long>(offset), count, value);
  }
  void Snapshot() { std::copy_n(bytes.begin(), size, bytes.begin() + static_cast<long>(size)); }
  // An 8 x 8 block at `position` taken from the snapshot at `position + d`.
  void Block(size_t position, long displacement) {
    for (size_t r = 0; r < 8; ++r) {
      for (size_t c = 0; c < 8; ++c) {
        size_t at = position + r * stride + c;
        bytes[at] = bytes[size + static_cast<size_t>(static_cast<long>(at) + displacement)];
      }
    }
  }
};

struct OpCase {
  const char* name;
  uint32_t width, height;
  Bytes video;
  size_t end;                           // position DecodeFrame returns
  std::function<void(Planes&)> expect;  // edits from the starting planes
};

class FrameOps : public ::testing::Test {
 protected:
  void OpenFrame(uint32_t w, uint32_t h, const Bytes& table = DistinctColourTable()) {
    V02Fields fields;
    fields.width = w;
    fields.height = h;
    decoder.Close();
    ASSERT_EQ(decoder.Open(dir.Write("frame.V02", Concat({V02Header(fields), table}))), kMovieOk);
  }
  Bytes CurrentPlanes() {
    return Bytes(decoder.WorkingFrame(), decoder.WorkingFrame() + 2 * decoder.PlaneSize());
  }
  size_t Decode(const Bytes& video, size_t position = 0) {
    EXPECT_TRUE(decoder.LoadVideoData(video.data(), video.size()));
    return decoder.DecodeFrame(position, decoder.Frame16());
  }
  std::vector<uint16_t> Frame() {
    return std::vector<uint16_t>(
        decoder.Frame16(),
        decoder.Frame16() + decoder.Parameters().width * decoder.Parameters().height);
  }

  TempDir dir;
  V02Decode decoder;
};

TEST_F(FrameOps, OpListsChangeExactlyTheBytesTheyDescribe) {
  const std::vector<OpCase> cases = {
      {"Example 1: fill runs, then a copy into the chroma plane", 16, 8,
       {0x02, 0x00, 0x04, 0x11, 0x0D, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x10, 0x02,
        0x00, 0x00, 0x00, 0x00, 0x03, 0x02, 0x06, 0x04, 0x21, 0x08, 0x00, 0x00, 0x00, 0x01,
        0x00, 0x00, 0x00, 0x40, 0x02, 0xAA, 0xBB},
       35,
       [](Planes& p) {
         p.Fill(0, 3, 0x10);
         p.Fill(5, 6, 0x10);
         p.Set(64, {0xAA, 0xBB});
       }},
      {"Example 2: a word pattern", 16, 8,
       {0x01, 0x00, 0x04, 0x14, 0x0E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x02,
        0x03, 0x04, 0x01, 0x00, 0x00, 0x00, 0x08, 0x02},
       22, [](Planes& p) { p.Set(8, {1, 2, 3, 4, 1, 2, 3, 4}); }},
      {"Example 3: blocks read the snapshot, not each other", 32, 16,
       {0x01, 0x00, 0x08, 0x30, 0x08, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x24,
        0x08, 0xF8},
       16,
       [](Planes& p) {
         p.Snapshot();
         p.Block(0, 36);
         p.Block(8, -8);
       }},
      {"op count 0", 16, 8, {0x00, 0x00}, 2, [](Planes&) {}},
      {"an unknown type is passed over by its length", 16, 8,
       Concat({OpList({Op(0x9999, {0x04, 0x11, 0x00}),
                       Op(kFillBytes, {1, 0, 0, 0, 0x77, 1, 0, 0, 0, 2, 3})})}),
       28, [](Planes& p) { p.Fill(2, 3, 0x77); }},
      {"length 0: six bytes, nothing read, no snapshot", 16, 8,
       OpList({Op(kFillBytes, {}), Op(kFillWords, {}), Op(kCopyBytes, {}), Op(kMoveBlocks, {})}),
       26, [](Planes&) {}},
      {"count 0 does nothing and takes no snapshot", 16, 8,
       OpList({Op(kFillBytes, {0, 0, 0, 0}), Op(kMoveBlocks, {0, 0, 0, 0})}), 22, [](Planes&) {}},
      {"surplus payload bytes are ignored", 16, 8,
       OpList({Op(kFillBytes, {1, 0, 0, 0, 0x55, 1, 0, 0, 0, 0, 2, 0xEE, 0xEE, 0xEE}),
               Op(kCopyBytes, {1, 0, 0, 0, 16, 1, 0x99})}),
       35,
       [](Planes& p) {
         p.Fill(0, 2, 0x55);
         p.Set(16, {0x99});
       }},
      {"entries with run count 0 take 5 and 8 bytes", 16, 8,
       OpList({Op(kFillBytes, {2, 0, 0, 0, 0x11, 0, 0, 0, 0, 0x22, 1, 0, 0, 0, 4, 2}),
               Op(kFillWords, {2, 0, 0, 0, 0xA1, 0xA2, 0xA3, 0xA4, 0, 0, 0, 0, 0xB1, 0xB2, 0xB3,
                               0xB4, 1, 0, 0, 0, 16, 1})}),
       2 + 22 + 28,
       [](Planes& p) {
         p.Fill(4, 2, 0x22);
         p.Set(16, {0xB1, 0xB2, 0xB3, 0xB4});
       }},
      {"runs of an entry add up; a count-0 run only skips", 16, 8,
       OpList({Op(kFillBytes, {1, 0, 0, 0, 0x44, 3, 0, 0, 0, 5, 0, 2, 2, 1, 1})}), 23,
       [](Planes& p) {
         p.Fill(7, 2, 0x44);
         p.Set(10, {0x44});
       }},
      {"every fill entry starts again at offset 0", 16, 8,
       OpList({Op(kFillBytes, {2, 0, 0, 0, 0x01, 1, 0, 0, 0, 10, 2, 0x02, 1, 0, 0, 0, 11, 1}),
               Op(kFillWords, {2, 0, 0, 0, 1, 2, 3, 4, 1, 0, 0, 0, 0, 1, 5, 6, 7, 8, 1, 0, 0, 0,
                               2, 1})}),
       2 + 24 + 30,
       [](Planes& p) { p.Set(0, {1, 2, 5, 6, 7, 8, 0x06, 0x07, 0x08, 0x09, 0x01, 0x02}); }},
      {"copy skips add up over the whole op", 16, 8,
       OpList({Op(kCopyBytes, {2, 0, 0, 0, 2, 2, 0xC1, 0xC2, 3, 1, 0xC3})}), 19,
       [](Planes& p) {
         p.Set(2, {0xC1, 0xC2});
         p.Set(7, {0xC3});
       }},
      {"packed numbers in longer forms than needed", 16, 8,
       OpList({Op(kFillBytes,
                  {1, 0, 0, 0, 0x66, 1, 0, 0, 0, 0xFF, 5, 0, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0})}),
       27, [](Planes& p) { p.Fill(5, 2, 0x66); }},
      {"a fill runs from the luma plane into the chroma plane", 16, 8,
       OpList({Op(kFillBytes, {1, 0, 0, 0, 0x5E, 1, 0, 0, 0, 62, 4})}), 19,
       [](Planes& p) { p.Fill(62, 4, 0x5E); }},
      {"a fill before the blocks is seen; a second MoveBlocks sees the first", 16, 8,
       Concat({OpList({Op(kFillBytes, {1, 0, 0, 0, 0xF0, 1, 0, 0, 0, 0, 8}),
                       Op(kMoveBlocks, {1, 0, 0, 0, 32, 0xE0}),
                       Op(kMoveBlocks, {1, 0, 0, 0, 0, 32})})}),
       2 + 17 + 12 + 12,
       [](Planes& p) {
         p.Fill(0, 8, 0xF0);
         p.Snapshot();
         p.Block(32, -32);
         p.Snapshot();
         p.Block(0, 32);
       }},
      {"skip 0 puts a block on the one before; displacement 0 restores", 16, 8,
       OpList({Op(kMoveBlocks, {2, 0, 0, 0, 8, 8, 0, 0})}), 16, [](Planes& p) { p.Snapshot(); }},

      // Damaged op lists.
      {"an op header cut short ends the list at the end of the data", 16, 8,
       {0x02, 0x00, 0x04, 0x11, 0x0D, 0x00}, 6, [](Planes&) {}},
      {"more ops counted than present: those present apply", 16, 8,
       Concat({{0x03, 0x00}, Op(kFillBytes, {1, 0, 0, 0, 0x33, 1, 0, 0, 0, 1, 1})}), 19,
       [](Planes& p) { p.Set(1, {0x33}); }},
      {"a length past the data leaves the op the bytes that are there", 16, 8,
       {0x01, 0x00, 0x04, 0x11, 0x00, 0x01, 0x00, 0x00, 1, 0, 0, 0, 0x34, 1, 0, 0, 0, 1, 2}, 19,
       [](Planes& p) { p.Fill(1, 2, 0x34); }},
      {"fewer runs than counted: the op stops, the next op still runs", 16, 8,
       OpList({Op(kFillBytes, {1, 0, 0, 0, 0x21, 3, 0, 0, 0, 0, 1, 2, 1}),
               Op(kCopyBytes, {1, 0, 0, 0, 20, 1, 0xC0})}),
       2 + 19 + 13,
       [](Planes& p) {
         p.Set(0, {0x21});
         p.Set(3, {0x21});
         p.Set(20, {0xC0});
       }},
      {"a run whose packed number is cut is not applied", 16, 8,
       OpList({Op(kFillBytes, {1, 0, 0, 0, 0x22, 2, 0, 0, 0, 1, 1, 0xFF, 0x2C})}), 21,
       [](Planes& p) { p.Set(1, {0x22}); }},
      {"a copy run short of data copies the bytes that are there", 16, 8,
       OpList({Op(kCopyBytes, {1, 0, 0, 0, 4, 5, 0xD1, 0xD2})}), 16,
       [](Planes& p) { p.Set(4, {0xD1, 0xD2}); }},
      {"a fill past the end of the working frame is clamped", 16, 8,
       OpList({Op(kFillBytes, {1, 0, 0, 0, 0x5A, 1, 0, 0, 0, 90, 20})}), 19,
       [](Planes& p) { p.Fill(90, 6, 0x5A); }},
      {"a word run clamped at the end keeps the leading pattern bytes", 16, 8,
       OpList({Op(kFillWords, {1, 0, 0, 0, 1, 2, 3, 4, 1, 0, 0, 0, 93, 2})}), 22,
       [](Planes& p) { p.Set(93, {1, 2, 3}); }},
      {"a copy past the end copies what fits", 16, 8,
       OpList({Op(kCopyBytes, {1, 0, 0, 0, 94, 3, 0xE1, 0xE2, 0xE3})}), 17,
       [](Planes& p) { p.Set(94, {0xE1, 0xE2}); }},
      {"a run of 2^30 words moves the cursor 2^32 bytes, without wrapping", 16, 8,
       OpList({Op(kFillWords, {1, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0xDD, 2, 0, 0, 0, 0, 0xFF, 0xFF,
                               0xFF, 0, 0, 0, 0x40, 1, 1})}),
       30,
       [](Planes& p) {
         for (size_t i = 0; i < 96; i += 4) p.Set(i, {0xAA, 0xBB, 0xCC, 0xDD});
       }},
      {"skips add up beyond 2^32 without wrapping", 16, 8,
       OpList({Op(kCopyBytes, {2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 1,
                               0x77})}),
       23, [](Planes&) {}},
      {"blocks leaving the frame or the snapshot are skipped whole", 16, 8,
       OpList({Op(kMoveBlocks, {4, 0, 0, 0, 0, 0xFF, 8, 25, 0, 0xF8, 32, 0})}), 20,
       [](Planes& p) {
         p.Snapshot();
         p.Block(8, -8);
       }},
  };

  for (const OpCase& c : cases) {
    SCOPED_TRACE(c.name);
    OpenFrame(c.width, c.height);
    const size_t size = decoder.PlaneSize();
    // Distinct starting bytes; the reference copy starts cleared.
    for (size_t i = 0; i < size; ++i) decoder.WorkingFrame()[i] = static_cast<uint8_t>(i);
    Planes expected{CurrentPlanes(), size, c.width / 2};
    c.expect(expected);

    EXPECT_EQ(Decode(c.video), c.end);
    // The reference copy is the decoder's scratch space: MoveBlocks may copy
    // into it only the sources its blocks read.
    const Bytes planes = CurrentPlanes();
    EXPECT_EQ(Bytes(planes.begin(), planes.begin() + size),
              Bytes(expected.bytes.begin(), expected.bytes.begin() + size));
  }
}

TEST_F(FrameOps, PlanesStartClearedAtOpen) {
  OpenFrame(16, 8);
  EXPECT_EQ(CurrentPlanes(), Bytes(2 * 96, 0));
}

TEST_F(FrameOps, AfterADamagedListTheNextFrameRepeatsThePicture) {
  OpenFrame(16, 8);
  const Bytes video = Concat(
      {OpList({Op(kFillBytes, {1, 0, 0, 0, 0x35, 1, 0, 0, 0, 0, 9})}), {0x02, 0x00, 0x04, 0x11}});
  ASSERT_EQ(Decode(video), 19u);
  const auto planes = CurrentPlanes();
  const auto frame = Frame();
  // The second list is cut inside its first op header; a third list would
  // start at the end of the data and find no op count.
  EXPECT_EQ(decoder.DecodeFrame(19, decoder.Frame16()), video.size());
  EXPECT_EQ(decoder.DecodeFrame(video.size(), decoder.Frame16()), video.size());
  EXPECT_EQ(CurrentPlanes(), planes);
  EXPECT_EQ(Frame(), frame);
}

// An abort is looked at inside a frame's ops, before each run is written,
// not only between frames: nothing of the frame is applied or expanded.
TEST_F(FrameOps, AbortStopsAFrameBeforeItsNextRun) {
  OpenFrame(16, 8);
  std::atomic<bool> abort{true};
  decoder.WatchAbort(&abort);
  const auto planes = CurrentPlanes();
  const auto frame = Frame();
  Decode(FillOpList(0x35, 0, 9));
  EXPECT_EQ(CurrentPlanes(), planes);
  EXPECT_EQ(Frame(), frame);
  abort = false;
  Decode(FillOpList(0x35, 0, 9));
  EXPECT_EQ(decoder.WorkingFrame()[8], 0x35);
}

// Pixel (x, y) from the luma byte y * w/2 + x/2, the chroma byte of its 2 x 2
// square and the level pair of the luma byte, for sizes of one to several
// 8-pixel groups and chroma rows.
TEST_F(FrameOps, ExpansionFollowsThePerPixelRule) {
  const Bytes table = DistinctColourTable();
  for (auto [w, h] : {std::pair{8u, 8u}, {16u, 8u}, {24u, 10u}, {64u, 18u}}) {
    SCOPED_TRACE(testing::Message() << w << " x " << h);
    OpenFrame(w, h, table);
    uint32_t seed = 12345;
    for (size_t i = 0; i < decoder.PlaneSize(); ++i) {
      seed = seed * 1103515245 + 12345;
      decoder.WorkingFrame()[i] = static_cast<uint8_t>(seed >> 16);
    }
    Decode({0x00, 0x00});
    const uint8_t* plane = decoder.WorkingFrame();
    std::vector<uint16_t> expected;
    for (uint32_t y = 0; y < h; ++y) {
      for (uint32_t x = 0; x < w; ++x) {
        uint8_t luma = plane[y * w / 2 + x / 2];
        uint8_t chroma = plane[h * w / 2 + (y / 2) * w / 2 + x / 2];
        uint8_t level = table[32768 + 2 * luma + (x % 2)];
        expected.push_back(TablePixel(table, level * 256u + chroma));
      }
    }
    EXPECT_EQ(Frame(), expected);
  }
}

// Example 4, and levels of 64 and more, which take the last row of the table.
TEST_F(FrameOps, LevelPairsSelectPixelTableRows) {
  Bytes table = DistinctColourTable();
  table[32768 + 2 * 5] = 0x01, table[32768 + 2 * 5 + 1] = 0x02;
  table[32768 + 2 * 6] = 0xFF, table[32768 + 2 * 6 + 1] = 0x40;
  OpenFrame(16, 8, table);
  decoder.WorkingFrame()[0] = 0x05;
  decoder.WorkingFrame()[1] = 0x06;
  decoder.WorkingFrame()[64] = 0x80;
  decoder.WorkingFrame()[65] = 0x81;
  Decode({0x00, 0x00});
  // Entry n of the distinct table is 4n + 1: levels 1 and 2 under chroma
  // 0x80 are entries 384 and 640; 255 and 64 clamp to 63, entry 16257.
  EXPECT_EQ(decoder.Frame16()[0], 1537);
  EXPECT_EQ(decoder.Frame16()[1], 2561);
  EXPECT_EQ(decoder.Frame16()[2], 65029);
  EXPECT_EQ(decoder.Frame16()[3], 65029);
}

// Every (luma byte, chroma byte) combination through the expansion, with a
// colour table of random pixels and random levels (up to 255, so most need
// the clamp to the last row): a 512 x 512 frame whose chroma row k holds
// byte (i + k) under luma byte i meets each combination once.
TEST_F(FrameOps, EveryLumaAndChromaCombination) {
  std::mt19937 random(77);
  Bytes table(V02Decode::kColourTableBytes);
  for (uint8_t& byte : table) byte = static_cast<uint8_t>(random());
  OpenFrame(512, 512, table);
  uint8_t* plane = decoder.WorkingFrame();
  const size_t stride = 256, chroma = 512 * stride;
  for (size_t k = 0; k < 256; ++k) {
    for (size_t i = 0; i < stride; ++i) {
      plane[2 * k * stride + i] = static_cast<uint8_t>(i);
      plane[(2 * k + 1) * stride + i] = static_cast<uint8_t>(255 - i);
      plane[chroma + k * stride + i] = static_cast<uint8_t>(i + k);
    }
  }
  Decode({0x00, 0x00});
  const std::vector<uint16_t> frame = Frame();
  for (uint32_t y = 0; y < 512; ++y) {
    for (uint32_t x = 0; x < 512; ++x) {
      const uint8_t luma = plane[y * stride + x / 2];
      const uint8_t chromaByte = plane[chroma + (y / 2) * stride + x / 2];
      const uint32_t level = std::min<uint32_t>(table[32768 + 2 * luma + x % 2], 63);
      ASSERT_EQ(frame[y * 512 + x], TablePixel(table, level * 256 + chromaByte))
          << "pixel " << x << ", " << y;
    }
  }
}

}  // namespace
