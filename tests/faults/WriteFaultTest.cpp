// porute2avi when writing its output goes wrong: every writing call of a
// small conversion (the renames that name its file included) is failed in
// turn through a preloaded shim (IoFaultShim.c), a conversion is killed at a
// random moment, and one runs into a file size limit. Exit 0 is allowed only
// with the whole movie under the output's name. After a failure the earlier
// file of that name is untouched, and whatever is left is the partial file
// the message names, which ffprobe reads, or nothing.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/avifile/AviTestSupport.h"
#include "batch/Messages.h"
#include "tests/batch/TestSupport.h"
#include "tools/moviewriter/MovieMaker.h"

namespace {

namespace mw = moviewriter;
using porute_test::FileSize;
using porute_test::RunResult;

const std::string kProgram = PORUTE2AVI_PATH;
const std::string kShim = FAULT_SHIM_PATH;

// A sanitized porute2avi would refuse a library preloaded before its runtime.
const std::map<std::string, std::string> kShimEnv = {
    {"LD_PRELOAD", kShim}, {"ASAN_OPTIONS", "verify_asan_link_order=0"}};

struct Layout {
  const char* what;
  std::vector<std::string> options;  // the test-only sizes
};
using porute_test::FramesRead;

// What a failed conversion may leave: no file, or a strictly well-formed
// AVI file that ffprobe reads without a complaint.
void ExpectReadableOrAbsent(const std::string& path) {
  if (FileSize(path) < 0) return;
  const avitest::Bytes file = avitest::ReadFileBytes(path);
  std::vector<avitest::RiffNode> top;
  EXPECT_TRUE(avitest::ParsesAsRiff(file, &top));
  std::string complaint;
  EXPECT_GE(FramesRead(path, true, &complaint), 0) << "ffprobe: " << complaint;
}

// The frames that the header of a file in progress accounts for: the video
// stream header's length (the first strh of the first strl).
uint32_t HeaderFrames(const std::string& path) {
  const avitest::Bytes file = avitest::ReadFileBytes(path);
  constexpr size_t kStrh = 12 + 12 + 64 + 12 + 8;
  return file.size() < kStrh + 36 ? 0 : avitest::Get32(file, kStrh + 32);
}

// The file a failed run announced as partial ("porute2avi: PATH: the file is
// partial: ..."), empty when none.
std::string AnnouncedPartial(const std::string& err) {
  const std::string marker = ": the file is partial";
  const size_t at = err.find(marker);
  if (at == std::string::npos) return std::string();
  const size_t begin = err.rfind("porute2avi: ", at);
  return err.substr(begin + 12, at - begin - 12);
}

class WriteFaults : public testing::Test {
 protected:
  void SetUp() override {
    PORUTE_NEED_PROGRAMS("ffprobe", "gst-launch-1.0");
  }
  // A movie of `frames` frames of width x height, 8 to a chunk.
  std::string MakeMovie(uint32_t width, uint32_t height, uint32_t frames,
                        uint32_t framesPerChunk = 8) {
    mw::V02MovieOptions options{.width = width, .height = height, .frames = frames,
        .framesPerChunk = framesPerChunk, .soundRate = 2000};
    const std::string path = dir / "movie.V02";
    EXPECT_EQ(mw::WriteV02Movie(path, options), 0);
    return path;
  }
  std::vector<std::string> Command(const std::string& movie, const Layout& layout) const {
    std::vector<std::string> argv = {kProgram, "-q", "-y", "-o", dir.Path()};
    argv.insert(argv.end(), layout.options.begin(), layout.options.end());
    argv.push_back(movie);
    return argv;
  }
  std::string Output() const { return dir / "movie.avi"; }

  // Before a run: an earlier output of the name, and nothing left by the
  // run before.
  void Prepare(const std::string& output) {
    for (const std::string& left : porute_test::TemporaryFilesIn(dir.Path())) unlink(left.c_str());
    const size_t dot = output.rfind('.');
    unlink((output.substr(0, dot) + ".partial" + output.substr(dot)).c_str());
    porute_test::WriteText(output, kOld);
  }
  // After a failed run: the earlier output is untouched, and the only file
  // left is the one the message names (partial, or under its temporary name
  // when the partial name could not be given). Returns it, or "".
  std::string LeftAfterFailure(const RunResult& run, const std::string& output) {
    EXPECT_EQ(porute_test::ReadText(output), kOld) << "the earlier output was harmed";
    const std::string announced = AnnouncedPartial(run.err);
    const size_t dot = output.rfind('.');
    const std::string partial = output.substr(0, dot) + ".partial" + output.substr(dot);
    for (const std::string& left : porute_test::TemporaryFilesIn(dir.Path())) {
      EXPECT_EQ(left, announced) << "a temporary file left unannounced";
    }
    if (announced.empty()) {
      EXPECT_LT(FileSize(partial), 0) << "a partial file left unannounced";
      return std::string();
    }
    EXPECT_GE(FileSize(announced), 0) << "announced but absent: " << announced;
    return announced;
  }

