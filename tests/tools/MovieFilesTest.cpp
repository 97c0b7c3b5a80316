// Header, chunk, VD00 and companion layouts, byte for byte.

#include <gtest/gtest.h>

#include "tools/moviewriter/MovieFiles.h"

namespace mw = moviewriter;

namespace {

std::string Head(const mw::Bytes& bytes, size_t count) {
  return mw::ToHex(std::span<const uint8_t>(bytes).first(count));
}

bool AllBytesFrom(const mw::Bytes& bytes, size_t start, uint8_t value) {
  return std::all_of(bytes.begin() + static_cast<ptrdiff_t>(start), bytes.end(),
                     [value](uint8_t b) { return b == value; });
}

TEST(MovieFiles, V02HeaderFieldsSitAtTheirOffsets) {
  mw::V02Header header;
  header.frameCount = 0x01020304;
  header.version = 7;
  header.width = 320;
  header.height = 240;
  header.scale = 5;
  header.framesPerChunk = 64;
  header.soundRate = 11025;
  header.soundBytesPerChunk = 0xA1B2C3D4;
  header.filler = 0xEE;
  const mw::Bytes bytes = header.ToBytes();
  ASSERT_EQ(bytes.size(), 256u);
  EXPECT_EQ(Head(bytes, 40),
            "56 44 30 32 EE EE EE EE 04 03 02 01 07 00 00 00 40 01 00 00 F0 00 00 00 "
            "05 00 00 00 40 00 00 00 11 2B 00 00 D4 C3 B2 A1");
  EXPECT_TRUE(AllBytesFrom(bytes, 40, 0xEE));
}

TEST(MovieFiles, V02DefaultsAndChunkLimit) {
  struct Case {
    uint32_t width, height, scale, framesPerChunk, soundRate, soundBytes;
    uint32_t wantScale, wantPerChunk, wantRate, wantSoundBytes;
    uint64_t wantPlane, wantLimit;
  };
  const Case cases[] = {
      // 0 means 6, 8, 8000 and 6400.
      {320, 240, 0, 0, 0, 0, 6, 8, 8000, 6400, 57600, 10 * 57600 + 6400 - 32},
      {16, 8, 6, 2, 8000, 16, 6, 2, 8000, 16, 96, 368},
      {8, 8, 7, 64, 22050, 1, 7, 64, 22050, 1, 48, 66 * 48 + 1 - 32},
  };
  for (const Case& c : cases) {
    mw::V02Header header;
    header.width = c.width;
    header.height = c.height;
    header.scale = c.scale;
    header.framesPerChunk = c.framesPerChunk;
    header.soundRate = c.soundRate;
    header.soundBytesPerChunk = c.soundBytes;
    const mw::V02Params params = mw::EffectiveParams(header);
    EXPECT_EQ(params.scale, c.wantScale);
    EXPECT_EQ(params.framesPerChunk, c.wantPerChunk);
    EXPECT_EQ(params.soundRate, c.wantRate);
    EXPECT_EQ(params.soundBytesPerChunk, c.wantSoundBytes);
    EXPECT_EQ(params.planeSize, c.wantPlane);
    EXPECT_EQ(params.MaxChunkSizeField(), c.wantLimit);
  }
}

TEST(MovieFiles, V02FileIsHeaderColoursThenChunks) {
  mw::V02Header header;
  header.frameCount = 1;
  header.width = 16;
  header.height = 8;
  mw::ColourTable colours;
  colours.bytes.front() = 0xC0;
  colours.bytes.back() = 0xC1;
  mw::V02Chunk first;
  first.sound = {0x81, 0x01};
  first.video = {0x00, 0x00};
  first.filler = 0x77;
  mw::V02Chunk second;
  second.sound = {0x80};
  second.video = {0xAB};
  second.sizeOverride = 0xFFFFFFFF;
  mw::V02Layout layout;
  const mw::Bytes file = mw::BuildV02(header, &colours, {first, second}, &layout);

  EXPECT_EQ(layout.colourTable, 256u);
  EXPECT_EQ(layout.chunks, 256u + 33280u);
  ASSERT_EQ(layout.chunkList.size(), 2u);
  EXPECT_EQ(file[layout.colourTable], 0xC0);
  EXPECT_EQ(file[layout.chunks - 1], 0xC1);
  const auto chunk = std::span<const uint8_t>(file).subspan(layout.chunks);
  EXPECT_EQ(mw::ToHex(chunk.first(36)),
            "77 77 77 77 04 00 00 00 77 77 77 77 77 77 77 77 77 77 77 77 77 77 77 77 "
            "77 77 77 77 77 77 77 77 81 01 00 00");
  EXPECT_EQ(layout.chunkList[0].sound, layout.chunks + 32);
  EXPECT_EQ(layout.chunkList[0].video, layout.chunks + 34);
  EXPECT_EQ(layout.chunkList[1].header, layout.chunks + 36);
  EXPECT_EQ(mw::GetU32(file, layout.chunkList[1].header + 4), 0xFFFFFFFFu);
  EXPECT_EQ(layout.chunkList[1].end, file.size());
  EXPECT_EQ(file.size(), 256u + 33280u + 36u + 34u);

  // A movie of no frames has no colour table.
  header.frameCount = 0;
  EXPECT_EQ(mw::BuildV02(header, nullptr, {}).size(), 256u);
}

TEST(MovieFiles, V00HeaderFramesAndCompanion) {
  mw::V00Header header;
  header.frameCount = 2;
  header.width = 10;
  header.height = 8;
  header.scale = 0;
  const mw::Bytes file = mw::BuildV00(header, {mw::PixelFrame(80, 0x1234), mw::PixelFrame(80, 0x8001)});
  ASSERT_EQ(file.size(), 256u + 2 * 160u);
  EXPECT_EQ(Head(file, 28),
            "56 44 30 30 00 00 00 00 02 00 00 00 00 80 00 80 0A 00 00 00 08 00 00 00 00 00 00 00");
  EXPECT_TRUE(std::all_of(file.begin() + 28, file.begin() + 256, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(mw::ToHex(std::span<const uint8_t>(file).subspan(256, 4)), "34 12 34 12");
  EXPECT_EQ(mw::ToHex(std::span<const uint8_t>(file).subspan(256 + 160, 2)), "01 80");

  const uint8_t sound[] = {0x80, 0xFF, 0x01};
  const mw::Bytes snd = mw::BuildSnd(784, sound, 0x55);
  EXPECT_EQ(mw::ToHex(snd),
            "55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 "
            "10 03 55 55 55 55 55 55 80 FF 01");
}

TEST(MovieFiles, CompanionRatesAndSoundPerChunk) {
  struct RateCase {
    uint32_t rate;
    uint16_t code;
  };
  // Rates without an exact code take the nearest code below.
  for (const RateCase& c : {RateCase{8000, 784}, RateCase{1000, 98}, RateCase{11025, 1080},
                            RateCase{44100, 4321}}) {
    EXPECT_EQ(mw::RateCodeFor(c.rate), c.code) << c.rate;
  }
  EXPECT_EQ(mw::RateFromCode(784), 8000u);
  EXPECT_EQ(mw::RateFromCode(98), 1000u);
  EXPECT_EQ(mw::RateFromCode(1080), 11020u);
  EXPECT_EQ(mw::RateFromCode(1081), 11030u);

  struct ChunkCase {
    uint32_t rate, scale, bytes;
  };
  // 60 / scale is divided first: scale 7 gives 8, so 8000 Hz gives 8000.
  for (const ChunkCase& c : {ChunkCase{8000, 6, 6400}, ChunkCase{8000, 7, 8000},
                             ChunkCase{1000, 60, 8000}, ChunkCase{8000, 61, 0}}) {
    EXPECT_EQ(mw::V00SoundBytesPerChunk(c.rate, c.scale), c.bytes) << c.scale;
  }
}

}  // namespace
