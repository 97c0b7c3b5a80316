// porute2avi -f mkv and -f mp4 end to end: the real program on our own
// movies, every output read back by ffprobe, ffmpeg, GStreamer or mediainfo
// and compared with the AVI of the same movie.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "batch/Messages.h"
#include "tests/batch/TestSupport.h"
#include "tools/moviewriter/MovieMaker.h"

namespace {

namespace mw = moviewriter;
using porute_test::Bytes;
using porute_test::RunResult;
using porute_test::TempDir;

const std::string kProgram = PORUTE2AVI_PATH;
const std::string kSamples = PORUTE_SAMPLES_DIR;

RunResult Porute(std::vector<std::string> args) {
  args.insert(args.begin(), kProgram);
  return porute_test::Run(args);
}

// The movie shapes worth covering: both samples, the smallest VD02 frame, an
// odd VD00 size that 4:2:0 must pad, and one frame per chunk at a sound rate
// the AAC encoder does not take.
struct Movie {
  const char* name;
  std::string path;  // filled in by MakeMovies
};

std::vector<Movie> MakeMovies(const TempDir& dir) {
  std::vector<Movie> movies = {{"sample-vd02.V02", {}}, {"sample-vd00.V00", {}},
                               {"edge8.V02", {}},       {"odd13.V00", {}},
                               {"chunks.V02", {}}};
  for (const char* sample : {"sample-vd02.V02", "sample-vd00.V00", "sample-vd00.snd"}) {
    porute_test::WriteText(dir / sample, porute_test::ReadText(kSamples + "/" + sample));
  }
  mw::V02MovieOptions edge;
  edge.width = 8;
  edge.height = 8;
  edge.frames = 5;
  mw::V00MovieOptions odd;
  odd.width = 13;
  odd.height = 10;
  odd.frames = 17;
  mw::V02MovieOptions chunks;
  chunks.frames = 45;
  chunks.framesPerChunk = 1;
  chunks.scale = 7;
  chunks.soundRate = 11111;
  EXPECT_EQ(mw::WriteV02Movie(dir / "edge8.V02", edge), 0);
  EXPECT_EQ(mw::WriteV00Movie(dir / "odd13.V00", odd), 0);
  EXPECT_EQ(mw::WriteV02Movie(dir / "chunks.V02", chunks), 0);
  for (Movie& movie : movies) movie.path = dir / movie.name;
  return movies;
}

std::string WithExtension(const std::string& path, const std::string& extension) {
  return path.substr(0, path.rfind('.')) + extension;
}

class FormatsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PORUTE_FFMPEG_BUILT) GTEST_SKIP() << "built without FFmpeg's libraries";
    if (!porute_test::HaveFfmpeg()) GTEST_SKIP() << "ffprobe and ffmpeg are needed";
    movies_ = MakeMovies(dir_);
  }

  // Converts every movie to the format, with the AVI beside it for comparison.
  void ConvertAll(const std::string& format) {
    std::vector<std::string> args = {"-q", "-y", "--verify", "-f", format};
    for (const Movie& movie : movies_) args.push_back(movie.path);
    const RunResult run = Porute(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const Movie& movie : movies_) {
      EXPECT_NE(run.err.find(WithExtension(movie.path, "." + format) + ": verified: "),
                std::string::npos)
          << run.err;
    }
    std::vector<std::string> avi = {"-q", "-y"};
    for (const Movie& movie : movies_) avi.push_back(movie.path);
    ASSERT_EQ(Porute(avi).exitCode, 0);
  }

  TempDir dir_;
  std::vector<Movie> movies_;
};

