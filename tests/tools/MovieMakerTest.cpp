// Whole movies from the maker and from porute-mkmovie, read back by the
// reference model: parameters, frame count, one sound block per chunk.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/common/TempDir.h"
#include "tools/moviewriter/Content.h"
#include "tools/moviewriter/MovieMaker.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace mw = moviewriter;
namespace fs = std::filesystem;

namespace {

using porute_test::TempDir;

TEST(MovieMaker, V02MovieReadsBackWithItsParametersAndTone) {
  mw::V02MovieOptions options{.width = 48, .height = 32, .frames = 20, .scale = 6,
      .framesPerChunk = 8};
  mw::Bytes movie;
  ASSERT_EQ(mw::MakeV02Movie(options, movie), 0);
  mw::ExpectedMovie expected;
  ASSERT_TRUE(mw::ExpectV02(movie, expected));
  EXPECT_EQ(expected.frameCount, 20u);
  EXPECT_EQ(expected.framesPerChunk, 8u);
  EXPECT_EQ(expected.rate, 60u);
  EXPECT_EQ(expected.scale, 6u);
  EXPECT_EQ(expected.soundRate, 8000u);
  EXPECT_EQ(expected.width, 48u);
  EXPECT_EQ(expected.height, 32u);
  // 8 frames at 10 per second play 0.8 s: 6400 sound bytes a chunk.
  EXPECT_EQ(expected.soundBlockBytes, 12800u);
  ASSERT_EQ(expected.frames.size(), 20u);
  EXPECT_EQ(expected.frames[0].size(), 48u * 3 * 32);
  // Chunks of 8, 8 and 4 frames: three whole sound blocks of the tone.
  ASSERT_EQ(expected.sound.size(), 3u * 12800);
  EXPECT_EQ(expected.sound, mw::ToSoundBlock(mw::ToneBytes(440, 8000, 3 * 6400)));
  // The scene moves: consecutive frames differ.
  EXPECT_NE(expected.frames[0], expected.frames[1]);
}

// The first frame, rebuilt here from the scene and the colour table,
// equals what the reference reads from the file.
TEST(MovieMaker, V02FirstFrameIsTheSceneThroughTheColourTable) {
  mw::V02MovieOptions options{.width = 32, .height = 16, .frames = 1};
  mw::Bytes movie;
  ASSERT_EQ(mw::MakeV02Movie(options, movie), 0);
  mw::ExpectedMovie expected;
  ASSERT_TRUE(mw::ExpectV02(movie, expected));
  mw::Bytes working;
  mw::Scene(32, 16, options.seed).RenderWorkingFrame(0, working);
  mw::PixelFrame pixels;
  ASSERT_TRUE(mw::ExpandFrame(working, mw::YuvColourTable(), {32, 16}, pixels));
  EXPECT_EQ(expected.frames.at(0), mw::ToFrameMemory(pixels, 32, 16));
}

TEST(MovieMaker, V00MovieWithAndWithoutCompanion) {
  mw::V00MovieOptions options{.width = 10, .height = 8, .frames = 9, .scale = 7};
  mw::Bytes movie;
  mw::Bytes companion;
  ASSERT_EQ(mw::MakeV00Movie(options, movie, companion), 0);
  EXPECT_EQ(movie.size(), 256u + 9 * 160);
  // Scale 7: 8000 sound bytes for each chunk of eight frames, two chunks.
  EXPECT_EQ(companion.size(), 32u + 2 * 8000);
  EXPECT_EQ(mw::GetU16(companion, 24), 784);

  mw::ExpectedMovie with;
  ASSERT_TRUE(mw::ExpectV00(movie, &companion, with));
  EXPECT_EQ(with.soundRate, 8000u);
  EXPECT_EQ(with.soundBlockBytes, 16000u);
  EXPECT_EQ(with.frames.size(), 9u);
  EXPECT_EQ(with.sound, mw::ToSoundBlock(mw::ToneBytes(440, 8000, 2 * 8000)));

  mw::ExpectedMovie without;
  ASSERT_TRUE(mw::ExpectV00(movie, nullptr, without));
  EXPECT_EQ(without.frames, with.frames);
  EXPECT_EQ(without.sound, mw::Bytes(2 * 16000, 0));
}

TEST(MovieMaker, RefusesSizesItCannotEncode) {
  mw::Bytes movie;
  mw::Bytes companion;
  mw::V02MovieOptions v02{.width = 20};
  EXPECT_EQ(mw::MakeV02Movie(v02, movie), 2);
  mw::V00MovieOptions v00{.scale = 61};
  EXPECT_EQ(mw::MakeV00Movie(v00, movie, companion), 2);
}

TEST(MovieMaker, FilesEqualTheMoviesBuiltInMemory) {
  TempDir dir;
  mw::V02MovieOptions v02{.frames = 11};
  mw::Bytes built;
  mw::Bytes written;
  ASSERT_EQ(mw::MakeV02Movie(v02, built), 0);
  ASSERT_EQ(mw::WriteV02Movie(dir / "a.V02", v02), 0);
  ASSERT_TRUE(mw::ReadWholeFile(dir / "a.V02", written));
  EXPECT_EQ(written, built);

  mw::V00MovieOptions v00{.frames = 3};
  mw::Bytes companion;
  mw::Bytes writtenCompanion;
  ASSERT_EQ(mw::MakeV00Movie(v00, built, companion), 0);
  ASSERT_EQ(mw::WriteV00Movie(dir / "b.v00", v00), 0);
  ASSERT_TRUE(mw::ReadWholeFile(dir / "b.v00", written));
  ASSERT_TRUE(mw::ReadWholeFile(dir / "b.snd", writtenCompanion));
  EXPECT_EQ(written, built);
  EXPECT_EQ(writtenCompanion, companion);

  EXPECT_EQ(mw::WriteV02Movie(dir / "missing/a.V02", v02), 1);
}

// Runs porute-mkmovie with arguments; gives its exit status.
int RunMkMovie(const std::string& arguments) {
  const std::string command = std::string(PORUTE_MKMOVIE) + " " + arguments + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MkMovie, WritesMoviesThatReadBack) {
  TempDir dir;
  ASSERT_EQ(RunMkMovie("v02 " + (dir / "m.V02") +
                " --width 64 --height 48 --frames 13 --scale 5 --fpc 4 --rate 11025 --tone 300 "
                "--ops fill-words,copy-bytes --numbers rotate --seed 9"),
            0);
  mw::ExpectedMovie expected;
  ASSERT_TRUE(mw::ExpectMovieFile(dir / "m.V02", expected));
  EXPECT_EQ(expected.frames.size(), 13u);
  EXPECT_EQ(expected.framesPerChunk, 4u);
  EXPECT_EQ(expected.scale, 5u);
  EXPECT_EQ(expected.soundRate, 11025u);
  // 11025 × 4 × 5 / 60 = 3675 sound bytes a chunk, 4 chunks.
  EXPECT_EQ(expected.sound.size(), 4u * 2 * 3675);

  ASSERT_EQ(RunMkMovie("v00 " + (dir / "n.V00") + " --width 10 --height 8 --frames 3 --no-sound"), 0);
  EXPECT_FALSE(fs::exists(dir / "n.snd"));
  ASSERT_TRUE(mw::ExpectMovieFile(dir / "n.V00", expected));
  EXPECT_EQ(expected.sound, mw::Bytes(12800, 0));

  ASSERT_EQ(RunMkMovie("corpus " + (dir / "corpus")), 0);
  EXPECT_TRUE(fs::exists(dir / "corpus/v02-example-1.V02"));
  EXPECT_TRUE(fs::exists(dir / "corpus/v00-edge-with-companion.snd"));
}

TEST(MkMovie, UsageErrorsExitWith2) {
  TempDir dir;
  EXPECT_EQ(RunMkMovie("--help"), 0);
  for (const std::string& arguments :
       {std::string(""), std::string("v03 x"), "v02 " + (dir / "x.V02") + " --width 20",
        "v02 " + (dir / "x.V02") + " --frames", "v02 " + (dir / "x.V02") + " --frames -1",
        "v02 " + (dir / "x.V02") + " --no-sound", "v00 " + (dir / "x.V00") + " --fpc 8",
        std::string("v02 --width 8")}) {
    EXPECT_EQ(RunMkMovie(arguments), 2) << arguments;
  }
  EXPECT_FALSE(fs::exists(dir / "x.V02"));
  EXPECT_EQ(RunMkMovie("v02 " + (dir / "no/such/x.V02")), 1);
}

}  // namespace

