// The FFmpeg encoder's file handling and the verifier's comparison, each at
// its own interface; the outputs themselves are checked end to end in
// FormatsTest.cpp.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ffenc/FfmpegMovieEncoder.h"
#include "ffenc/OutputVerifier.h"
#include "tests/batch/TestSupport.h"
#include "tools/moviewriter/MovieMaker.h"

namespace {

namespace mw = moviewriter;
using porute_test::TempDir;

MovieEncoder::Shape SmallShape() {
  MovieEncoder::Shape shape;
  shape.frameCount = 1;
  shape.rate = 60;
  shape.scale = 6;
  shape.width = 16;
  shape.height = 8;
  shape.soundRate = 8000;
  shape.soundBlockBytes = 1600;
  return shape;
}

TEST(FfmpegMovieEncoderTest, CreatesExclusivelyWithoutConsent) {
  TempDir dir;
  const std::string path = dir / "a.mkv";
  ASSERT_TRUE(porute_test::WriteText(path, "the user's file"));
  for (FfmpegFormat format : {FfmpegFormat::kMkv, FfmpegFormat::kMp4}) {
    FfmpegMovieEncoder encoder(format);
    EXPECT_EQ(encoder.Open(path.c_str(), SmallShape(), false), MovieEncoder::OpenResult::kExists);
    EXPECT_EQ(encoder.Close(), 1);
    EXPECT_EQ(porute_test::ReadText(path), "the user's file");
  }
  FfmpegMovieEncoder encoder(FfmpegFormat::kMkv);
  ASSERT_EQ(encoder.Open(path.c_str(), SmallShape(), true), MovieEncoder::OpenResult::kOk);
  const std::vector<uint8_t> frame(16 * 3 * 8, 0x40);
  const std::vector<uint8_t> sound(1600, 0);
  EXPECT_EQ(encoder.WriteVideo(frame.data()), 0);
  EXPECT_EQ(encoder.WriteAudio(sound.data()), 0);
  EXPECT_EQ(encoder.Close(), 0);
  EXPECT_TRUE(porute_test::ProbeFile(path).ok);

  const std::string missing = dir / "no-such-folder/a.mp4";
  EXPECT_EQ(encoder.Open(missing.c_str(), SmallShape(), false),
            MovieEncoder::OpenResult::kFailed);
  EXPECT_EQ(encoder.FailureCause(), "No such file or directory");
}

// Each output is verified against a movie that differs from its own in one
// respect; the report names the first difference.
TEST(OutputVerifierTest, NamesTheFirstDifference) {
  TempDir dir;
  mw::V02MovieOptions written{.frames = 20};
  ASSERT_EQ(mw::WriteV02Movie(dir / "written.V02", written), 0);
  for (const char* format : {"mkv", "mp4", "avi"}) {
    const porute_test::RunResult run =
        porute_test::Run({PORUTE2AVI_PATH, "-q", "-f", format, dir / "written.V02"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }

  struct Case {
    const char* output;
    bool lossless;
    mw::V02MovieOptions movie;
    std::string problem;  // the start of the report's problem; empty: verified
  };
  mw::V02MovieOptions otherPictures = written;
  otherPictures.content = mw::ContentKind::kRandom;
  mw::V02MovieOptions otherSound = written;
  otherSound.toneHz = 1000;
  mw::V02MovieOptions longer = written;
  longer.frames = 24;
  mw::V02MovieOptions shorter = written;
  shorter.frames = 16;
  mw::V02MovieOptions silent = written;
  silent.toneHz = 0;
  const std::vector<Case> cases = {
      {"written.mkv", true, written, ""},
      {"written.avi", true, written, ""},
      {"written.mp4", false, written, ""},
      {"written.mkv", true, otherPictures, "frame 0 differs at pixel (0, 0)"},
      {"written.avi", true, otherPictures, "frame 0 differs at pixel (0, 0)"},
      {"written.mkv", true, otherSound, "sound sample "},
      {"written.mkv", true, longer, "the output ends after 20 frames; the movie has 24"},
      {"written.mp4", false, longer, "the output ends after 20 frames; the movie has 24"},
      {"written.mkv", true, shorter, "the output holds more than the movie's 16 frames"},
      {"written.mp4", false, otherSound, "the output's sound differs from the movie's"},
      {"written.mp4", false, silent, "the output's sound is not silent like the movie's"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.output) + " against " + c.problem);
    ASSERT_EQ(mw::WriteV02Movie(dir / "movie.V02", c.movie), 0);
    const VerifyReport report = VerifyOutput(dir / "movie.V02", dir / c.output, c.lossless);
    EXPECT_EQ(report.ok, c.problem.empty()) << report.problem;
    EXPECT_EQ(report.problem.substr(0, c.problem.size()), c.problem);
    if (report.ok && c.lossless) {
      EXPECT_EQ(report.frames, 20u);
      EXPECT_EQ(report.samples, 3u * 8 * 8000 * 6 / 60);  // three whole chunks
    }
    if (report.ok && !c.lossless) {
      EXPECT_GT(report.psnr, 40.0);
      EXPECT_GT(report.soundCorrelation, 0.99);
      EXPECT_EQ(report.samples, 3u * 8 * 8000 * 6 / 60);
    }
  }

  // A stop request ends the verification between two frames.
  int asked = 0;
  const VerifyReport stopped =
      VerifyOutput(dir / "written.V02", dir / "written.mkv", true, [&asked] { return ++asked > 5; });
  EXPECT_TRUE(stopped.aborted);
  EXPECT_FALSE(stopped.ok);
  EXPECT_EQ(stopped.frames, 5u);
}

// Without frames there is nothing to compare, but the output must still be
// one the libraries read.
TEST(OutputVerifierTest, OpensTheOutputOfAMovieWithoutFrames) {
  TempDir dir;
  mw::V02MovieOptions empty{.frames = 0};
  ASSERT_EQ(mw::WriteV02Movie(dir / "empty.V02", empty), 0);
  ASSERT_TRUE(porute_test::WriteText(dir / "empty.mkv", std::string(4096, 'x')));
  ASSERT_TRUE(porute_test::WriteText(dir / "empty.mp4", std::string(4096, 'x')));
  EXPECT_FALSE(VerifyOutput(dir / "empty.V02", dir / "empty.mkv", true).ok);
  EXPECT_FALSE(VerifyOutput(dir / "empty.V02", dir / "empty.mp4", false).ok);
}

// What the writers refuse, said before anything is created, with the same
// words Open gives.
TEST(FfmpegMovieEncoderTest, RefusesBeforeCreatingTheFile) {
  MovieEncoder::Shape huge = SmallShape();
  huge.width = huge.height = 8192;
  MovieEncoder::Shape noRate = SmallShape();
  noRate.rate = 0;
  MovieEncoder::Shape slow = SmallShape();  // 40000 s a frame
  slow.rate = 1;
  slow.scale = 40000;
  slow.soundRate = 0;
  MovieEncoder::Shape longSound = SmallShape();  // a chunk's sound of 2^31 samples
  longSound.soundBlockBytes = 0xFFFFFFFEu;
  struct Case {
    FfmpegFormat format;
    MovieEncoder::Shape shape;
    int crf;
    bool writable;
  };
  const std::vector<Case> cases = {
      {FfmpegFormat::kMkv, huge, FfmpegMovieEncoder::kDefaultCrf, true},
      {FfmpegFormat::kMkv, noRate, FfmpegMovieEncoder::kDefaultCrf, false},
      {FfmpegFormat::kMp4, noRate, FfmpegMovieEncoder::kDefaultCrf, false},
      {FfmpegFormat::kMp4, slow, FfmpegMovieEncoder::kDefaultCrf, false},
      {FfmpegFormat::kMkv, slow, FfmpegMovieEncoder::kDefaultCrf, true},
      {FfmpegFormat::kMkv, longSound, FfmpegMovieEncoder::kDefaultCrf, false},
      {FfmpegFormat::kMp4, longSound, FfmpegMovieEncoder::kDefaultCrf, false},
      {FfmpegFormat::kMp4, SmallShape(), 0, true},
      {FfmpegFormat::kMp4, SmallShape(), 52, false},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.shape.width) + " " + std::to_string(c.shape.scale) + " crf " +
                 std::to_string(c.crf));
    const std::string refusal = FfmpegMovieEncoder::Refusal(c.format, c.shape, c.crf);
    EXPECT_EQ(refusal.empty(), c.writable) << refusal;
    if (c.writable) continue;
    FfmpegMovieEncoder encoder(c.format, c.crf);
    EXPECT_EQ(encoder.Open((dir / "a.out").c_str(), c.shape, true),
              MovieEncoder::OpenResult::kRefused);
    EXPECT_EQ(encoder.FailureCause(), refusal);
    EXPECT_EQ(encoder.Close(), 1);
    EXPECT_FALSE(porute_test::FileExists(dir / "a.out"));
  }
}

}  // namespace