TEST_F(FormatsTest, MatroskaHoldsTheAvisFramesAndSoundExactly) {
  ConvertAll("mkv");
  for (const Movie& movie : movies_) {
    SCOPED_TRACE(movie.name);
    const std::string mkv = WithExtension(movie.path, ".mkv");
    const std::string avi = WithExtension(movie.path, ".avi");
    Bytes fromMkv, fromAvi, soundMkv, soundAvi;
    ASSERT_TRUE(porute_test::DecodeVideoBgr24(mkv, fromMkv));
    ASSERT_TRUE(porute_test::DecodeVideoBgr24(avi, fromAvi));
    EXPECT_TRUE(fromMkv == fromAvi) << fromMkv.size() << " bytes against " << fromAvi.size();
    ASSERT_TRUE(porute_test::DecodeAudioS16le(mkv, soundMkv));
    ASSERT_TRUE(porute_test::DecodeAudioS16le(avi, soundAvi));
    EXPECT_TRUE(soundMkv == soundAvi) << soundMkv.size() << " bytes against " << soundAvi.size();

    const porute_test::Probe mkvProbe = porute_test::ProbeFile(mkv);
    const porute_test::Probe aviProbe = porute_test::ProbeFile(avi);
    ASSERT_TRUE(mkvProbe.ok) << mkvProbe.error;
    ASSERT_EQ(mkvProbe.streams.size(), 2u);
    EXPECT_EQ(mkvProbe.formatName, "matroska,webm");
    EXPECT_EQ(mkvProbe.streams[0].codecName, "ffv1");
    EXPECT_EQ(mkvProbe.streams[0].frameRate, aviProbe.streams[0].frameRate);
    EXPECT_EQ(mkvProbe.streams[1].codecName, "flac");
    EXPECT_EQ(mkvProbe.streams[1].sampleRate, aviProbe.streams[1].sampleRate);
    EXPECT_EQ(mkvProbe.streams[1].channels, 1);

    // The FFV1 decoder tells its global header: version 3, error correction
    // (slice CRCs) on, every frame intra; and every packet is a key frame.
    const RunResult header = porute_test::Run(
        {"ffprobe", "-v", "debug", "-debug", "pict", "-select_streams", "v:0", "-show_entries",
         "packet=flags", "-of", "csv=p=0", mkv});
    EXPECT_NE(header.err.find("global: ver:3."), std::string::npos);
    EXPECT_NE(header.err.find(" ec:1 intra:1 "), std::string::npos);
    size_t packets = 0;
    for (size_t line = 0; line < header.out.size(); line = header.out.find('\n', line) + 1) {
      EXPECT_EQ(header.out[line], 'K') << "packet " << packets;
      ++packets;
      if (header.out.find('\n', line) == std::string::npos) break;
    }
    EXPECT_EQ(static_cast<int64_t>(packets), aviProbe.streams[0].readFrames);
  }
}

TEST_F(FormatsTest, Mp4IsACloseCopyThatStreamsAndPlays) {
  ConvertAll("mp4");
  for (const Movie& movie : movies_) {
    SCOPED_TRACE(movie.name);
    const std::string mp4 = WithExtension(movie.path, ".mp4");
    const std::string avi = WithExtension(movie.path, ".avi");
    const porute_test::Probe probe = porute_test::ProbeFile(mp4);
    const porute_test::Probe aviProbe = porute_test::ProbeFile(avi);
    ASSERT_TRUE(probe.ok) << probe.error;
    ASSERT_EQ(probe.streams.size(), 2u);
    const porute_test::ProbedStream& video = probe.streams[0];
    const porute_test::ProbedStream& aviVideo = aviProbe.streams[0];
    EXPECT_EQ(video.codecName, "h264");
    EXPECT_EQ(probe.fields.at("streams.stream.0.profile"), "High");
    EXPECT_EQ(video.pixFmt, "yuv420p");
    // An odd side gains one edge row or column.
    EXPECT_EQ(video.width, (aviVideo.width + 1) / 2 * 2);
    EXPECT_EQ(video.height, (aviVideo.height + 1) / 2 * 2);
    EXPECT_EQ(video.readFrames, aviVideo.readFrames);
    EXPECT_NEAR(video.duration, aviVideo.duration, 0.001);
    EXPECT_EQ(probe.streams[1].codecName, "aac");

    // The index comes before the media data, so the file streams.
    const std::string bytes = porute_test::ReadText(mp4);
    EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));

    // PSNR as ffmpeg measures it, in 4:2:0 over the even part of the frame.
    const std::string crop = "crop=" + std::to_string(aviVideo.width / 2 * 2) + ":" +
                             std::to_string(aviVideo.height / 2 * 2) + ":0:0";
    const RunResult psnr = porute_test::Run(
        {"ffmpeg", "-nostdin", "-i", mp4, "-i", avi, "-lavfi",
         "[0:v]" + crop + "[a];[1:v]" + crop + ",format=yuv420p[b];[a][b]psnr", "-f", "null",
         "-"});
    const size_t at = psnr.err.find("average:");
    ASSERT_NE(at, std::string::npos) << psnr.err;
    // Frames of a few dozen pixels are all edges; CRF 18 keeps them
    // recognisable, not transparent.
    const double floor = aviVideo.width >= 64 ? 40.0 : 30.0;
    EXPECT_GT(std::atof(psnr.err.c_str() + at + 8), floor) << psnr.err.substr(at, 40);

    const RunResult play = porute_test::Run(
        {"gst-launch-1.0", "-q", "filesrc", "location=" + mp4, "!", "decodebin", "!", "fakesink"});
    EXPECT_EQ(play.exitCode, 0) << play.err;
  }
}