  static constexpr char kOld[] = "an earlier output";

  porute_test::TempDir dir;
};

// Each writing call on the output fails in turn, with ENOSPC and with EIO.
// The files left behind are read back at the end, each distinct one once,
// several ffprobe at a time.
TEST_F(WriteFaults, EveryWritingCallFailsInTurn) {
  const Layout layouts[] = {
      // A header refresh every few frames, so that refreshes fail too.
      {"AVI 1.0", {"--refresh-interval=2000"}},
      // RIFFs of a few chunks: ix## chunks, AVIX sizes and the super index.
      {"OpenDML", {"--refresh-interval=2000", "--riff-limit=4000"}},
  };
  const std::string movie = MakeMovie(16, 8, 10, 4);
  // Each distinct file once, by its bytes.
  std::set<std::string> leftBehind;
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.what);
    porute_test::RunOptions clean;
    clean.env = kShimEnv;
    clean.env["PORUTE_FAULT_COUNT"] = dir / "calls.txt";
    unlink(Output().c_str());
    const RunResult reference = porute_test::Run(Command(movie, layout), clean);
    ASSERT_EQ(reference.exitCode, 0) << reference.err;
    const avitest::Bytes expected = avitest::ReadFileBytes(Output());
    const int calls = std::stoi(porute_test::ReadText(dir / "calls.txt"));
    // The refreshes leave no trace in the finished file.
    Layout unrefreshed = layout;
    unrefreshed.options.erase(unrefreshed.options.begin());
    ASSERT_EQ(porute_test::Run(Command(movie, unrefreshed)).exitCode, 0);
    EXPECT_TRUE(avitest::ReadFileBytes(Output()) == expected);
    ASSERT_GT(calls, 15);

    for (const int error : {ENOSPC, EIO}) {
      for (int at = 1; at <= calls; ++at) {
        SCOPED_TRACE("errno " + std::to_string(error) + ", call " + std::to_string(at));
        porute_test::RunOptions faulty;
        faulty.env = kShimEnv;
        faulty.env["PORUTE_FAULT_AT"] = std::to_string(at);
        faulty.env["PORUTE_FAULT_ERRNO"] = std::to_string(error);
        Prepare(Output());
        const RunResult run = porute_test::Run(Command(movie, layout), faulty);
        if (run.exitCode == 0) {
          EXPECT_TRUE(avitest::ReadFileBytes(Output()) == expected)
              << "exit 0 with a file that differs from a clean run's";
          EXPECT_TRUE(porute_test::TemporaryFilesIn(dir.Path()).empty());
          continue;
        }
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find(porute_test::CliWriteFailedLine(Output())), std::string::npos) << run.err;
        const std::string left = LeftAfterFailure(run, Output());
        if (left.empty()) continue;
        const avitest::Bytes file = avitest::ReadFileBytes(left);
        std::vector<avitest::RiffNode> top;
        EXPECT_TRUE(avitest::ParsesAsRiff(file, &top));
        leftBehind.emplace(file.begin(), file.end());
      }
    }
  }

  porute_test::TempDir probes;
  int n = 0;
  for (const std::string& file : leftBehind) {
    porute_test::WriteText(probes / ("left" + std::to_string(n++) + ".avi"), file);
  }
  const RunResult probe = porute_test::Run(
      {"/bin/sh", "-c",
       "cd \"$0\" && for f in left*.avi; do echo \"$f\"; done | xargs -P 4 -I{} sh -c "
       "'ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "
       "\"$1\" >/dev/null 2>\"$1.err\" || echo \"ffprobe failed\" >>\"$1.err\"' sh {}; "
       "for f in left*.avi.err; do [ -s \"$f\" ] && { echo \"== $f\"; cat \"$f\"; }; done; true",
       probes.Path()});
  EXPECT_EQ(probe.out, "") << "ffprobe complained about files left behind";
}

