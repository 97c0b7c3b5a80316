// Whole movies from our own movie writer, decoded back: the frames and sound
// must be exactly those of the writer's independent reference model, and
// every damaged movie must give the result it was made to give.

#include <gtest/gtest.h>

#include "tests/v02dec/MovieBytes.h"
#include "tools/moviewriter/Catalogue.h"
#include "tools/moviewriter/Hostile.h"
#include "tools/moviewriter/MovieMaker.h"
#include "tools/moviewriter/ReferenceModel.h"
#include "v02dec/V02Decode.h"

namespace mw = moviewriter;

namespace {

std::string FirstDifference(const Bytes& actual, const Bytes& expected) {
  if (actual.size() != expected.size()) {
    return "size " + std::to_string(actual.size()) + ", expected " +
           std::to_string(expected.size());
  }
  for (size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] != expected[i]) {
      return "first difference at byte " + std::to_string(i) + ": " + std::to_string(actual[i]) +
             ", expected " + std::to_string(expected[i]);
    }
  }
  return "equal";
}

// Writes the movie (and its companion) into a folder, decodes every chunk
// and compares parameters, every frame's memory and the sound of every chunk.
void ExpectDecodesExactly(const std::string& name, const std::string& extension, const Bytes& movie,
                          const Bytes* companion, const mw::ExpectedMovie& expected,
                          uint32_t* chunksRead = nullptr) {
  TempDir dir;
  const std::string path = dir.Write(name + extension, movie);
  if (companion) dir.Write(name + ".snd", *companion);
  V02Decode decoder;
  ASSERT_EQ(decoder.Open(path), kMovieOk);
  EXPECT_EQ(decoder.Parameters().frameCount, expected.frameCount);
  EXPECT_EQ(decoder.Parameters().framesPerChunk, expected.framesPerChunk);
  EXPECT_EQ(decoder.Parameters().rate, expected.rate);
  EXPECT_EQ(decoder.Parameters().scale, expected.scale);
  EXPECT_EQ(decoder.Parameters().soundRate, expected.soundRate);
  EXPECT_EQ(decoder.Parameters().width, expected.width);
  EXPECT_EQ(decoder.Parameters().height, expected.height);
  EXPECT_EQ(decoder.Parameters().soundBlockBytes, expected.soundBlockBytes);

  size_t frame = 0;
  uint32_t chunks = 0;
  Bytes sound;
  while (decoder.FramesRemaining() != 0) {
    const uint32_t before = decoder.FramesRemaining();
    ASSERT_EQ(decoder.ReadChunk(), kMovieOk) << "chunk " << chunks;
    ++chunks;
    for (uint32_t slot = 0; slot < before - decoder.FramesRemaining(); ++slot, ++frame) {
      ASSERT_LT(frame, expected.frames.size());
      const TBitmap& bitmap = *decoder.frameBitmaps[slot];
      const Bytes memory(bitmap.Pixels(), bitmap.Pixels() + bitmap.PixelBytes());
      ASSERT_TRUE(memory == expected.frames[frame])
          << "frame " << frame << ": " << FirstDifference(memory, expected.frames[frame]);
    }
    const auto* block = reinterpret_cast<const uint8_t*>(decoder.soundBlock.get());
    sound.insert(sound.end(), block, block + decoder.Parameters().soundBlockBytes);
  }
  EXPECT_EQ(frame, expected.frames.size());
  EXPECT_TRUE(sound == expected.sound) << "sound: " << FirstDifference(sound, expected.sound);
  if (chunksRead) *chunksRead = chunks;
  decoder.Close();
}

TEST(WholeMovie, EdgeMoviesDecodeExactly) {
  for (const mw::CatalogueMovie& movie : mw::EdgeMovies()) {
    SCOPED_TRACE(movie.name);
    mw::ExpectedMovie expected;
    const bool modelled =
        movie.extension == ".V02"
            ? mw::ExpectV02(movie.movie, expected)
            : mw::ExpectV00(movie.movie, movie.companion ? &*movie.companion : nullptr, expected);
    ASSERT_TRUE(modelled);
    uint32_t chunks = 0;
    ExpectDecodesExactly(movie.name, movie.extension, movie.movie,
                         movie.companion ? &*movie.companion : nullptr, expected, &chunks);
    EXPECT_EQ(chunks, movie.goodChunks);
  }
}