TEST_F(FormatsTest, MovieWithoutFramesGivesFilesOtherReadersOpen) {
  mw::V02MovieOptions empty;
  empty.frames = 0;
  ASSERT_EQ(mw::WriteV02Movie(dir_ / "empty.V02", empty), 0);
  for (const char* format : {"mkv", "mp4"}) {
    const RunResult run = Porute({"-q", "--verify", "-f", format, dir_ / "empty.V02"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
  }
  // This libavformat refuses a Matroska file without a cluster; mediainfo
  // reads the master's stream headers.
  const RunResult info = porute_test::Run({"mediainfo", dir_ / "empty.mkv"});
  EXPECT_NE(info.out.find("FFV1"), std::string::npos) << info.out;
  EXPECT_TRUE(porute_test::ProbeFile(dir_ / "empty.mp4").ok);
}

TEST_F(FormatsTest, CrfTradesSizeForQuality) {
  const std::string movie = dir_ / "sample-vd02.V02";
  const RunResult first = Porute({"-q", "-f", "mp4", movie});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  struct stat at18 {};
  stat((dir_ / "sample-vd02.mp4").c_str(), &at18);
  ASSERT_EQ(Porute({"-q", "-y", "-f", "mp4", "--crf", "35", movie}).exitCode, 0);
  struct stat at35 {};
  stat((dir_ / "sample-vd02.mp4").c_str(), &at35);
  EXPECT_LT(at35.st_size * 4, at18.st_size * 3);  // the sound stays as it was
}

// A file size limit stands for a full disk: the write fails (SIGXFSZ is
// ignored, so write reports EFBIG), the batch reports it, and no unfinished
// file is left behind.
TEST_F(FormatsTest, FullDiskIsAWriteFailureAndLeavesNoUnfinishedFile) {
  const std::string movie = dir_ / "sample-vd02.V02";
  for (const char* format : {"mkv", "mp4"}) {
    SCOPED_TRACE(format);
    const std::string output = WithExtension(movie, std::string(".") + format);
    const RunResult run = porute_test::Run(
        {"sh", "-c", "trap '' XFSZ; ulimit -f 40; exec \"$0\" -q -f " + std::string(format) +
                         " \"$1\"",
         kProgram, movie});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(porute_test::CliWriteFailedLine(output)), std::string::npos) << run.err;
    EXPECT_FALSE(porute_test::FileExists(output));
  }
}

TEST(FormatOptionsTest, WrongFormatsAndSettingsAreUsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {"-f", "mov", "a.V02"},
      {"--format=AVI", "a.V02"},
      {"-f", "mkv", "--crf", "20", "a.V02"},
      {"-f", "mp4", "--crf", "52", "a.V02"},
      {"-f", "mp4", "--crf=x", "a.V02"},
  };
  for (const auto& args : cases) {
    const RunResult run = Porute(args);
    EXPECT_EQ(run.exitCode, 2) << args[1] << ": " << run.err;
  }
  // Without the libraries every format but AVI is a usage error too.
  if (!PORUTE_FFMPEG_BUILT) {
    EXPECT_EQ(Porute({"-f", "mkv", "a.V02"}).exitCode, 2);
    EXPECT_EQ(Porute({"--verify", "a.V02"}).exitCode, 2);
  }
}

}  // namespace