// The report under the same faults: its name holds a whole document, the
// new one or the one before, and a failure reaches the user with exit 1.
TEST_F(WriteFaults, ReportWritingCallsFailInTurn) {
  const std::string movie = MakeMovie(16, 8, 2, 4);
  const std::string report = dir / "run.json";
  const std::vector<std::string> command = {kProgram, "-q", "-y", "--report", report,
                                            "-o", dir.Path(), movie};
  const auto whole = [&report] {
    return porute_test::Run({"python3", "-c",
                             "import json, sys\n"
                             "print(json.load(open(sys.argv[1]))['inputs'][0]['outcome'])",
                             report})
        .out;
  };
  porute_test::RunOptions clean;
  clean.env = kShimEnv;
  clean.env["PORUTE_FAULT_SUFFIX"] = "-report.tmp";
  clean.env["PORUTE_FAULT_COUNT"] = dir / "calls.txt";
  ASSERT_EQ(porute_test::Run(command, clean).exitCode, 0);
  ASSERT_EQ(whole(), "converted\n");
  const int calls = std::stoi(porute_test::ReadText(dir / "calls.txt"));
  ASSERT_GE(calls, 3);  // write, fsync, close
  for (int at = 1; at <= calls; ++at) {
    SCOPED_TRACE("call " + std::to_string(at));
    porute_test::RunOptions faulty = clean;
    faulty.env.erase("PORUTE_FAULT_COUNT");
    faulty.env["PORUTE_FAULT_AT"] = std::to_string(at);
    const RunResult run = porute_test::Run(command, faulty);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("porute2avi: " + report + ": cannot write the report: "),
              std::string::npos)
        << run.err;
    EXPECT_EQ(whole(), "converted\n");
    const RunResult left = porute_test::Run({"sh", "-c", "ls \"$0\" | grep -c tmp", dir.Path()});
    EXPECT_EQ(left.out, "0\n") << "a temporary file was left";
  }
}

// The thumbnailer's picture under the same faults: a failure reaches the file
// manager as a non-zero exit, the earlier picture of the name stays, and no
// temporary file is left.
TEST_F(WriteFaults, ThumbnailerWritingCallsFailInTurn) {
  if (!PORUTE_THUMBNAILER_BUILT) GTEST_SKIP() << "built without the thumbnailer";
  const std::string movie = MakeMovie(16, 8, 2, 4);
  const std::string picture = dir / "movie.png";
  const std::vector<std::string> command = {PORUTE_THUMBNAILER_PATH, "-s", "16", movie, picture};
  porute_test::RunOptions clean;
  clean.env = kShimEnv;
  clean.env["PORUTE_FAULT_SUFFIX"] = ".png";
  clean.env["PORUTE_FAULT_COUNT"] = dir / "calls.txt";
  ASSERT_EQ(porute_test::Run(command, clean).exitCode, 0);
  const std::string whole = porute_test::ReadText(picture);
  const int calls = std::stoi(porute_test::ReadText(dir / "calls.txt"));
  ASSERT_GE(calls, 4);  // write, fsync, close, rename
  for (int at = 1; at <= calls; ++at) {
    SCOPED_TRACE("call " + std::to_string(at));
    porute_test::WriteText(picture, kOld);
    porute_test::RunOptions faulty = clean;
    faulty.env.erase("PORUTE_FAULT_COUNT");
    faulty.env["PORUTE_FAULT_AT"] = std::to_string(at);
    const RunResult run = porute_test::Run(command, faulty);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("cannot write the picture"), std::string::npos) << run.err;
    EXPECT_EQ(porute_test::ReadText(picture), kOld) << "the earlier picture was harmed";
    EXPECT_TRUE(porute_test::TemporaryFilesIn(dir.Path()).empty()) << "a temporary file was left";
  }
  EXPECT_GT(whole.size(), 8u);
}

