// Reading movies chunk by chunk: the chunk-size limit, counting frames at
// the end of a movie, sound per chunk, short reads, and the preview.

#include <gtest/gtest.h>

#include <atomic>

#include "tests/v02dec/MovieBytes.h"
#include "v02dec/V02Decode.h"

namespace {

Bytes Picture(const TBitmap& bitmap) {
  return Bytes(bitmap.Pixels(), bitmap.Pixels() + bitmap.PixelBytes());
}

// A 16 x 8 VD02 movie whose frame f fills the luma plane with byte f and
// whose chunk c carries sound bytes 0x80 + c (sample c * 256).
Bytes CountingV02(uint32_t frames, uint32_t framesPerChunk, uint32_t soundBytes) {
  return ChunkedV02(frames, framesPerChunk, soundBytes, 0x80,
                    [](uint32_t f) { return FillOpList(static_cast<uint8_t>(f), 0, 64); });
}

// A VD00 movie of 8 x 8 pixels whose frame f has every pixel f + 1.
Bytes CountingV00(uint32_t headerFrames, uint32_t storedFrames, uint32_t scale = 0) {
  Bytes movie = V00Header({.frames = headerFrames, .scale = scale});
  for (uint32_t f = 0; f < storedFrames; ++f) {
    for (int pixel = 0; pixel < 64; ++pixel) PutLe16(movie, f + 1);
  }
  return movie;
}

// Blue byte of the top-left pixel of VD00 frame f.
uint8_t V00Blue(uint32_t f) { return static_cast<uint8_t>(((f + 1) << 3) & 0xF8); }

TEST(ReadChunkV02, ChunkSizeLimit) {
  // 16 x 8 at one frame per chunk with 10 sound bytes: chunk buffer size is
  // 3 x 96 + 10 = 298, so a size field may reach 266.
  struct Case {
    uint32_t size;
    MovieResult result;
  };
  const std::vector<Case> cases = {
      {266, kMovieOk}, {267, kMovieNoMemory}, {10, kMovieOk}, {9, kMovieReadError}};
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    Bytes chunk(32, 0);
    SetLe32(chunk, 4, c.size);
    Bytes movie = Concat({V02Header({.framesPerChunk = 1, .soundBytes = 10}), DistinctColourTable(),
                          chunk, Bytes(c.size, 0)});
    V02Decode decoder;
    ASSERT_EQ(decoder.Open(dir.Write("m.V02", movie)), kMovieOk);
    EXPECT_EQ(decoder.ReadChunk(), c.result);
    EXPECT_EQ(decoder.FramesRemaining(), c.result == kMovieOk ? 0u : 1u);
    decoder.Close();
  }
}