namespace {

// The committed samples are what the commands in samples/README.md make.
TEST(Samples, AreRemadeByteForByteByTheirCommands) {
  TempDir dir;
  struct Sample {
    const char* file;
    const char* arguments;
  };
  const Sample samples[] = {
      {"sample-vd02.V02",
       "v02 {} --width 320 --height 240 --frames 60 --scale 6 --fpc 8 --rate 8000 --tone 440 --seed 1"},
      {"sample-vd00.V00",
       "v00 {} --width 160 --height 120 --frames 40 --scale 6 --rate 8000 --tone 660 --seed 2"},
      {"sample-vd00.snd", nullptr},
  };
  for (const Sample& sample : samples) {
    if (sample.arguments != nullptr) {
      std::string arguments = sample.arguments;
      arguments.replace(arguments.find("{}"), 2, dir / sample.file);
      ASSERT_EQ(RunMkMovie(arguments), 0) << sample.file;
    }
    mw::Bytes committed;
    mw::Bytes remade;
    ASSERT_TRUE(mw::ReadWholeFile(std::string(PORUTE_SAMPLES_DIR) + "/" + sample.file, committed));
    ASSERT_TRUE(mw::ReadWholeFile(dir / sample.file, remade));
    EXPECT_TRUE(committed == remade) << sample.file << " differs from what its command makes";
    EXPECT_LT(committed.size(), 2u << 20) << sample.file;
  }
}

}  // namespace

// At 16 × 8 a chunk buffer holds (8 + 2) planes of 96 bytes: busy frames
// whose op lists outgrow it are stored in their shorter form, so every seed
// gives a movie a reader accepts; settings that can never fit are refused.
TEST(MovieMaker, SmallFramesKeepEveryChunkWithinTheChunkBuffer) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    mw::V02MovieOptions options{.width = 16, .height = 8, .frames = 20, .seed = seed};
    mw::Bytes movie;
    ASSERT_EQ(mw::MakeV02Movie(options, movie), 0);
    mw::ExpectedMovie expected;
    EXPECT_TRUE(mw::ExpectV02(movie, expected));
    EXPECT_EQ(expected.frames.size(), 20u);
  }
  mw::V02MovieOptions impossible{.width = 16, .height = 8, .frames = 70, .framesPerChunk = 64,
      .content = mw::ContentKind::kRandom};
  mw::Bytes movie;
  EXPECT_EQ(mw::MakeV02Movie(impossible, movie), 2);
}