// The Matroska and MP4 writers under the same faults: their files differ
// from run to run (a random segment id, the encoder's threads), so a clean
// exit is checked by ffprobe's frame count.
TEST_F(WriteFaults, FfmpegFormatsWritingCallsFailInTurn) {
  const std::string movie = MakeMovie(16, 8, 10, 4);
  for (const std::string format : {"mkv", "mp4"}) {
    SCOPED_TRACE(format);
    const std::string output = dir / ("movie." + format);
    const std::vector<std::string> command = {kProgram, "-q", "-y", "-f", format, "-o",
                                              dir.Path(), movie};
    porute_test::RunOptions clean;
    clean.env = kShimEnv;
    clean.env["PORUTE_FAULT_SUFFIX"] = "." + format;
    clean.env["PORUTE_FAULT_COUNT"] = dir / "calls.txt";
    Prepare(output);
    const RunResult reference = porute_test::Run(command, clean);
    if (!PORUTE_FFMPEG_BUILT) GTEST_SKIP() << "built without FFmpeg's libraries";
    ASSERT_EQ(reference.exitCode, 0) << reference.err;
    const int calls = std::stoi(porute_test::ReadText(dir / "calls.txt"));
    ASSERT_GT(calls, 2);
    for (const int error : {ENOSPC, EIO}) {
      for (int at = 1; at <= calls; ++at) {
        SCOPED_TRACE("errno " + std::to_string(error) + ", call " + std::to_string(at));
        porute_test::RunOptions faulty = clean;
        faulty.env.erase("PORUTE_FAULT_COUNT");
        faulty.env["PORUTE_FAULT_AT"] = std::to_string(at);
        faulty.env["PORUTE_FAULT_ERRNO"] = std::to_string(error);
        Prepare(output);
        const RunResult run = porute_test::Run(command, faulty);
        if (run.exitCode == 0) {
          EXPECT_EQ(FramesRead(output, false), 10);
          EXPECT_TRUE(porute_test::TemporaryFilesIn(dir.Path()).empty());
          continue;
        }
        EXPECT_EQ(run.exitCode, 1);
        // The MP4 header is written while the encoder is opened.
        EXPECT_TRUE(run.err.find(porute_test::CliWriteFailedLine(output)) != std::string::npos ||
                    run.err.find("porute2avi: " + output + ": cannot open the file") !=
                        std::string::npos)
            << run.err;
        const std::string left = LeftAfterFailure(run, output);
        if (left.empty()) continue;
        std::string complaint;
        EXPECT_GE(FramesRead(left, true, &complaint), 0) << complaint;
      }
    }
  }
}

// SIGKILL at a random moment after a few header refreshes: nothing has the
// output's name, and its temporary file reads to at least the last refresh,
// in ffprobe and in GStreamer. A rerun converts the movie whole and clears
// the leftover away.
TEST_F(WriteFaults, KilledConversionLeavesAReadableFile) {
  constexpr uint32_t kWidth = 32, kHeight = 24, kFrames = 240;
  constexpr uint32_t kFrameBytes = kWidth * 3 * kHeight;
  constexpr int64_t kRefresh = 16384;
  const Layout layouts[] = {
      {"AVI 1.0", {"--refresh-interval=16384"}},
      {"OpenDML", {"--refresh-interval=16384", "--riff-limit=100000"}},
  };
  const std::string movie = MakeMovie(kWidth, kHeight, kFrames);
  std::random_device seed;
  std::mt19937 random(seed());
  for (const Layout& layout : layouts) {
    const int delayMs = std::uniform_int_distribution<int>(0, 150)(random);
    SCOPED_TRACE(std::string(layout.what) + ", killed " + std::to_string(delayMs) +
                 " ms after the fourth refresh");
    unlink(Output().c_str());
    const auto inProgress = [&] {
      const std::vector<std::string> found = porute_test::TemporaryFilesIn(dir.Path());
      return found.empty() ? std::string() : found[0];
    };
    porute_test::RunOptions slowed;
    slowed.env = kShimEnv;
    // About 300 writing calls of 2 ms: well over half a second.
    slowed.env["PORUTE_FAULT_DELAY_US"] = "2000";
    porute_test::Started child = porute_test::Start(Command(movie, layout), slowed);
    ASSERT_GE(child.pid, 0);
    // A run that ends by itself is reaped here; Finish then tells of no signal.
    int status = 0;
    while (FileSize(inProgress()) < 10240 + 4 * kRefresh &&
           waitpid(child.pid, &status, WNOHANG) == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    kill(child.pid, SIGKILL);
    ASSERT_EQ(porute_test::Finish(child).signal, SIGKILL)
        << "the conversion ended before it was killed";

    EXPECT_LT(FileSize(Output()), 0) << "a killed conversion has the output's name";
    const std::string left = inProgress();
    ASSERT_FALSE(left.empty());
    const uint32_t described = HeaderFrames(left);
    EXPECT_GE(described, 3u);
    EXPECT_GE(FramesRead(left, false), static_cast<int64_t>(described));
    const porute_test::Decoded video = porute_test::DemuxWithGstreamer(left, 'v');
    EXPECT_TRUE(video.ok) << video.errors;
    EXPECT_GE(video.data.size() / kFrameBytes, described);
    const RunResult rerun = porute_test::Run(Command(movie, layout));
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
    EXPECT_EQ(FramesRead(Output()), kFrames);
    EXPECT_TRUE(porute_test::TemporaryFilesIn(dir.Path()).empty());
  }
}

// A file size limit (SIGXFSZ ignored by porute2avi, so writes fail with
// EFBIG) is a write failure: the message, exit 1, a well-formed partial file.
TEST_F(WriteFaults, FileSizeLimitIsAWriteFailure) {
  const std::string movie = MakeMovie(32, 24, 60);
  std::vector<std::string> argv = {"/bin/sh", "-c", "ulimit -f 100 && exec \"$0\" \"$@\""};
  const std::vector<std::string> command = Command(movie, Layout{"AVI 1.0", {}});
  argv.insert(argv.end(), command.begin(), command.end());
  const RunResult run = porute_test::Run(argv);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find(porute_test::CliWriteFailedLine(Output())), std::string::npos) << run.err;
  const std::string partial = dir / "movie.partial.avi";
  EXPECT_LT(FileSize(Output()), 0);
  ASSERT_GT(FileSize(partial), 0);
  EXPECT_LE(FileSize(partial), 100 * 512);
  ExpectReadableOrAbsent(partial);
  // The message tells the frames the file holds, those the last chunks that
  // gave way to the indexes excepted.
  const size_t holds = run.err.find("it holds ");
  ASSERT_NE(holds, std::string::npos) << run.err;
  const int64_t told = std::strtoll(run.err.c_str() + holds + 9, nullptr, 10);
  EXPECT_GT(told, 0);
  EXPECT_EQ(FramesRead(partial), told);
}