TEST(ReadChunkV02, TwentyFramesAtEightPerChunk) {
  TempDir dir;
  V02Decode decoder;
  ASSERT_EQ(decoder.Open(dir.Write("m.V02", CountingV02(20, 8, 6))), kMovieOk);
  std::vector<std::vector<Bytes>> chunks;
  for (uint32_t c = 0; c < 3; ++c) {
    ASSERT_EQ(decoder.ReadChunk(), kMovieOk);
    EXPECT_EQ(decoder.FramesRemaining(), std::vector<uint32_t>({12, 4, 0})[c]);
    ASSERT_EQ(decoder.Parameters().soundBlockBytes, 12u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(decoder.soundBlock[i], static_cast<int16_t>(c * 256));
    chunks.emplace_back();
    for (uint32_t slot = 0; slot < 8; ++slot)
      chunks[c].push_back(Picture(*decoder.frameBitmaps[slot]));
  }
  // Frame 1: luma 1 over chroma 0 is pixel-table entry 256 = 0x0401.
  // The top row is the last of the bottom-up memory: 7 rows of 48 bytes in.
  EXPECT_EQ(Bytes(chunks[0][1].begin() + 7 * 48, chunks[0][1].begin() + 7 * 48 + 3),
            Bytes({0x08, 0x08, 0x00}));
  for (uint32_t slot = 0; slot < 8; ++slot) {
    SCOPED_TRACE(slot);
    EXPECT_NE(chunks[0][slot], chunks[1][slot]);
    // The last chunk holds 4 frames; the slots after them keep chunk 2's.
    if (slot < 4)
      EXPECT_NE(chunks[2][slot], chunks[1][slot]);
    else
      EXPECT_EQ(chunks[2][slot], chunks[1][slot]);
  }
  EXPECT_EQ(decoder.ReadChunk(), kMovieOk);
  EXPECT_EQ(Picture(*decoder.frameBitmaps[0]), chunks[2][0]);
  EXPECT_EQ(decoder.soundBlock[0], 2 * 256);
  decoder.Close();
}

TEST(ReadChunkV02, ShortReadsFailAndStayFailed) {
  const Bytes movie = CountingV02(2, 1, 6);
  const size_t firstChunk = 256 + V02Decode::kColourTableBytes;
  struct Case {
    const char* name;
    size_t keep;  // bytes of the file kept
  };
  const std::vector<Case> cases = {
      {"chunk header", firstChunk + 31},
      {"sound", firstChunk + 32 + 5},
      {"video data", firstChunk + 32 + 6 + 18},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    V02Decode decoder;
    ASSERT_EQ(decoder.Open(dir.Write(
                  "m.V02", Bytes(movie.begin(), movie.begin() + static_cast<long>(c.keep)))),
              kMovieOk);
    EXPECT_EQ(decoder.ReadChunk(), kMovieReadError);
    EXPECT_EQ(decoder.FramesRemaining(), 2u);
    EXPECT_EQ(decoder.ReadChunk(), kMovieReadError);
    decoder.Close();
  }
}

TEST(ReadChunkV00, FramesAndSilenceWithoutCompanion) {
  TempDir dir;
  V02Decode decoder;
  ASSERT_EQ(decoder.Open(dir.Write("m.V00", CountingV00(20, 20))), kMovieOk);
  for (uint32_t c = 0; c < 3; ++c) {
    ASSERT_EQ(decoder.ReadChunk(), kMovieOk);
    EXPECT_EQ(decoder.FramesRemaining(), std::vector<uint32_t>({12, 4, 0})[c]);
    for (uint32_t slot = 0; slot < 8; ++slot) {
      uint32_t frame = c < 2 || slot < 4 ? 8 * c + slot : 8 + slot;
      EXPECT_EQ(decoder.frameBitmaps[slot]->ScanLine(7)[21], V00Blue(frame)) << c << "/" << slot;
    }
    for (uint32_t i = 0; i < decoder.Parameters().soundBlockBytes / 2; ++i)
      ASSERT_EQ(decoder.soundBlock[i], 0);
  }
  EXPECT_EQ(decoder.ReadChunk(), kMovieOk);
  decoder.Close();
}

TEST(ReadChunkV00, CompanionEndingEarlyFailsAfterTheFrames) {
  TempDir dir;
  // Rate code 1 is 10 Hz; at scale 60 a chunk has 10 x 8 / 1 = 80 sound bytes.
  dir.Write("m.snd",
            Concat({CompanionHeader(1), Bytes(80, 0x81), Bytes(80, 0x01), Bytes(79, 0xFF)}));
  V02Decode decoder;
  ASSERT_EQ(decoder.Open(dir.Write("m.V00", CountingV00(20, 20, 60))), kMovieOk);
  ASSERT_EQ(decoder.Parameters().soundBlockBytes, 160u);
  ASSERT_EQ(decoder.ReadChunk(), kMovieOk);
  EXPECT_EQ(decoder.soundBlock[79], 256);
  ASSERT_EQ(decoder.ReadChunk(), kMovieOk);
  EXPECT_EQ(decoder.soundBlock[0], -256);
  EXPECT_EQ(decoder.ReadChunk(), kMovieReadError);
  EXPECT_EQ(decoder.FramesRemaining(), 0u);
  EXPECT_EQ(decoder.frameBitmaps[3]->ScanLine(0)[0], V00Blue(19));
  decoder.Close();
}

TEST(ReadChunkV00, ShortFrameKeepsTheFramesBeforeIt) {
  TempDir dir;
  V02Decode decoder;
  ASSERT_EQ(decoder.Open(dir.Write("m.V00", CountingV00(8, 5))), kMovieOk);
  EXPECT_EQ(decoder.ReadChunk(), kMovieReadError);
  EXPECT_EQ(decoder.FramesRemaining(), 3u);
  EXPECT_EQ(decoder.frameBitmaps[4]->ScanLine(0)[0], V00Blue(4));
  EXPECT_EQ(decoder.frameBitmaps[5]->ScanLine(0)[0], 0);
  decoder.Close();
}

// An abort during a chunk gives kMovieAborted, delivers nothing of that
// chunk and sticks, whether the chunk is decoded on the worker or not.
TEST(ReadChunk, AbortIsReportedAndSticks) {
  TempDir dir;
  const std::string path = dir.Write("m.V02", CountingV02(6, 2, 16));
  for (bool readAhead : {false, true}) {
    SCOPED_TRACE(readAhead ? "read ahead" : "in ReadChunk");
    std::atomic<bool> abort{false};
    V02Decode decoder;
    decoder.SetReadAhead(readAhead);
    decoder.WatchAbort(&abort);
    ASSERT_EQ(decoder.Open(path), kMovieOk);
    ASSERT_EQ(decoder.ReadChunk(), kMovieOk);
    abort = true;
    EXPECT_EQ(decoder.ReadChunk(), kMovieAborted);
    EXPECT_EQ(decoder.FramesRemaining(), 4u);
    EXPECT_EQ(decoder.LastFailure().kind, FailureKind::kAborted);
    // Named after the chunk that was to be handed over, however far ahead
    // the worker was.
    EXPECT_EQ(decoder.LastFailure().chunkIndex, 1u);
    EXPECT_EQ(decoder.LastFailure().frameIndex, 2u);
    abort = false;
    EXPECT_EQ(decoder.ReadChunk(), kMovieAborted);
    decoder.Close();
  }
}

TEST(LoadPreview, CopiesTheFirstFrameAndSurvivesClose) {
  TempDir dir;
  V02Decode decoder;
  ASSERT_EQ(decoder.LoadPreview(dir.Write("m.V00", CountingV00(9, 9))), 0);
  EXPECT_FALSE(decoder.frameBitmaps[0]);
  ASSERT_EQ(decoder.previewBitmap.Width(), 8);
  EXPECT_EQ(decoder.previewBitmap.ScanLine(0)[0], V00Blue(0));
  // A failed preview leaves the last picture in place.
  EXPECT_EQ(decoder.LoadPreview(dir.Path("missing.V00")), 1);
  decoder.Close();
  EXPECT_EQ(decoder.previewBitmap.ScanLine(0)[0], V00Blue(0));
}

}  // namespace
