// The batch driver with a scripted host: real movies from our writer go
// through the real decoder and encoder; the host records every call, answers
// the questions from a script and acts inside the pump as a user would.
#include "batch/BatchDriver.h"
#include "v02dec/V02Decode.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "batch/AviMovieEncoder.h"
#include "batch/Messages.h"
#include "tests/batch/TestSupport.h"
#include "tests/common/AviChecks.h"
#include "tools/moviewriter/MovieFiles.h"
#include "tools/moviewriter/ReferenceModel.h"
#include "v02dec/TBitmap.h"

namespace {

using moviewriter::Bytes;
using moviewriter::ExpectedMovie;
using porute_test::TempDir;

class ScriptedHost : public BatchHost {
 public:
  BatchDriver* driver = nullptr;
  std::vector<std::string> log;
  std::deque<OverwriteAnswer> overwriteAnswers;
  std::deque<bool> abortAnswers;
  // Called in every pump with its number (0 for the first pump of a batch).
  std::function<void(int)> onPump;
  // Pixel memory of every frame shown, in order.
  std::vector<Bytes> shownFrames;
  int pumps = 0;
  bool busyWhileRunning = true;

  std::vector<BatchFailure> failures;
  std::vector<BatchSummary> summaries;

  void ShowError(const BatchFailure& failure) override {
    failures.push_back(failure);
    Record("error " + DesignedMessage(failure));
  }
  OverwriteAnswer ConfirmOverwrite(const std::string& path) override {
    Record("ask " + path);
    if (overwriteAnswers.empty()) {
      ADD_FAILURE() << "unexpected overwrite question for " << path;
      return OverwriteAnswer::kNo;
    }
    const OverwriteAnswer answer = overwriteAnswers.front();
    overwriteAnswers.pop_front();
    return answer;
  }
  bool ConfirmAbort() override {
    Record("abort?");
    if (abortAnswers.empty()) {
      ADD_FAILURE() << "unexpected abort question";
      return false;
    }
    const bool answer = abortAnswers.front();
    abortAnswers.pop_front();
    return answer;
  }
  void SetRunning(bool running) override { Record(running ? "running" : "idle"); }
  void SetProgressMaximum(uint32_t maximum) override { Record("max " + std::to_string(maximum)); }
  void ShowProgress(const BatchProgress& progress) override {
    Record("pos " + std::to_string(progress.barPosition));
  }
  void ShowFileName(const std::string& name, const BatchProgress&) override {
    Record("name " + name);
  }
  void BatchFinished(const BatchSummary& summary) override { summaries.push_back(summary); }
  void ShowFrame(const TBitmap& frame) override {
    Record("frame");
    shownFrames.emplace_back(frame.Pixels(), frame.Pixels() + frame.PixelBytes());
  }
  void Pump() override {
    // While a chunk is still being decoded the driver pumps every 100 ms, as
    // often as a slow (sanitized) build takes; the tests script the pump
    // that follows each chunk, so only those are recorded and counted.
    if (log.empty() || log.back().rfind("pos ", 0) != 0) return;
    Record("pump");
    if (onPump) onPump(pumps);
    ++pumps;
  }

 private:
  void Record(std::string entry) {
    // Between "running" and "idle" the shared state says Busy; at "idle" and
    // after it the flags are both 0 again.
    const bool idleCall = entry == "idle" || (!log.empty() && log.back() == "idle");
    if (driver != nullptr && (driver->Busy != (idleCall ? 0 : 1))) busyWhileRunning = false;
    if (driver != nullptr && idleCall && driver->AbortRequested != 0) busyWhileRunning = false;
    log.push_back(std::move(entry));
  }
};

// A pattern no two frames share, so a frame written twice or out of order
// shows.
moviewriter::PixelFrame PatternFrame(uint32_t index, uint32_t width, uint32_t height) {
  moviewriter::PixelFrame pixels(size_t{width} * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      pixels[size_t{y} * width + x] =
          static_cast<uint16_t>((index * 977u + x * 37u + y * 1031u) & 0xFFFFu);
    }
  }
  return pixels;
}

constexpr uint32_t kWidth = 16;
constexpr uint32_t kHeight = 8;

// Writes a VD00 movie (with a 8000 Hz companion unless silent) and returns
// what a converter must deliver for it.
ExpectedMovie WriteV00(const std::string& path, uint32_t frames, bool withSound = true) {
  moviewriter::V00Header header;
  header.frameCount = frames;
  header.width = kWidth;
  header.height = kHeight;
  std::vector<moviewriter::PixelFrame> pictures;
  for (uint32_t i = 0; i < frames; ++i) pictures.push_back(PatternFrame(i, kWidth, kHeight));
  const Bytes movie = moviewriter::BuildV00(header, pictures);
  EXPECT_TRUE(moviewriter::WriteWholeFile(path, movie));
  Bytes companion;
  if (withSound) {
    const uint32_t chunks = (frames + 7) / 8;
    Bytes sound(size_t{chunks} * 6400);
    for (size_t i = 0; i < sound.size(); ++i) sound[i] = static_cast<uint8_t>(i * 7 + i / 640);
    companion = moviewriter::BuildSnd(784, sound);
    EXPECT_TRUE(moviewriter::WriteWholeFile(moviewriter::CompanionPath(path), companion));
  }
  ExpectedMovie expected;
  EXPECT_TRUE(moviewriter::ExpectV00(movie, withSound ? &companion : nullptr, expected));
  return expected;
}

