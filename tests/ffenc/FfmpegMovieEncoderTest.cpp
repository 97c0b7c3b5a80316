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
  mw::V02MovieOptions written;
  written.frames = 20;
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
    }
  }
}

}  // namespace