// Damaged op lists are decoded in a way of our own (clamped or skipped), so
// only the results are compared; the sanitizer build checks that no byte
// outside a buffer is touched.
TEST(WholeMovie, DamagedMoviesGiveTheirResults) {
  for (const mw::CatalogueMovie& movie : mw::DamagedMovies()) {
    SCOPED_TRACE(movie.name);
    TempDir dir;
    const std::string path = dir.Write(movie.name + movie.extension, movie.movie);
    if (movie.companion) dir.Write(movie.name + ".snd", *movie.companion);
    V02Decode decoder;
    ASSERT_EQ(decoder.Open(path), movie.openResult);
    if (movie.openResult == kMovieOk) {
      for (uint32_t chunk = 0; chunk < movie.goodChunks; ++chunk) {
        ASSERT_EQ(decoder.ReadChunk(), kMovieOk) << "chunk " << chunk;
      }
      if (movie.readResult == mw::kResultDecoderDefined) {
        for (int chunk = 0; chunk < 100 && decoder.FramesRemaining() != 0; ++chunk) {
          MovieResult result = decoder.ReadChunk();
          ASSERT_TRUE(result == kMovieOk || result == kMovieReadError) << result;
          if (result != kMovieOk) break;
        }
      } else {
        EXPECT_EQ(decoder.ReadChunk(), movie.readResult);
      }
    }
    decoder.Close();
  }
}

TEST(WholeMovie, GeneratedVD02MoviesDecodeExactly) {
  struct Case {
    const char* name;
    mw::V02MovieOptions options;
  };
  auto options = [](uint32_t w, uint32_t h, uint32_t frames, uint32_t framesPerChunk,
                    mw::ContentKind content) {
    return mw::V02MovieOptions{.width = w, .height = h, .frames = frames,
                               .framesPerChunk = framesPerChunk, .content = content};
  };
  std::vector<Case> cases = {
      {"scene", options(64, 48, 20, 8, mw::ContentKind::kScene)},
      {"random frames, 3 per chunk", options(24, 10, 7, 3, mw::ContentKind::kRandom)},
      {"scramble, 64 per chunk", options(40, 20, 70, 64, mw::ContentKind::kScramble)},
      {"still", options(32, 16, 9, 0, mw::ContentKind::kStill)},
      {"smallest frame", options(8, 8, 5, 1, mw::ContentKind::kScramble)},
  };
  cases[0].options.strategy.searchRadius = 2;
  cases[2].options.strategy.numbers = mw::NumberForms::kRotate;
  cases[2].options.colours = mw::ColourKind::kRandom;
  cases[3].options.scale = 7;
  cases[3].options.soundRate = 11025;
  cases[4].options.strategy.fillsBeforeMoves = true;
  cases[4].options.strategy.splitMoves = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes movie;
    ASSERT_EQ(mw::MakeV02Movie(c.options, movie), 0);
    mw::ExpectedMovie expected;
    ASSERT_TRUE(mw::ExpectV02(movie, expected));
    ExpectDecodesExactly("movie", ".V02", movie, nullptr, expected);
  }
}