std::vector<std::string> Log(std::initializer_list<std::string> entries) { return entries; }

class BatchDriverTest : public testing::Test {
 public:
  BatchDriverTest() { host.driver = &driver; }

  std::string In(const std::string& name) const { return dir / name; }

  // Runs the batch with the file size limited as on a full disk: writes past
  // `bytes` fail (SIGXFSZ ignored) and the limit is lifted afterwards.
  void RunBatchWithFileSizeLimit(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit saved = limit;
    limit.rlim_cur = bytes;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    driver.BtnStartClick();
    setrlimit(RLIMIT_FSIZE, &saved);
  }

  // The output against the movie, in ffprobe and ffmpeg.
  void ExpectConverted(const std::string& aviPath, const ExpectedMovie& movie,
                       uint32_t framesWritten, size_t soundBlocks) {
    PORUTE_NEED_PROGRAMS("ffprobe", "ffmpeg");
    porute_test::ExpectAviHolds(aviPath, movie, framesWritten, soundBlocks);
  }

  TempDir dir;
  ScriptedHost host;
  BatchDriver driver{host};
};

TEST_F(BatchDriverTest, TwentyFiveFramesGoInFourChunksWithAWholeSoundBlockLast) {
  const ExpectedMovie movie = WriteV00(In("a.V00"), 25);
  driver.FileList = {In("a.V00")};
  driver.BtnStartClick();

  EXPECT_EQ(host.log, Log({"running", "max 100", "pos 0", "name a.V00",
                           "frame", "pos 32", "pump", "frame", "pos 64", "pump",
                           "frame", "pos 96", "pump", "frame", "pos 100", "pump",
                           "idle", "pos 0"}));
  EXPECT_TRUE(host.busyWhileRunning);
  EXPECT_EQ(driver.LastSummary().outcome, BatchSummary::Outcome::kCompleted);
  EXPECT_EQ(driver.LastSummary().converted, 1u);
  // The preview gets the first frame of each chunk: frames 0, 8, 16, 24.
  ASSERT_EQ(host.shownFrames.size(), 4u);
  for (size_t chunk = 0; chunk < 4; ++chunk) {
    EXPECT_TRUE(host.shownFrames[chunk] == movie.frames[chunk * 8]) << "chunk " << chunk;
  }
  ExpectConverted(In("a.avi"), movie, 25, 4);
}

TEST_F(BatchDriverTest, EmptyListDoesNothing) {
  driver.BtnStartClick();
  EXPECT_TRUE(host.log.empty());
  EXPECT_EQ(driver.Busy, 0);
  EXPECT_EQ(driver.LastSummary().outcome, BatchSummary::Outcome::kNothingToDo);
}

TEST_F(BatchDriverTest, ZeroFramesMakeAnEmptyFileAndTheBatchGoesOn) {
  WriteV00(In("z.V00"), 0);
  WriteV00(In("b.V00"), 3, false);
  driver.FileList = {In("z.V00"), In("b.V00")};
  driver.BtnStartClick();

  EXPECT_EQ(host.log, Log({"running", "max 200", "pos 0", "name z.V00", "name b.V00", "frame",
                           "pos 200", "pump", "idle", "pos 0"}));
  EXPECT_EQ(driver.LastSummary().converted, 2u);
  PORUTE_NEED_PROGRAMS("ffprobe", "ffmpeg");
  const porute_test::Probe probe = porute_test::ProbeFile(In("z.avi"));
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_EQ(probe.streams.size(), 2u);
  EXPECT_EQ(probe.streams[0].codecType, "video");
  EXPECT_EQ(probe.streams[1].codecType, "audio");
  // ffprobe counts nothing in an empty stream ("N/A"); its length is 0.
  EXPECT_LE(probe.streams[0].readFrames, 0);
  EXPECT_EQ(probe.fields.at("streams.stream.0.duration_ts"), "0");
}