// --verify catches an output that reached the disk other than it was
// written: one data write has its middle byte inverted on the way. The file
// fails with the first difference named and exit 1, is not kept under any
// name, and the earlier output stays. Writing calls of a 16 x 8 movie at 4
// frames a chunk: 1 the header, then one per frame or sound block in file
// order (frames 0-3, sound, ...); the inverted byte is that of pixel (14, 4).
TEST_F(WriteFaults, VerifyFindsAnOutputAlteredOnItsWayToTheDisk) {
  if (!PORUTE_FFMPEG_BUILT) GTEST_SKIP() << "built without FFmpeg's libraries";
  const std::string movie = MakeMovie(16, 8, 10, 4);
  const struct {
    const char* call;
    const char* finding;
  } cases[] = {{"3", "frame 1 differs at pixel (14, 4)"},
               {"6", "sound sample 398 differs: -8705 instead of -8960"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.finding);
    porute_test::RunOptions altering;
    altering.env = kShimEnv;
    altering.env["LC_ALL"] = "C";
    altering.env["PORUTE_FAULT_FLIP"] = c.call;
    Prepare(Output());
    const RunResult run = porute_test::Run(Command(movie, {"AVI 1.0", {"--verify"}}), altering);
    EXPECT_EQ(run.exitCode, 1);
    const std::string line = "porute2avi: " + Output() + ": verification failed: " + c.finding;
    EXPECT_NE(run.err.find(line + "\n"), std::string::npos) << run.err;
    EXPECT_EQ(LeftAfterFailure(run, Output()), "");
  }
}

// Writes cut short or interrupted by a signal are finished, not lost: the
// file is byte for byte that of an undisturbed run, in both layouts.
TEST_F(WriteFaults, ShortAndInterruptedWritesAreCompleted) {
  const std::string movie = MakeMovie(16, 8, 10, 4);
  for (const Layout& layout : {Layout{"AVI 1.0", {}}, Layout{"OpenDML", {"--riff-limit=4000"}}}) {
    SCOPED_TRACE(layout.what);
    unlink(Output().c_str());
    const RunResult reference = porute_test::Run(Command(movie, layout));
    ASSERT_EQ(reference.exitCode, 0) << reference.err;
    const avitest::Bytes expected = avitest::ReadFileBytes(Output());
    porute_test::RunOptions choppy;
    choppy.env = kShimEnv;
    choppy.env["PORUTE_FAULT_CHOPPY"] = "1";
    unlink(Output().c_str());
    const RunResult run = porute_test::Run(Command(movie, layout), choppy);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(avitest::SameBytes(avitest::ReadFileBytes(Output()), expected));
  }
}

}  // namespace