TEST(WholeMovie, GeneratedVD00MoviesDecodeExactly) {
  struct Case {
    const char* name;
    uint32_t width, height, frames, scale, soundRate;
    bool withSound;
  };
  const std::vector<Case> cases = {
      {"scene with sound", 40, 30, 20, 6, 8000, true},
      {"10 wide, no sound", 10, 8, 9, 6, 8000, false},
      {"scale 7 at 11025 Hz", 16, 9, 17, 7, 11025, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    mw::V00MovieOptions options;
    options.width = c.width;
    options.height = c.height;
    options.frames = c.frames;
    options.scale = c.scale;
    options.soundRate = c.soundRate;
    options.withSound = c.withSound;
    Bytes movie, companion;
    ASSERT_EQ(mw::MakeV00Movie(options, movie, companion), 0);
    mw::ExpectedMovie expected;
    ASSERT_TRUE(mw::ExpectV00(movie, c.withSound ? &companion : nullptr, expected));
    ExpectDecodesExactly("movie", ".V00", movie, c.withSound ? &companion : nullptr, expected);
  }
}

// Frames that ask for more work than an encoder ever makes. Within the
// budget they decode exactly; past it the chunk fails as damaged at that
// frame, after the frames before it.
TEST(WholeMovie, FrameWorkIsBounded) {
  // 128 x 64: a plane of 6,144 bytes and a budget of 8 planes and 64 KiB.
  // A whole-plane entry costs 6,146, a one-block MoveBlocks op 131.
  struct Case {
    const char* name;
    mw::HostileKind kind;
    uint32_t repeats;
    bool withinBudget;
  };
  const std::vector<Case> cases = {
      {"15 whole-plane fill entries", mw::HostileKind::kFillBytes, 15, true},
      {"25 whole-plane fill entries", mw::HostileKind::kFillBytes, 25, false},
      {"400 MoveBlocks ops", mw::HostileKind::kMoveBlocks, 400, true},
      {"1000 MoveBlocks ops", mw::HostileKind::kMoveBlocks, 1000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    mw::HostileOptions options;
    options.width = 128;
    options.height = 64;
    options.frames = 3;
    options.benignFrames = 1;
    options.kind = c.kind;
    options.repeats = c.repeats;
    const mw::Bytes movie = mw::MakeHostileV02(options);
    if (c.withinBudget) {
      mw::ExpectedMovie expected;
      ASSERT_TRUE(mw::ExpectV02(movie, expected));
      ExpectDecodesExactly("hostile", ".V02", movie, nullptr, expected);
      continue;
    }
    TempDir dir;
    V02Decode decoder;
    ASSERT_EQ(decoder.Open(dir.Write("hostile.V02", movie)), kMovieOk);
    EXPECT_EQ(decoder.FrameWorkBudget(), 8u * 6144 + 65536);
    ASSERT_EQ(decoder.ReadChunk(), kMovieOk);
    EXPECT_EQ(decoder.ReadChunk(), kMovieReadError);
    const MovieFailure& failure = decoder.LastFailure();
    EXPECT_EQ(failure.kind, FailureKind::kDamaged);
    EXPECT_EQ(failure.test, FailureTest::kFrameWorkAboveBudget);
    EXPECT_TRUE(failure.inChunk);
    EXPECT_EQ(failure.chunkIndex, 1u);
    EXPECT_EQ(failure.frameIndex, 1u);
    EXPECT_GT(failure.values[0], failure.values[1]);
    EXPECT_EQ(decoder.FramesRemaining(), 2u);
  }
}

// Header fields must fit the AVI header as readers take it: at the bound a
// movie opens (and decodes), one past it is refused as unsupported.
TEST(WholeMovie, HeaderFieldsThatAnAviCannotHold) {
  struct Case {
    const char* name;
    uint32_t soundRate, scale, soundBytes;
    MovieResult result;
    FailureTest test;
  };
  const std::vector<Case> cases = {
      {"sound rate 2^31 - 1", 0x7FFFFFFF, 6, 16, kMovieOk, FailureTest::kNone},
      {"sound rate 2^31", 0x80000000u, 6, 16, kMovieUnsupported,
       FailureTest::kSoundRateAboveMaximum},
      {"scale 2^31 - 1", 8000, 0x7FFFFFFF, 16, kMovieOk, FailureTest::kNone},
      {"scale 2^31", 8000, 0x80000000u, 16, kMovieUnsupported, FailureTest::kScaleAboveMaximum},
      // The sound block is twice the sound bytes, one AVI chunk of at most
      // 2^31 - 1 bytes; the bound passes that test and meets the memory cap.
      {"sound block 2^31 - 2 bytes", 8000, 6, 0x3FFFFFFF, kMovieNoMemory,
       FailureTest::kMemoryLimit},
      {"sound block 2^31 bytes", 8000, 6, 0x40000000, kMovieUnsupported,
       FailureTest::kSoundBlockAboveMaximum},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Two frames only with the small sound: no sound of a gigabyte.
    const mw::V02MovieOptions options{.width = 16, .height = 8,
                                      .frames = c.soundBytes == 16 ? 2u : 0u, .scale = c.scale,
                                      .framesPerChunk = 1, .soundRate = c.soundRate,
                                      .soundBytesPerChunk = c.soundBytes};
    mw::Bytes movie;
    ASSERT_EQ(mw::MakeV02Movie(options, movie), 0);
    if (c.result == kMovieOk) {
      mw::ExpectedMovie expected;
      ASSERT_TRUE(mw::ExpectV02(movie, expected));
      ExpectDecodesExactly("fields", ".V02", movie, nullptr, expected);
      continue;
    }
    TempDir dir;
    V02Decode decoder;
    decoder.SetMemoryLimit(64u << 20);
    EXPECT_EQ(decoder.Open(dir.Write("fields.V02", movie)), c.result);
    EXPECT_EQ(decoder.LastFailure().test, c.test);
    decoder.Close();
  }
}

}  // namespace