TEST_F(BatchDriverTest, OverwriteAnswersPerFileAndPerBatch) {
  // Three inputs whose outputs exist; the answers No, then Yes to all: the
  // first is kept, the second and third are converted, the third unasked.
  const char* names[] = {"p.V00", "q.V00", "r.V00"};
  for (const char* name : names) {
    WriteV00(In(name), 2, false);
    porute_test::WriteText(In(std::string(name, 1) + ".avi"), "kept");
  }
  driver.FileList = {In("p.V00"), In("q.V00"), In("r.V00")};
  host.overwriteAnswers = {OverwriteAnswer::kNo, OverwriteAnswer::kYesToAll};
  driver.BtnStartClick();

  EXPECT_EQ(host.log, Log({"running", "max 300", "pos 0", "ask " + In("p.avi"),
                           "ask " + In("q.avi"), "name q.V00", "frame", "pos 200", "pump",
                           "name r.V00", "frame", "pos 300", "pump", "idle", "pos 0"}));
  EXPECT_EQ(porute_test::ReadText(In("p.avi")), "kept");
  EXPECT_NE(porute_test::ReadText(In("q.avi")), "kept");
  EXPECT_NE(porute_test::ReadText(In("r.avi")), "kept");
  EXPECT_EQ(driver.LastSummary().converted, 2u);
  EXPECT_EQ(driver.LastSummary().skipped, 1u);

  // Yes to all does not carry over into the next batch; a question closed
  // without an answer skips the file like No and leaves it untouched.
  porute_test::WriteText(In("q.avi"), "kept");
  host.log.clear();
  host.overwriteAnswers = {OverwriteAnswer::kCancelled, OverwriteAnswer::kYes,
                           OverwriteAnswer::kCancelled};
  driver.BtnStartClick();
  EXPECT_EQ(host.log, Log({"running", "max 300", "pos 0", "ask " + In("p.avi"),
                           "ask " + In("q.avi"), "name q.V00", "frame", "pos 200", "pump",
                           "ask " + In("r.avi"), "idle", "pos 0"}));
  EXPECT_EQ(porute_test::ReadText(In("p.avi")), "kept");
  EXPECT_NE(porute_test::ReadText(In("q.avi")), "kept");
  EXPECT_EQ(driver.LastSummary().outcome, BatchSummary::Outcome::kCompleted);
}

TEST_F(BatchDriverTest, SameNameFromTwoFoldersMeetsTheQuestionInOneSaveDir) {
  ASSERT_EQ(mkdir(In("one").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(In("two").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(In("out").c_str(), 0755), 0);
  WriteV00(In("one/m.V00"), 1, false);
  const ExpectedMovie second = WriteV00(In("two/m.V00"), 9);
  driver.FileList = {In("one/m.V00"), In("two/m.V00")};
  driver.SaveDir = In("out");
  host.overwriteAnswers = {OverwriteAnswer::kYes};
  driver.BtnStartClick();
  EXPECT_EQ(host.log, Log({"running", "max 200", "pos 0", "name m.V00", "frame", "pos 100",
                           "pump", "ask " + In("out/m.avi"), "name m.V00", "frame", "pos 188",
                           "pump", "frame", "pos 200", "pump", "idle", "pos 0"}));
  ExpectConverted(In("out/m.avi"), second, 9, 2);
}

TEST_F(BatchDriverTest, SecondOfThreeSkippedKeepsTheBarAtItsPlace) {
  for (const char* name : {"a.V00", "b.V00", "c.V00"}) WriteV00(In(name), 16, false);
  porute_test::WriteText(In("b.avi"), "kept");
  driver.FileList = {In("a.V00"), In("b.V00"), In("c.V00")};
  host.overwriteAnswers = {OverwriteAnswer::kNo};
  driver.BtnStartClick();
  EXPECT_EQ(host.log, Log({"running", "max 300", "pos 0", "name a.V00", "frame", "pos 50",
                           "pump", "frame", "pos 100", "pump", "ask " + In("b.avi"),
                           "name c.V00", "frame", "pos 250", "pump", "frame", "pos 300", "pump",
                           "idle", "pos 0"}));
}

TEST_F(BatchDriverTest, ListReplacedDuringTheBatchGoesOnFromTheSameIndex) {
  for (const char* name : {"a.V00", "x.V00", "y.V00", "z.V00"}) WriteV00(In(name), 8, false);
  driver.FileList = {In("a.V00"), In("a.V00")};
  host.onPump = [&](int pump) {
    if (pump == 0) driver.FileList = {In("x.V00"), In("y.V00"), In("z.V00")};
  };
  driver.BtnStartClick();
  // Index 1 of the new list is y, then z; the maximum stays at 2 files.
  EXPECT_EQ(host.log, Log({"running", "max 200", "pos 0", "name a.V00", "frame", "pos 100",
                           "pump", "name y.V00", "frame", "pos 200", "pump", "name z.V00",
                           "frame", "pos 300", "pump", "idle", "pos 0"}));
  EXPECT_FALSE(porute_test::FileExists(In("x.avi")));
  EXPECT_TRUE(porute_test::FileExists(In("z.avi")));
}

TEST_F(BatchDriverTest, AbortTakesEffectAfterTheCurrentChunk) {
  const ExpectedMovie movie = WriteV00(In("a.V00"), 40);
  WriteV00(In("b.V00"), 8, false);
  driver.FileList = {In("a.V00"), In("b.V00")};
  // The start button clicked in the first pump (answered No: nothing
  // changes) and again in the second (Yes).
  host.abortAnswers = {false, true};
  host.onPump = [&](int pump) {
    if (pump <= 1) driver.BtnStartClick();
  };
  driver.BtnStartClick();

  EXPECT_EQ(host.log, Log({"running", "max 200", "pos 0", "name a.V00", "frame", "pos 20",
                           "pump", "abort?", "frame", "pos 40", "pump", "abort?", "idle",
                           "pos 0"}));
  EXPECT_EQ(driver.LastSummary().outcome, BatchSummary::Outcome::kAborted);
  EXPECT_EQ(driver.Busy, 0);
  EXPECT_EQ(driver.AbortRequested, 0);
  EXPECT_FALSE(porute_test::FileExists(In("b.avi")));
  // The aborted file holds its two chunks, is readable, and goes by its
  // partial name: the final name is only ever a whole conversion.
  EXPECT_EQ(driver.LastSummary().abortedOutput, In("a.partial.avi"));
  EXPECT_EQ(driver.LastSummary().abortedFrames, 16u);
  EXPECT_FALSE(porute_test::FileExists(In("a.avi")));
  ExpectConverted(In("a.partial.avi"), movie, 16, 2);
}

struct ErrorCase {
  const char* label;
  // Prepares the first input (or the folder) and returns its path.
  std::function<std::string(BatchDriverTest&, const std::string& dir)> prepare;
  std::function<std::string(const std::string& dir)> message;
  bool outputLeft;           // first.avi exists afterwards
  bool partialLeft = false;  // first.partial.avi does
};

class BatchDriverErrors : public BatchDriverTest,
                          public testing::WithParamInterface<ErrorCase> {};

TEST_P(BatchDriverErrors, StopTheBatchWithTheirMessageAndLeaveItIdle) {
  // The decoder's memory cap follows the machine's memory; at its least,
  // 1.5 GiB, the 8192 x 8192 VD00 case is too large anywhere.
  struct LeastMemoryCap {
    LeastMemoryCap() { V02Decode::OverrideDefaultMemoryLimit(V02Decode::kMinMemoryLimit); }
    ~LeastMemoryCap() { V02Decode::OverrideDefaultMemoryLimit(0); }
  } leastCap;
  const ErrorCase& c = GetParam();
  const std::string first = c.prepare(*this, dir.Path());
  WriteV00(In("next.V00"), 2, false);
  driver.FileList = {first, In("next.V00")};
  driver.BtnStartClick();

  ASSERT_GE(host.log.size(), 3u);
  EXPECT_EQ(host.log[host.log.size() - 3], "error " + c.message(dir.Path()));
  EXPECT_EQ(host.log[host.log.size() - 2], "idle");
  EXPECT_EQ(host.log.back(), "pos 0");
  EXPECT_TRUE(host.busyWhileRunning);
  EXPECT_EQ(driver.LastSummary().outcome, BatchSummary::Outcome::kStoppedByError);
  EXPECT_EQ(driver.Busy, 0);
  EXPECT_FALSE(porute_test::FileExists(In("next.avi"))) << "the batch went on";
  EXPECT_EQ(porute_test::FileExists(In("first.avi")), c.outputLeft);
  EXPECT_EQ(porute_test::FileExists(In("first.partial.avi")), c.partialLeft);
  EXPECT_TRUE(porute_test::TemporaryFilesIn(dir.Path()).empty());
}

std::string Quoted(const std::string& path, const char* text) { return PathMessage(path, text); }

INSTANTIATE_TEST_SUITE_P(
    Table, BatchDriverErrors,
    testing::Values(
        ErrorCase{"MissingInput",
                  [](BatchDriverTest&, const std::string& d) { return d + "/first.V00"; },
                  [](const std::string& d) { return Quoted(d + "/first.V00", kTextOpenFailed); },
                  false},
        ErrorCase{"UnknownExtension",
                  [](BatchDriverTest&, const std::string& d) {
                    porute_test::WriteText(d + "/first.txt", "VD00");
                    return d + "/first.txt";
                  },
                  [](const std::string& d) { return Quoted(d + "/first.txt", kTextUnsupported); },
                  false},
        ErrorCase{"AviInputRefusedBeforeItsOutputIsOpened",
                  [](BatchDriverTest&, const std::string& d) {
                    porute_test::WriteText(d + "/first.avi", "a user's file");
                    return d + "/first.avi";
                  },
                  [](const std::string& d) { return Quoted(d + "/first.avi", kTextUnsupported); },
                  true},
        ErrorCase{"BadHeader",
                  [](BatchDriverTest&, const std::string& d) {
                    moviewriter::V02Header header;
                    header.frameCount = 1;
                    header.version = 8;
                    header.width = header.height = 8;
                    moviewriter::WriteWholeFile(d + "/first.V02", header.ToBytes());
                    return d + "/first.V02";
                  },
                  [](const std::string& d) { return Quoted(d + "/first.V02", kTextUnsupported); },
                  false},
        ErrorCase{"TooLargeForMemory",
                  [](BatchDriverTest&, const std::string& d) {
                    moviewriter::V00Header header;
                    header.frameCount = 1;
                    header.width = header.height = 8192;
                    moviewriter::WriteWholeFile(d + "/first.V00", header.ToBytes());
                    return d + "/first.V00";
                  },
                  [](const std::string&) { return std::string(kTextNoMemory); }, false},
        ErrorCase{"MovieCutShort",
                  [](BatchDriverTest&, const std::string& d) {
                    WriteV00(d + "/first.V00", 20, false);
                    // 12 whole frames and a part of the 13th remain.
                    truncate((d + "/first.V00").c_str(), 256 + 12 * 256 + 100);
                    return d + "/first.V00";
                  },
                  [](const std::string& d) { return Quoted(d + "/first.V00", kTextReadFailed); },
                  false, true},
        ErrorCase{"OutputFolderMissing",
                  [](BatchDriverTest& test, const std::string& d) {
                    WriteV00(d + "/first.V00", 2, false);
                    test.driver.SaveDir = d + "/no-such-folder";
                    return d + "/first.V00";
                  },
                  [](const std::string& d) {
                    return Quoted(d + "/no-such-folder/first.avi", kTextOpenFailed);
                  },
                  false},
        ErrorCase{"OutputIsALinkToTheInput",
                  [](BatchDriverTest&, const std::string& d) {
                    WriteV00(d + "/first.V00", 2, false);
                    symlink("first.V00", (d + "/first.avi").c_str());
                    return d + "/first.V00";
                  },
                  [](const std::string& d) { return Quoted(d + "/first.avi", kTextOpenFailed); },
                  true}),
    [](const testing::TestParamInfo<ErrorCase>& param) { return std::string(param.param.label); });

// An output that is another name of a file being read is refused before
// anything is written, whatever the overwrite mode: the movie and its sound
// file stay as they were.
struct AliasCase {
  const char* label;
  bool toCompanion;
  bool hardLink;
  bool ofAnotherMovie = false;  // of the batch's other movie, not the one in hand
};

class OutputAlias : public BatchDriverTest, public testing::WithParamInterface<AliasCase> {};

TEST_P(OutputAlias, IsRefusedAndLeavesTheInputsAlone) {
  const AliasCase& c = GetParam();
  WriteV00(In("m.V00"), 9);
  const std::string companion = moviewriter::CompanionPath(In("m.V00"));
  const std::string movieBefore = porute_test::ReadText(In("m.V00"));
  const std::string soundBefore = porute_test::ReadText(companion);
  WriteV00(In("next.V00"), 1);
  const std::string nextCompanion = moviewriter::CompanionPath(In("next.V00"));
  const std::string nextBefore = porute_test::ReadText(In("next.V00"));
  const std::string nextSoundBefore = porute_test::ReadText(nextCompanion);
  const std::string target = c.ofAnotherMovie ? (c.toCompanion ? nextCompanion : In("next.V00"))
                                              : (c.toCompanion ? companion : In("m.V00"));
  ASSERT_EQ(c.hardLink ? link(target.c_str(), In("m.avi").c_str())
                       : symlink(target.c_str(), In("m.avi").c_str()),
            0);
  driver.FileList = {In("m.V00"), In("next.V00")};
  driver.SetKeepGoing(true);
  driver.BtnStartClick();

  ASSERT_EQ(host.failures.size(), 1u);
  EXPECT_EQ(host.failures[0].kind, BatchFailure::Kind::kOpenOutput);
  EXPECT_EQ(DesignedMessage(host.failures[0]), PathMessage(In("m.avi"), kTextOpenFailed));
  EXPECT_EQ(porute_test::ReadText(In("m.V00")), movieBefore);
  EXPECT_EQ(porute_test::ReadText(companion), soundBefore);
  EXPECT_EQ(porute_test::ReadText(In("next.V00")), nextBefore);
  EXPECT_EQ(porute_test::ReadText(nextCompanion), nextSoundBefore);
  EXPECT_TRUE(porute_test::FileExists(In("next.avi")));
}

INSTANTIATE_TEST_SUITE_P(Table, OutputAlias,
                         testing::Values(AliasCase{"SymlinkToMovie", false, false},
                                         AliasCase{"HardLinkToMovie", false, true},
                                         AliasCase{"SymlinkToSound", true, false},
                                         AliasCase{"HardLinkToSound", true, true},
                                         AliasCase{"SymlinkToAnotherMovie", false, false, true},
                                         AliasCase{"HardLinkToAnotherSound", true, true, true}),
                         [](const testing::TestParamInfo<AliasCase>& p) {
                           return std::string(p.param.label);
                         });

// The real AVI writer behind test-made trouble: a file that appears under
// the final name while the movie is converted, or a failure of one call.
class TroubledEncoder : public MovieEncoder {
 public:
  enum class Fault { kNone, kOpenFails, kOpenRefused, kThirdFrameFails, kCloseFails };
  TroubledEncoder(Fault fault, std::string appearing) : fault_(fault), appearing_(std::move(appearing)) {}
  const char* Extension() const override { return ".avi"; }
  OpenResult Open(const char* path, const Shape& shape, bool mayReplace) override {
    if (!appearing_.empty()) porute_test::WriteText(appearing_, "appeared");
    appearing_.clear();
    if (fault_ == Fault::kOpenRefused) return OpenResult::kRefused;
    const OpenResult result = inner_.Open(path, shape, mayReplace);
    return fault_ == Fault::kOpenFails ? OpenResult::kFailed : result;
  }
  int WriteVideo(const void* pixels) override {
    if (fault_ == Fault::kThirdFrameFails && ++frames_ == 3) return 1;
    return inner_.WriteVideo(pixels);
  }
  int WriteAudio(const void* block) override { return inner_.WriteAudio(block); }
  int Close() override { return inner_.Close() | (fault_ == Fault::kCloseFails ? 1 : 0); }
  // A full disk while finishing takes the last frame.
  int64_t FramesKept() const override {
    return fault_ == Fault::kCloseFails ? inner_.FramesKept() - 1 : inner_.FramesKept();
  }
  std::string FailureCause() const override { return "test fault"; }

 private:
  AviMovieEncoder inner_;
  Fault fault_;
  std::string appearing_;
  int frames_ = 0;
};

TEST_F(BatchDriverTest, OutputAppearingDuringTheConversionIsAskedAbout) {
  WriteV00(In("a.V00"), 2, false);
  driver.FileList = {In("a.V00")};
  const std::string appearing = In("a.avi");
  driver.SetEncoderFactory([appearing] {
    return std::make_unique<TroubledEncoder>(TroubledEncoder::Fault::kNone, appearing);
  });
  host.overwriteAnswers = {OverwriteAnswer::kNo};
  driver.BtnStartClick();
  EXPECT_EQ(host.log, Log({"running", "max 100", "pos 0", "name a.V00", "frame", "pos 100",
                           "pump", "ask " + In("a.avi"), "idle", "pos 0"}));
  EXPECT_EQ(porute_test::ReadText(In("a.avi")), "appeared");
  EXPECT_EQ(driver.LastSummary().skipped, 1u);
  EXPECT_TRUE(porute_test::TemporaryFilesIn(dir.Path()).empty());

  host.overwriteAnswers = {OverwriteAnswer::kYes, OverwriteAnswer::kYes};
  driver.BtnStartClick();
  EXPECT_NE(porute_test::ReadText(In("a.avi")), "appeared");
  EXPECT_EQ(driver.LastSummary().converted, 1u);
}

// Whatever stops a conversion, an earlier output of the name (replacing it
// was agreed to) stays as it was; what was written is kept, readable, under
// the partial name with its true frame count, and no temporary file is left.
struct StopCase {
  const char* label;
  TroubledEncoder::Fault fault;
  bool abortAfterFirstChunk;
  BatchFailure::Kind kind;
  int partialFrames;  // -1: no partial file
};

class ConversionStops : public BatchDriverTest, public testing::WithParamInterface<StopCase> {};

TEST_P(ConversionStops, KeepTheOldOutputAndThePartialFrames) {
  const StopCase& c = GetParam();
  const ExpectedMovie movie = WriteV00(In("a.V00"), 20);
  porute_test::WriteText(In("a.avi"), "old");
  driver.FileList = {In("a.V00")};
  driver.SetEncoderFactory(
      [&c] { return std::make_unique<TroubledEncoder>(c.fault, std::string()); });
  host.overwriteAnswers = {OverwriteAnswer::kYes};
  if (c.abortAfterFirstChunk) host.onPump = [&](int) { driver.RequestAbort(); };
  driver.BtnStartClick();

  EXPECT_EQ(porute_test::ReadText(In("a.avi")), "old");
  EXPECT_TRUE(porute_test::TemporaryFilesIn(dir.Path()).empty());
  const std::string partial = In("a.partial.avi");
  EXPECT_EQ(porute_test::FileExists(partial), c.partialFrames >= 0);
  if (c.abortAfterFirstChunk) {
    EXPECT_EQ(driver.LastSummary().outcome, BatchSummary::Outcome::kAborted);
    EXPECT_EQ(driver.LastSummary().abortedOutput, partial);
    EXPECT_EQ(driver.LastSummary().abortedFrames, static_cast<uint32_t>(c.partialFrames));
  } else {
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_EQ(host.failures[0].kind, c.kind);
    EXPECT_EQ(host.failures[0].path, In("a.avi"));
    EXPECT_EQ(host.failures[0].outputPath, c.partialFrames >= 0 ? partial : std::string());
    if (c.partialFrames >= 0) {
      EXPECT_EQ(host.failures[0].framesWritten, static_cast<uint32_t>(c.partialFrames));
    }
  }
  if (c.partialFrames < 0) return;
  PORUTE_NEED_PROGRAMS("ffprobe");
  const porute_test::Probe probe = porute_test::ProbeFile(partial);
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_FALSE(probe.streams.empty());
  // The partial file holds at least what the message says.
  EXPECT_GE(probe.streams[0].readFrames, c.partialFrames);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConversionStops,
    testing::Values(
        StopCase{"OpenFails", TroubledEncoder::Fault::kOpenFails, false,
                 BatchFailure::Kind::kOpenOutput, -1},
        StopCase{"OpenRefused", TroubledEncoder::Fault::kOpenRefused, false,
                 BatchFailure::Kind::kRefusedByEncoder, -1},
        StopCase{"WriteFails", TroubledEncoder::Fault::kThirdFrameFails, false,
                 BatchFailure::Kind::kWriteOutput, 2},
        StopCase{"CloseFailsAndLosesAFrame", TroubledEncoder::Fault::kCloseFails, false,
                 BatchFailure::Kind::kWriteOutput, 19},
        StopCase{"Abort", TroubledEncoder::Fault::kNone, true, BatchFailure::Kind::kOpenInput,
                 8}),
    [](const testing::TestParamInfo<StopCase>& p) { return std::string(p.param.label); });

// A whole output that its verification finds different from the movie is a
// failure like a failed write: the batch stops with the verifier's words,
// the file is removed (neither final nor partial name), and the earlier
// output it was to replace stays.
TEST_F(BatchDriverTest, VerificationMismatchFailsTheFileAndKeepsTheOldOutput) {
  WriteV00(In("a.V00"), 20, false);
  WriteV00(In("b.V00"), 8, false);
  porute_test::WriteText(In("a.avi"), "old");
  driver.FileList = {In("a.V00"), In("b.V00")};
  host.overwriteAnswers = {OverwriteAnswer::kYes};
  std::vector<std::string> verified;
  driver.SetFileDoneHook([&](const std::string& input, const std::string& finished,
                             const std::string& output) {
    verified = {input, output};
    // The verifier reads the whole file, still under its temporary name.
    EXPECT_EQ(porute_test::TemporaryFilesIn(dir.Path()), std::vector{finished});
    EXPECT_GT(porute_test::FileSize(finished), 20 * kWidth * kHeight * 3);
    return std::string("frame 3 differs at pixel (1, 2)");
  });
  driver.BtnStartClick();

  EXPECT_EQ(verified, (std::vector<std::string>{In("a.V00"), In("a.avi")}));
  const BatchSummary& summary = driver.LastSummary();
  EXPECT_EQ(summary.outcome, BatchSummary::Outcome::kStoppedByError);
  EXPECT_EQ(summary.converted, 0u);
  EXPECT_EQ(summary.failed, 1u);
  ASSERT_EQ(host.failures.size(), 1u);
  EXPECT_EQ(host.failures[0].kind, BatchFailure::Kind::kVerifyOutput);
  EXPECT_EQ(host.failures[0].path, In("a.avi"));
  EXPECT_EQ(host.failures[0].cause, "frame 3 differs at pixel (1, 2)");
  EXPECT_EQ(host.failures[0].outputPath, "");
  EXPECT_EQ(host.log[host.log.size() - 3], "error " + PathMessage(In("a.avi"), kTextWriteFailed));
  EXPECT_EQ(porute_test::ReadText(In("a.avi")), "old");
  EXPECT_FALSE(porute_test::FileExists(In("a.partial.avi")));
  EXPECT_TRUE(porute_test::TemporaryFilesIn(dir.Path()).empty());
  EXPECT_FALSE(porute_test::FileExists(In("b.avi")));
}

TEST_F(BatchDriverTest, PartialNameOfAnotherMoviesOutputIsLeftAlone) {
  WriteV00(In("a.partial.V00"), 2, false);
  WriteV00(In("a.V00"), 20, false);
  truncate(In("a.V00").c_str(), 256 + 12 * 256 + 100);
  driver.FileList = {In("a.partial.V00"), In("a.V00")};
  driver.SetKeepGoing(true);
  driver.BtnStartClick();
  ASSERT_EQ(host.failures.size(), 1u);
  // The cut-short file keeps its temporary name, and says so.
  EXPECT_NE(host.failures[0].outputPath, In("a.partial.avi"));
  EXPECT_EQ(porute_test::TemporaryFilesIn(dir.Path()), std::vector{host.failures[0].outputPath});
  PORUTE_NEED_PROGRAMS("ffprobe");
  const porute_test::Probe probe = porute_test::ProbeFile(In("a.partial.avi"));
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_EQ(probe.streams[0].readFrames, 2);
}

TEST_F(BatchDriverTest, WholeConversionClearsWhatEarlierRunsLeft) {
  WriteV00(In("a.V00"), 2, false);
  porute_test::WriteText(In("a.partial.avi"), "cut short");
  porute_test::WriteText(In(".a.avi.porute-k1ll3d.tmp"), "killed");
  porute_test::WriteText(In(".b.avi.porute-k1ll3d.tmp"), "another output's");
  driver.FileList = {In("a.V00")};
  driver.BtnStartClick();
  EXPECT_EQ(driver.LastSummary().converted, 1u);
  EXPECT_TRUE(porute_test::FileExists(In("a.avi")));
  EXPECT_FALSE(porute_test::FileExists(In("a.partial.avi")));
  EXPECT_FALSE(porute_test::FileExists(In(".a.avi.porute-k1ll3d.tmp")));
  EXPECT_EQ(porute_test::ReadText(In(".b.avi.porute-k1ll3d.tmp")), "another output's");
}

TEST_F(BatchDriverTest, AbortRequestedWithTheLastChunkLeavesTheBatchCompleted) {
  WriteV00(In("a.V00"), 16, false);
  WriteV00(In("b.V00"), 8, false);
  driver.FileList = {In("a.V00"), In("b.V00")};
  // Asked for in the second pump of a: a is complete, b is never begun.
  host.onPump = [&](int pump) {
    if (pump == 1) driver.RequestAbort();
  };
  driver.BtnStartClick();
  EXPECT_EQ(driver.LastSummary().outcome, BatchSummary::Outcome::kAborted);
  EXPECT_EQ(driver.LastSummary().converted, 1u);
  EXPECT_TRUE(driver.LastSummary().abortedOutput.empty());
  EXPECT_FALSE(porute_test::FileExists(In("b.avi")));

  // The same with the last file: nothing was left undone.
  WriteV00(In("c.V00"), 16, false);
  driver.FileList = {In("c.V00")};
  driver.BtnStartClick();
  EXPECT_EQ(driver.LastSummary().outcome, BatchSummary::Outcome::kCompleted);
  EXPECT_EQ(driver.LastSummary().converted, 1u);
}

TEST_F(BatchDriverTest, LinkToTheInputIsNeverTruncated) {
  WriteV00(In("m.V00"), 2, false);
  const std::string before = porute_test::ReadText(In("m.V00"));
  ASSERT_EQ(symlink("m.V00", In("m.avi").c_str()), 0);
  driver.FileList = {In("m.V00")};
  driver.BtnStartClick();
  EXPECT_EQ(porute_test::ReadText(In("m.V00")), before);
}

TEST_F(BatchDriverTest, WriteFailureNamesTheOutputAndKeepsWhatWasWritten) {
  // A file size limit makes the writes fail as on a full disk.
  WriteV00(In("big.V00"), 64, false);
  WriteV00(In("next.V00"), 1, false);
  driver.FileList = {In("big.V00"), In("next.V00")};
  RunBatchWithFileSizeLimit(20000);

  ASSERT_GE(host.log.size(), 3u);
  EXPECT_EQ(host.log[host.log.size() - 3], "error " + PathMessage(In("big.avi"), kTextWriteFailed));
  EXPECT_EQ(driver.LastSummary().outcome, BatchSummary::Outcome::kStoppedByError);
  ASSERT_EQ(host.failures.size(), 1u);
  EXPECT_EQ(host.failures[0].outputPath, In("big.partial.avi"));
  EXPECT_TRUE(porute_test::FileExists(In("big.partial.avi")));
  EXPECT_FALSE(porute_test::FileExists(In("big.avi")));
  EXPECT_FALSE(porute_test::FileExists(In("next.avi")));
}

TEST_F(BatchDriverTest, FailedSoundWriteStopsTheBatchLikeAFailedFrame) {
  // One chunk of 8 frames of 16 x 8 ends at byte 13,376 of the AVI file; its
  // 12,800-byte sound block would end at 26,184. A size limit between the
  // two lets every frame through and makes only the sound write fail.
  WriteV00(In("quiet.V00"), 8, false);
  WriteV00(In("next.V00"), 1, false);
  driver.FileList = {In("quiet.V00"), In("next.V00")};
  RunBatchWithFileSizeLimit(20000);

  EXPECT_EQ(host.log, Log({"running", "max 200", "pos 0", "name quiet.V00",
                           "error " + PathMessage(In("quiet.avi"), kTextWriteFailed), "idle",
                           "pos 0"}));
  EXPECT_EQ(driver.LastSummary().outcome, BatchSummary::Outcome::kStoppedByError);
  // The frames that were written stay readable.
  const porute_test::Probe probe = porute_test::ProbeFile(In("quiet.partial.avi"));
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_FALSE(probe.streams.empty());
  EXPECT_EQ(probe.streams[0].readFrames, 8);
  EXPECT_FALSE(porute_test::FileExists(In("next.avi")));
}

TEST(ProgressPosition, RoundsDownAndNeverOverflows) {
  struct Case {
    uint32_t frameCount, written, fileIndex, expected;
  };
  const Case cases[] = {
      {25, 8, 0, 32},
      {25, 25, 2, 300},
      {3, 1, 1, 133},
      {0, 0, 2, 200},
      // 43 million × 100 passes 32 bits; the share must still be 86.
      {50'000'000, 43'000'000, 0, 86},
      {0xFFFFFFFFu, 0xFFFFFFFEu, 1, 199},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0, 100},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BatchDriver::ProgressPosition(c.frameCount, c.written, c.fileIndex), c.expected)
        << c.frameCount << " " << c.written << " " << c.fileIndex;
  }
}

TEST(Messages, ExactTextsAndQuoting) {
  EXPECT_EQ(OverwriteQuestionText("out/a.avi"),
            "\"out/a.avi\"\n同じ名前のファイルがあります。上書きしますか？");
  EXPECT_EQ(PathMessage("/m/動画.V02", kTextReadFailed),
            "\"/m/動画.V02\"\nファイルの読み込みに失敗しました。");
  // Quotes inside a path are not escaped: the message shows the path as is.
  EXPECT_EQ(PathMessage("a\"b", kTextOpenFailed), "\"a\"b\"\nファイルが開けませんでした。");
}

}  // namespace
