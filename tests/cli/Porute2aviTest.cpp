// porute2avi end to end: the real program on movies from our writer, every
// output read back by ffprobe and ffmpeg and compared with what the writer's
// own reading of the movie says it must hold.
#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <numeric>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/batch/TestSupport.h"
#include "tests/common/AviChecks.h"
#include "tools/moviewriter/MovieMaker.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace {

namespace mw = moviewriter;
using porute_test::Bytes;
using porute_test::FileSize;
using porute_test::RunResult;
using porute_test::TempDir;

const std::string kProgram = PORUTE2AVI_PATH;

// The program finds the build's catalogue; the locale is C unless a test
// asks for Japanese.
const std::map<std::string, std::string> kLocaleC = {
    {"PORUTE2AVI_LOCALEDIR", PORUTE_LOCALE_BUILD_DIR}, {"LC_ALL", "C"}, {"LANGUAGE", ""}};
const std::map<std::string, std::string> kLocaleJa = {
    {"PORUTE2AVI_LOCALEDIR", PORUTE_LOCALE_BUILD_DIR}, {"LC_ALL", "ja_JP.UTF-8"}, {"LANGUAGE", ""}};

porute_test::RunOptions InFolder(const std::string& folder) {
  porute_test::RunOptions options;
  options.workingDir = folder;
  options.env = kLocaleC;
  return options;
}

porute_test::RunOptions WithInput(const std::string& text) {
  porute_test::RunOptions options;
  options.input = text;
  options.env = kLocaleC;
  return options;
}

porute_test::RunOptions InLocale(const std::map<std::string, std::string>& env) {
  porute_test::RunOptions options;
  options.env = env;
  return options;
}

RunResult Convert(std::vector<std::string> args,
                  const porute_test::RunOptions& options = InLocale(kLocaleC)) {
  args.insert(args.begin(), kProgram);
  return porute_test::Run(args, options);
}

bool HaveJapaneseLocale() {
  const locale_t japanese = newlocale(LC_ALL_MASK, "ja_JP.UTF-8", locale_t{});
  if (japanese == locale_t{}) return false;
  freelocale(japanese);
  return true;
}

// One message line: "porute2avi: PATH: TEXT: CAUSE".
std::string Line(const std::string& path, const std::string& text, const std::string& cause = "") {
  return "porute2avi: " + path + ": " + text + (cause.empty() ? "" : ": " + cause) + "\n";
}

std::string Partial(const std::string& output, uint32_t frames, uint32_t of) {
  return Line(output, "the file is partial: it holds " + std::to_string(frames) +
                          " of the movie's " + std::to_string(of) + " frames");
}

// The summary line with its time left out: the test cannot know it.
std::string Summary(size_t converted, size_t skipped, size_t failed) {
  return "porute2avi: " + std::to_string(converted) + " converted, " + std::to_string(skipped) +
         " skipped, " + std::to_string(failed) + " failed in T\n";
}

// Replaces the time of the summary line by "T".
std::string WithoutTime(const std::string& err) {
  const std::string marker = " failed in ";
  std::string out;
  size_t from = 0;
  for (size_t at = err.find(marker); at != std::string::npos; at = err.find(marker, from)) {
    out.append(err, from, at + marker.size() - from);
    out += 'T';
    from = err.find_first_of("\r\n", at);
    if (from == std::string::npos) return out;
  }
  out.append(err, from, std::string::npos);
  return out;
}

class Porute2avi : public testing::Test {
 protected:
  void SetUp() override {
    PORUTE_NEED_PROGRAMS("ffprobe", "ffmpeg");
  }
  std::string At(const std::string& name) const { return dir / name; }
  TempDir dir;
};

struct MovieCase {
  const char* label;
  bool v02;
  mw::V02MovieOptions v02Options;
  mw::V00MovieOptions v00Options;
};

MovieCase V02Case(const char* label, uint32_t width, uint32_t height, uint32_t frames,
                  uint32_t framesPerChunk, uint32_t scale, uint32_t soundRate,
                  mw::ContentKind content = mw::ContentKind::kScene) {
  return {label, true,
          {.width = width, .height = height, .frames = frames, .scale = scale,
           .framesPerChunk = framesPerChunk, .soundRate = soundRate, .content = content},
          {}};
}

MovieCase V00Case(const char* label, uint32_t width, uint32_t height, uint32_t frames,
                  uint32_t scale, bool withSound) {
  MovieCase c{label, false, {}, {}};
  c.v00Options.width = width;
  c.v00Options.height = height;
  c.v00Options.frames = frames;
  c.v00Options.scale = scale;
  c.v00Options.withSound = withSound;
  return c;
}

class RoundTrip : public Porute2avi, public testing::WithParamInterface<MovieCase> {};

TEST_P(RoundTrip, EveryFrameAndSampleReadsBack) {
  const MovieCase& c = GetParam();
  const std::string input = At(c.v02 ? "movie.V02" : "movie.V00");
  ASSERT_EQ(c.v02 ? mw::WriteV02Movie(input, c.v02Options) : mw::WriteV00Movie(input, c.v00Options),
            0);
  mw::ExpectedMovie movie;
  ASSERT_TRUE(mw::ExpectMovieFile(input, movie));
  ASSERT_EQ(mkdir(At("out").c_str(), 0755), 0);

  const RunResult run = Convert({"-q", "-o", At("out"), input});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "");
  const uint32_t chunks = (movie.frameCount + movie.framesPerChunk - 1) / movie.framesPerChunk;
  porute_test::ExpectAviHolds(At("out/movie.avi"), movie, movie.frameCount, chunks);
}

INSTANTIATE_TEST_SUITE_P(
    Movies, RoundTrip,
    testing::Values(
        // 25 frames at 8 a chunk: the last chunk has one frame and a whole
        // sound block.
        V02Case("V02_25FramesAt8", 160, 120, 25, 8, 6, 8000),
        V02Case("V02_OneFrameChunks_Scale7_11025Hz", 64, 48, 9, 1, 7, 11025),
        V02Case("V02_64FrameChunks_22050Hz", 48, 32, 70, 64, 6, 22050),
        V02Case("V02_RandomContent", 80, 60, 12, 8, 5, 8000, mw::ContentKind::kRandom),
        V02Case("V02_ScrambledOpLists", 88, 10, 9, 4, 6, 8000, mw::ContentKind::kScramble),
        // 10 pixels wide: each row of the bitmap has 2 bytes of fill that
        // must not reach the picture.
        V00Case("V00_10x8_WithSound", 10, 8, 17, 6, true),
        V00Case("V00_Silent_Scale3", 40, 30, 8, 3, false),
        V00Case("V00_13Wide_RowsPaddedTo40", 13, 10, 11, 6, true)),
    [](const testing::TestParamInfo<MovieCase>& p) { return std::string(p.param.label); });

TEST_F(Porute2avi, LongMovieContinuesInOpenDmlRiffs) {
  mw::V02MovieOptions options{.width = 160, .height = 120, .frames = 60};
  const std::string input = At("long.V02");
  ASSERT_EQ(mw::WriteV02Movie(input, options), 0);
  mw::ExpectedMovie movie;
  ASSERT_TRUE(mw::ExpectMovieFile(input, movie));

  // 57,600 bytes a frame: a 500,000-byte limit makes about eight RIFFs.
  const RunResult run = Convert({"-q", "--riff-limit=500000", input});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string avi = At("long.avi");
  const std::string bytes = porute_test::ReadText(avi);
  EXPECT_NE(bytes.find("AVIX"), std::string::npos) << "no second RIFF";
  EXPECT_NE(bytes.find("odml"), std::string::npos);
  EXPECT_NE(bytes.find("indx"), std::string::npos);
  porute_test::ExpectAviHolds(avi, movie, 60, 8);
}

TEST_F(Porute2avi, MovieCutShortKeepsTheChunksBeforeTheCut) {
  mw::V02MovieOptions options{.width = 64, .height = 48, .frames = 40};
  const std::string input = At("cut.V02");
  ASSERT_EQ(mw::WriteV02Movie(input, options), 0);
  mw::ExpectedMovie movie;
  ASSERT_TRUE(mw::ExpectMovieFile(input, movie));
  // Cut inside the fourth chunk: three whole chunks remain readable.
  Bytes file;
  ASSERT_TRUE(mw::ReadWholeFile(input, file));
  size_t at = 256 + 33280;
  for (int chunk = 0; chunk < 3; ++chunk) at += 32 + mw::GetU32(file, at + 4);
  ASSERT_EQ(truncate(input.c_str(), static_cast<off_t>(at + 40)), 0);
  mw::WriteV02Movie(At("after.V02"), options);

  const RunResult run = Convert({"-q", input, At("after.V02")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            Line(input, "reading the file failed",
                 "chunk 4, frame 25: the chunk's sound cannot be read: the file ends early") +
                Partial(At("cut.partial.avi"), 24, 40));
  EXPECT_FALSE(porute_test::FileExists(At("after.avi"))) << "the batch went on after the error";
  EXPECT_FALSE(porute_test::FileExists(At("cut.avi")));
  porute_test::ExpectAviHolds(At("cut.partial.avi"), movie, 24, 3);
}

struct StatusCase {
  const char* label;
  std::vector<std::string> args;  // "@" stands for the scratch folder
  int exitCode;
  std::string err;                // expected standard error, "@" likewise
  bool stdoutText;                // something on standard output
};

class ExitStatus : public Porute2avi, public testing::WithParamInterface<StatusCase> {};

std::string Expand(const std::string& text, const std::string& folder) {
  std::string expanded;
  for (char c : text) {
    if (c == '@') {
      expanded += folder;
    } else {
      expanded += c;
    }
  }
  return expanded;
}

TEST_P(ExitStatus, AndMessages) {
  const StatusCase& c = GetParam();
  mw::V00MovieOptions options{.width = 8, .height = 8, .frames = 1};
  ASSERT_EQ(mw::WriteV00Movie(At("ok.V00"), options), 0);
  porute_test::WriteText(At("notes.txt"), "not a movie");
  std::vector<std::string> args;
  for (const std::string& arg : c.args) args.push_back(Expand(arg, dir.Path()));
  const RunResult run = Convert(args);
  EXPECT_EQ(run.exitCode, c.exitCode);
  EXPECT_EQ(WithoutTime(run.err), Expand(c.err, dir.Path()));
  EXPECT_EQ(!run.out.empty(), c.stdoutText) << run.out;
}

const std::string kHint = "Try 'porute2avi --help' for more information.\n";

INSTANTIATE_TEST_SUITE_P(
    Table, ExitStatus,
    testing::Values(
        StatusCase{"Converted", {"@/ok.V00"}, 0, Summary(1, 0, 0), false},
        StatusCase{"MissingInput",
                   {"@/gone.V02", "@/ok.V00"},
                   1,
                   Line("@/gone.V02", "cannot open the file", "No such file or directory") +
                       Summary(0, 0, 1),
                   false},
        StatusCase{"NotAMovie",
                   {"@/notes.txt"},
                   1,
                   Line("@/notes.txt", "unsupported file format",
                        "extension .txt is neither .V02 nor .V00") +
                       Summary(0, 0, 1),
                   false},
        StatusCase{"OneFileTwice",
                   {"@/ok.V00", "-y", "@/./ok.V00"},
                   2,
                   "porute2avi: @/ok.V00 and @/./ok.V00 would both write @/./ok.avi; nothing "
                   "was converted\n",
                   false},
        StatusCase{"LongOptionWithAValue",
                   {"--yes=1", "@/ok.V00"},
                   2,
                   "porute2avi: option '--yes' takes no value\n" + kHint,
                   false},
        StatusCase{"AbbreviationWithAValue",
                   {"--quie=2", "@/ok.V00"},
                   2,
                   "porute2avi: option '--quiet' takes no value\n" + kHint,
                   false},
        StatusCase{"UnknownOptionWithAValue",
                   {"--frob=3", "@/ok.V00"},
                   2,
                   "porute2avi: unknown option '--frob'\n" + kHint,
                   false},
        StatusCase{"LongOptionWithoutItsValue",
                   {"@/ok.V00", "--output"},
                   2,
                   "porute2avi: option '--output-dir' needs a value\n" + kHint,
                   false},
        StatusCase{"ShortOptionWithoutItsValue",
                   {"@/ok.V00", "-o"},
                   2,
                   "porute2avi: option '-o' needs a value\n" + kHint,
                   false},
        StatusCase{"NoFiles", {}, 2, "porute2avi: no input files\n" + kHint, false},
        StatusCase{"OnlyOptions", {"-q", "--"}, 2, "porute2avi: no input files\n" + kHint, false},
        StatusCase{"UnknownOption",
                   {"--frobnicate", "@/ok.V00"},
                   2,
                   "porute2avi: unknown option '--frobnicate'\n" + kHint,
                   false},
        StatusCase{"UnknownShortOption",
                   {"-qx", "@/ok.V00"},
                   2,
                   "porute2avi: unknown option '-x'\n" + kHint,
                   false},
        StatusCase{"YesAndNo",
                   {"-y", "-n", "@/ok.V00"},
                   2,
                   "porute2avi: -y and -n exclude each other\n" + kHint,
                   false},
        StatusCase{"OutputFolderIsAFile",
                   {"-o", "@/notes.txt", "@/ok.V00"},
                   2,
                   "porute2avi: output folder '@/notes.txt' is not a folder\n" + kHint,
                   false},
        StatusCase{"InfoAndCheck",
                   {"--info", "--check", "@/ok.V00"},
                   2,
                   "porute2avi: --info and --check exclude each other\n" + kHint,
                   false},
        StatusCase{"JsonWithoutInfo",
                   {"--json", "@/ok.V00"},
                   2,
                   "porute2avi: --json goes with --info\n" + kHint,
                   false},
        StatusCase{"Help", {"--help", "--frobnicate"}, 0, "", true},
        StatusCase{"Version", {"--version"}, 0, "", true}),
    [](const testing::TestParamInfo<StatusCase>& p) { return std::string(p.param.label); });

// A missing output folder is made, with its parents, and the user told.
TEST_F(Porute2avi, AMissingOutputFolderIsMadeAndSaidSo) {
  mw::V00MovieOptions options;
  options.frames = 1;
  ASSERT_EQ(mkdir(At("in").c_str(), 0755), 0);
  ASSERT_EQ(mw::WriteV00Movie(At("in/a.V00"), options), 0);
  const RunResult run = Convert({"-q", "-r", "-o", At("new/out"), At("in")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "porute2avi: " + At("new/out") +
                         ": the output folder did not exist and was made\n");
  EXPECT_TRUE(porute_test::FileExists(At("new/out/a.avi")));
}

TEST_F(Porute2avi, VersionAndHelpSayWhatTheyAre) {
  EXPECT_EQ(Convert({"--version"}).out, "porute2avi (変換ぽるて) 1.0\n");
  const RunResult help = Convert({"-h"});
  EXPECT_EQ(help.out.rfind("Usage: porute2avi [OPTION]... FILE...\n", 0), 0u);
  EXPECT_EQ(help.out.find("riff"), std::string::npos) << "the testing option stays hidden";
}

TEST_F(Porute2avi, DoubleDashEndsTheOptions) {
  mw::V00MovieOptions options{.width = 8, .height = 8, .frames = 1};
  ASSERT_EQ(mw::WriteV00Movie(At("-q.V00"), options), 0);
  const RunResult run = Convert({"--", "-q.V00"}, InFolder(dir.Path()));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(porute_test::FileExists(At("-q.avi")));
}

TEST_F(Porute2avi, InputWithoutFolderGoesToTheCurrentFolder) {
  ASSERT_EQ(mkdir(At("work").c_str(), 0755), 0);
  mw::V00MovieOptions options{.width = 8, .height = 8, .frames = 3};
  ASSERT_EQ(mw::WriteV00Movie(At("work/m.V00"), options), 0);
  const RunResult run = Convert({"m.V00"}, InFolder(At("work")));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(porute_test::FileExists(At("work/m.avi")));
  EXPECT_FALSE(porute_test::FileExists("/m.avi"));
}

// -y, -n and no terminal, with an output that exists.
struct OverwriteCase {
  const char* label;
  std::vector<std::string> options;
  bool overwritten;
  std::string err;
  int exitCode;
};

class ExistingOutput : public Porute2avi, public testing::WithParamInterface<OverwriteCase> {};

TEST_P(ExistingOutput, IsOverwrittenOnlyWhenAllowed) {
  const OverwriteCase& c = GetParam();
  mw::V00MovieOptions options{.width = 8, .height = 8, .frames = 2};
  ASSERT_EQ(mw::WriteV00Movie(At("a.V00"), options), 0);
  ASSERT_EQ(mw::WriteV00Movie(At("b.V00"), options), 0);
  porute_test::WriteText(At("a.avi"), "a user's file");
  std::vector<std::string> args = c.options;
  args.push_back(At("a.V00"));
  args.push_back(At("b.V00"));
  // Standard input is a pipe here: no terminal to ask on.
  const RunResult run = Convert(args, WithInput("y\ny\n"));
  EXPECT_EQ(run.exitCode, c.exitCode);
  EXPECT_EQ(WithoutTime(run.err), Expand(c.err, dir.Path()));
  EXPECT_EQ(porute_test::ReadText(At("a.avi")) != "a user's file", c.overwritten);
  EXPECT_TRUE(porute_test::FileExists(At("b.avi"))) << "the batch goes on after a skip";
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExistingOutput,
    testing::Values(OverwriteCase{"Yes", {"-y"}, true, Summary(2, 0, 0), 0},
                    // A deliberate skip is no failure.
                    OverwriteCase{"Never",
                                  {"-n"},
                                  false,
                                  Line("@/a.avi", "skipped: the file exists") + Summary(1, 1, 0),
                                  0},
                    // Nothing to ask on: nothing is overwritten, and the run says so.
                    OverwriteCase{
                        "NoTerminal",
                        {},
                        false,
                        Line("@/a.avi",
                             "skipped: the file exists and there is no terminal to ask on") +
                            Summary(1, 1, 0) +
                            "porute2avi: 1 existing output file was skipped: there is no terminal "
                            "to ask on; pass -y to overwrite or -n to skip\n",
                        1}),
    [](const testing::TestParamInfo<OverwriteCase>& p) { return std::string(p.param.label); });

// The program on a pseudo-terminal, as a user at a terminal runs it.
struct TerminalRun {
  int exitCode = -1;
  int signal = 0;
  std::string transcript;  // all it wrote to the terminal
};

struct TerminalStep {
  std::string waitFor;  // text that must appear in the transcript first
  std::string send;     // then typed
};

TerminalRun RunOnTerminal(const std::vector<std::string>& args, const std::string& term,
                          const std::vector<TerminalStep>& steps) {
  TerminalRun result;
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 80;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid == 0) {
    std::vector<std::string> argv = args;
    argv.insert(argv.begin(), kProgram);
    std::vector<char*> argp;
    for (auto& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    setenv("TERM", term.c_str(), 1);
    setenv("LC_ALL", "C", 1);
    setenv("LANGUAGE", "", 1);
    setenv("PORUTE2AVI_LOCALEDIR", PORUTE_LOCALE_BUILD_DIR, 1);
    execv(kProgram.c_str(), argp.data());
    _exit(127);
  }
  if (pid < 0) return result;
  size_t step = 0;
  size_t searchFrom = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  char buffer[4096];
  for (;;) {
    if (step < steps.size()) {
      const size_t found = result.transcript.find(steps[step].waitFor, searchFrom);
      if (found != std::string::npos) {
        searchFrom = found + steps[step].waitFor.size();
        const std::string& text = steps[step].send;
        if (write(master, text.data(), text.size()) != static_cast<ssize_t>(text.size())) break;
        ++step;
        continue;
      }
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
    pollfd fd{master, POLLIN, 0};
    if (poll(&fd, 1, 100) <= 0) continue;
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
      result.transcript.append(buffer, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO: the program has ended and closed the terminal
    }
  }
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

const std::string kQuestion = "the file exists; overwrite it? [y/n/a] ";
const std::string kReprompt = "Please answer y (yes), n (no) or a (yes to all): ";

struct PromptCase {
  const char* label;
  std::vector<TerminalStep> steps;
  bool firstOverwritten;
  bool secondOverwritten;
  int questions;
};

class OverwritePrompt : public Porute2avi, public testing::WithParamInterface<PromptCase> {};

TEST_P(OverwritePrompt, AnswersFromTheTerminal) {
  const PromptCase& c = GetParam();
  mw::V00MovieOptions options{.width = 8, .height = 8, .frames = 2};
  for (const char* name : {"a.V00", "b.V00"}) ASSERT_EQ(mw::WriteV00Movie(At(name), options), 0);
  porute_test::WriteText(At("a.avi"), "kept");
  porute_test::WriteText(At("b.avi"), "kept");

  const TerminalRun run = RunOnTerminal({"-q", At("a.V00"), At("b.V00")}, "dumb", c.steps);
  EXPECT_EQ(run.exitCode, 0) << run.transcript;
  const std::string asked = "porute2avi: " + At("a.avi") + ": " + kQuestion;
  EXPECT_NE(run.transcript.find(asked), std::string::npos) << run.transcript;
  int questions = 0;
  for (size_t at = run.transcript.find(kQuestion); at != std::string::npos;
       at = run.transcript.find(kQuestion, at + 1)) {
    ++questions;
  }
  EXPECT_EQ(questions, c.questions) << run.transcript;
  EXPECT_EQ(porute_test::ReadText(At("a.avi")) != "kept", c.firstOverwritten);
  EXPECT_EQ(porute_test::ReadText(At("b.avi")) != "kept", c.secondOverwritten);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OverwritePrompt,
    testing::Values(
        PromptCase{"YesThenNo", {{kQuestion, "y\n"}, {kQuestion, "no\n"}}, true, false, 2},
        PromptCase{"YesToAll", {{kQuestion, "a\n"}}, true, true, 1},
        PromptCase{"AllInCapitals", {{kQuestion, "ALL\n"}}, true, true, 1},
        // Unrecognised twice: the question counts as dismissed and skips.
        PromptCase{"NoAnswerSkips",
                   {{kQuestion, "maybe\n"}, {kReprompt, "\n"}, {kQuestion, "yes\n"}},
                   false, true, 2},
        PromptCase{"UnrecognisedThenYes", {{kQuestion, "ok\n"}, {kReprompt, "y\n"}, {kQuestion, "n\n"}},
                   true, false, 2},
        // End of input (Ctrl-D) dismisses both questions.
        PromptCase{"EndOfInputSkips", {{kQuestion, "\x04"}, {kQuestion, "\x04"}}, false, false, 2}),
    [](const testing::TestParamInfo<PromptCase>& p) { return std::string(p.param.label); });

// Ctrl-C at the question stops the batch there, with exit status 130: the
// file asked about is kept as it was and the next movie is not begun.
TEST_F(Porute2avi, InterruptAtTheQuestionStopsTheBatch) {
#if defined(__SANITIZE_THREAD__)
  // Seen about once in a hundred runs under load: the terminal echoes ^C, no
  // signal is left pending, yet the handler never ran (its count stays 0)
  // and the program waits at the question. The release and AddressSanitizer
  // builds run this test; tests/allowed-skips allows this skip.
  GTEST_SKIP() << "under ThreadSanitizer a terminal's SIGINT at the question is at times never "
                  "handed to the program's handler";
#endif
  mw::V00MovieOptions options{.width = 8, .height = 8, .frames = 2};
  for (const char* name : {"a.V00", "b.V00"}) ASSERT_EQ(mw::WriteV00Movie(At(name), options), 0);
  porute_test::WriteText(At("a.avi"), "kept");
  const TerminalRun run =
      RunOnTerminal({"-q", At("a.V00"), At("b.V00")}, "dumb", {{kQuestion, "\x03"}});
  EXPECT_EQ(run.exitCode, 130) << run.transcript;
  EXPECT_NE(run.transcript.find("porute2avi: interrupted; closing the file in hand"),
            std::string::npos)
      << run.transcript;
  EXPECT_EQ(porute_test::ReadText(At("a.avi")), "kept");
  EXPECT_FALSE(porute_test::FileExists(At("b.avi")));
}

TEST_F(Porute2avi, ProgressIsDrawnInPlaceOnASmartTerminalOnly) {
  mw::V00MovieOptions options{.width = 8, .height = 8, .frames = 20};
  ASSERT_EQ(mw::WriteV00Movie(At("動画.V00"), options), 0);

  const TerminalRun smart = RunOnTerminal({"-y", At("動画.V00")}, "xterm", {});
  EXPECT_EQ(smart.exitCode, 0);
  EXPECT_NE(smart.transcript.find("\r  0% [1/1] 0/20 0 fps 0:00 elapsed -:-- left 動画.V00\x1b[K"),
            std::string::npos)
      << smart.transcript;
  EXPECT_NE(smart.transcript.find("\r\x1b[Kporute2avi: 1 converted, 0 skipped, 0 failed in "),
            std::string::npos)
      << smart.transcript;

  const TerminalRun dumb = RunOnTerminal({"-y", At("動画.V00")}, "dumb", {});
  EXPECT_EQ(WithoutTime(dumb.transcript),
            "[1/1] 動画.V00\r\nporute2avi: 1 converted, 0 skipped, 0 failed in T\r\n");

  const TerminalRun quiet = RunOnTerminal({"-q", "-y", At("動画.V00")}, "xterm", {});
  EXPECT_EQ(quiet.transcript, "");
}

// A stop signal while a long movie is converted: the file in hand is closed
// at once as a well-formed AVI file with the frames written so far, the next
// is never begun, and the exit status is 128 + the signal. A second signal,
// sent once the first one's message is out, does not kill the program: the
// file is still completed.
struct SignalCase {
  const char* label;
  int signal;
  int times;
  int exitCode;
};

class StopSignal : public Porute2avi, public testing::WithParamInterface<SignalCase> {};

// Reads the child's standard error until `text` has come or the pipe ends.
bool ReadUntil(int fd, std::string& got, const std::string& text) {
  char buffer[4096];
  while (got.find(text) == std::string::npos) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 60'000) <= 0) return false;
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

// Whether a file of the folder other than `known` holds more than `bytes`.
bool NewFileHolds(const std::string& folder, const std::vector<std::string>& known,
                  int64_t bytes) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (std::find(known.begin(), known.end(), name) == known.end() &&
        FileSize(entry.path().string()) > bytes) {
      return true;
    }
  }
  return false;
}

TEST_P(StopSignal, LeavesAWellFormedFile) {
  const SignalCase& c = GetParam();
  mw::V02MovieOptions options{.width = 64, .height = 48, .frames = 400, .framesPerChunk = 1};
  const std::string input = At("long.V02");
  ASSERT_EQ(mw::WriteV02Movie(input, options), 0);
  mw::V00MovieOptions small{.frames = 1};
  ASSERT_EQ(mw::WriteV00Movie(At("next.V00"), small), 0);
  const std::vector<std::string> inputs = {"long.V02", "next.V00", "next.snd"};

  // Every writing call on a file sleeps 30 ms: the conversion lasts over
  // 400 x 30 ms on any machine, and after the first signal the closing
  // writes keep the program alive well past its message. The first signal
  // comes once the output (whatever its name) holds a few frames.
  // A sanitized porute2avi would refuse a library preloaded before its
  // runtime; the shim carries no runtime of its own.
  const char* asan = getenv("ASAN_OPTIONS");
  const std::string asanOptions = std::string(asan != nullptr ? asan : "");
  porute_test::RunOptions slowed;
  slowed.env = {{"LC_ALL", "C"},
                {"LD_PRELOAD", FAULT_SHIM_PATH},
                {"ASAN_OPTIONS", asanOptions + ":verify_asan_link_order=0"},
                {"PORUTE_FAULT_SUFFIX", ""},
                {"PORUTE_FAULT_DELAY_US", "30000"}};
  porute_test::Started run = porute_test::Start(
      {kProgram, "--report", At("run.json"), input, At("next.V00")}, slowed);
  const pid_t pid = run.pid;
  ASSERT_GT(pid, 0);
  close(run.in);
  run.in = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!NewFileHolds(dir.Path(), inputs, 32768) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(kill(pid, c.signal), 0);
  std::string err;
  const std::string interrupted = "porute2avi: interrupted; closing the file in hand\n";
  const bool noticed = ReadUntil(run.err, err, interrupted);
  if (c.times == 2) {
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT), 0);
    ASSERT_EQ(info.si_pid, 0) << "the program ended before the second signal";
    kill(pid, c.signal);
  }
  const RunResult ended = porute_test::Finish(run);
  err += ended.err;
  ASSERT_EQ(ended.signal, 0) << "ended by signal " << ended.signal << "\n" << err;
  EXPECT_EQ(ended.exitCode, c.exitCode) << err;
  EXPECT_TRUE(noticed) << err;
  EXPECT_FALSE(porute_test::FileExists(At("next.avi")));
  EXPECT_FALSE(porute_test::FileExists(At("long.avi")));
  EXPECT_TRUE(porute_test::TemporaryFilesIn(dir.Path()).empty());

  // "porute2avi: PATH: the file is partial: it holds N of the movie's 400
  // frames" names the file that was kept and how much it holds.
  const std::regex partialLine("porute2avi: (.*): the file is partial: it holds ([0-9]+) of the "
                               "movie's 400 frames\n");
  std::smatch partial;
  ASSERT_TRUE(std::regex_search(err, partial, partialLine)) << err;
  const std::string kept = partial[1].str();
  const uint32_t frames = static_cast<uint32_t>(std::stoul(partial[2].str()));
  EXPECT_GT(frames, 0u);
  EXPECT_LT(frames, 400u);
  // The report is written all the same, and says what the file holds.
  const RunResult report = porute_test::Run(
      {"python3", "-c",
       "import json, sys\n"
       "r = json.load(open(sys.argv[1]))\n"
       "print(r['interrupted'], *[(i['outcome'], i.get('frames_written')) for i in r['inputs']])",
       At("run.json")});
  EXPECT_EQ(report.out, "True ('partial', " + std::to_string(frames) +
                            ") ('not_reached', None)\n")
      << report.err;
  // The file holds exactly the frames the line gives (ffprobe counts them),
  // and the sound of its chunks (one frame each): those of a movie made with
  // the same options but only that many frames.
  options.frames = frames;
  Bytes shorter;
  ASSERT_EQ(mw::MakeV02Movie(options, shorter), 0);
  mw::ExpectedMovie movie;
  ASSERT_TRUE(mw::ExpectV02(shorter, movie));
  porute_test::ExpectAviHolds(kept, movie, frames, frames);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal,
                         testing::Values(SignalCase{"Interrupt", SIGINT, 1, 130},
                                         SignalCase{"Terminate", SIGTERM, 1, 143},
                                         SignalCase{"HangUp", SIGHUP, 1, 129},
                                         SignalCase{"InterruptTwice", SIGINT, 2, 130}),
                         [](const testing::TestParamInfo<SignalCase>& p) {
                           return std::string(p.param.label);
                         });

// Small movies for the batch tests: 8 x 8, `frames` frames, no sound.
void WriteSmallMovie(const std::string& path, uint32_t frames = 2) {
  mw::V00MovieOptions options{.width = 8, .height = 8, .frames = frames, .withSound = false};
  ASSERT_EQ(mw::WriteV00Movie(path, options), 0);
}

// A VD00 movie of 8 x 8 pixels whose 12th frame is cut short: 11 frames
// remain whole, so one chunk of 8 is written before the read fails.
void WriteCutMovie(const std::string& path) {
  WriteSmallMovie(path, 20);
  ASSERT_EQ(truncate(path.c_str(), 256 + 11 * 128 + 50), 0);
}

// An output name that is another name of any input of the batch, or not a
// regular file, is refused before anything is written, for every format,
// without waiting on a FIFO; the inputs and the user's links stay as they
// were. Each case under a time limit: a hang fails it instead of the run.
struct RefusedOutputCase {
  const char* label;
  const char* format;
  // Makes a.V02, b.V02 or b.V00 and the name under test; returns the inputs.
  std::function<std::vector<std::string>(const std::string& dir)> prepare;
  const char* refusedName;  // in the folder
  const char* cause;
};

class RefusedOutput : public Porute2avi, public testing::WithParamInterface<RefusedOutputCase> {};

TEST_P(RefusedOutput, NothingOfTheUsersIsWrittenOrRemoved) {
  const RefusedOutputCase& c = GetParam();
  mw::V02MovieOptions small{.width = 16, .height = 8, .frames = 2};
  ASSERT_EQ(mw::WriteV02Movie(At("a.V02"), small), 0);
  const std::vector<std::string> inputs = c.prepare(dir.Path());
  std::map<std::string, std::string> before;
  for (const char* name : {"a.V02", "b.V02", "b.V00", "b.snd"}) {
    if (porute_test::FileExists(At(name))) before[name] = porute_test::ReadText(At(name));
  }
  struct stat refusedBefore {};
  ASSERT_EQ(lstat(At(c.refusedName).c_str(), &refusedBefore), 0);

  std::vector<std::string> argv = {"timeout", "20", kProgram, "-y", "-f", c.format};
  argv.insert(argv.end(), inputs.begin(), inputs.end());
  const RunResult run = porute_test::Run(argv, InLocale(kLocaleC));
  if (run.exitCode == 2 && std::string(c.format) != "avi") GTEST_SKIP() << "no FFmpeg formats";
  ASSERT_NE(run.exitCode, 124) << "porute2avi hung";
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find(Line(At(c.refusedName), "cannot open the file", c.cause)),
            std::string::npos)
      << run.err;
  for (const auto& [name, bytes] : before) EXPECT_EQ(porute_test::ReadText(At(name)), bytes) << name;
  struct stat refusedAfter {};
  ASSERT_EQ(lstat(At(c.refusedName).c_str(), &refusedAfter), 0) << "the user's name was removed";
  EXPECT_EQ(refusedAfter.st_ino, refusedBefore.st_ino);
  EXPECT_TRUE(porute_test::TemporaryFilesIn(dir.Path()).empty());
}

std::vector<std::string> WithSecondV02(const std::string& d) {
  mw::V02MovieOptions small{.width = 16, .height = 8, .frames = 2};
  mw::WriteV02Movie(d + "/b.V02", small);
  return {d + "/a.V02", d + "/b.V02"};
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedOutput,
    testing::Values(
        RefusedOutputCase{"SymlinkToTheNextMovie", "avi",
                          [](const std::string& d) {
                            std::vector<std::string> inputs = WithSecondV02(d);
                            symlink("b.V02", (d + "/a.avi").c_str());
                            return inputs;
                          },
                          "a.avi", "it is a movie of this batch"},
        RefusedOutputCase{"HardLinkToTheNextMoviesSound", "mkv",
                          [](const std::string& d) {
                            mw::V00MovieOptions options;
                            options.width = 16;
                            options.height = 8;
                            options.frames = 2;
                            mw::WriteV00Movie(d + "/b.V00", options);
                            link((d + "/b.snd").c_str(), (d + "/a.mkv").c_str());
                            return std::vector<std::string>{"-k", d + "/a.V02", d + "/b.V00"};
                          },
                          "a.mkv", "it is the sound file of a movie of this batch"},
        RefusedOutputCase{"Fifo", "mkv",
                          [](const std::string& d) {
                            mkfifo((d + "/a.mkv").c_str(), 0644);
                            return std::vector<std::string>{d + "/a.V02"};
                          },
                          "a.mkv", "it is not a regular file"},
        RefusedOutputCase{"FifoAvi", "avi",
                          [](const std::string& d) {
                            mkfifo((d + "/a.avi").c_str(), 0644);
                            return std::vector<std::string>{d + "/a.V02"};
                          },
                          "a.avi", "it is not a regular file"},
        RefusedOutputCase{"SymlinkToDevNull", "mp4",
                          [](const std::string& d) {
                            symlink("/dev/null", (d + "/a.mp4").c_str());
                            return std::vector<std::string>{d + "/a.V02"};
                          },
                          "a.mp4",
                          "it is a symbolic link, which is neither followed nor replaced"}),
    [](const testing::TestParamInfo<RefusedOutputCase>& p) { return std::string(p.param.label); });

TEST_F(Porute2avi, KeepGoingConvertsTheRestAndListsTheFailures) {
  WriteCutMovie(At("broken.V00"));
  WriteSmallMovie(At("good.V00"), 9);
  const RunResult run = Convert({"-k", At("missing.V02"), At("broken.V00"), At("good.V00")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(WithoutTime(run.err),
            Line(At("missing.V02"), "cannot open the file", "No such file or directory") +
                Line(At("broken.V00"), "reading the file failed",
                     "chunk 2, frame 12: the frame cannot be read: the file ends early") +
                Partial(At("broken.partial.avi"), 8, 20) + Summary(1, 0, 2) + "porute2avi: failed: " +
                At("missing.V02") + "\n" + "porute2avi: failed: " + At("broken.V00") + "\n");
  const porute_test::Probe good = porute_test::ProbeFile(At("good.avi"));
  ASSERT_TRUE(good.ok) << good.error;
  EXPECT_EQ(good.streams[0].readFrames, 9);
  EXPECT_FALSE(porute_test::FileExists(At("missing.avi")));
}

TEST_F(Porute2avi, FolderTreesAreConvertedAndMirrored) {
  for (const char* folder : {"in", "in/sub", "other", "out", "flat"}) {
    ASSERT_EQ(mkdir(At(folder).c_str(), 0755), 0);
  }
  WriteSmallMovie(At("in/a.v00"));
  WriteSmallMovie(At("in/sub/b.V00"));
  WriteSmallMovie(At("other/c.V00"));
  ASSERT_EQ(symlink("../other", At("in/link").c_str()), 0);

  RunResult run = Convert({"-q", "-o", At("flat"), At("in")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(porute_test::FileExists(At("flat/a.avi")));
  EXPECT_FALSE(porute_test::FileExists(At("flat/sub"))) << "no -r, no subfolders";

  run = Convert({"-r", "-o", At("out"), At("in")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(WithoutTime(run.err), Summary(2, 0, 0));
  const porute_test::Probe mirrored = porute_test::ProbeFile(At("out/sub/b.avi"));
  EXPECT_TRUE(mirrored.ok) << mirrored.error;
  EXPECT_TRUE(porute_test::FileExists(At("out/a.avi")));
  EXPECT_FALSE(porute_test::FileExists(At("out/link"))) << "a link to a folder was followed";

  // Without -o the outputs go next to the movies, below the folder too.
  run = Convert({"-q", "-r", At("in")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(porute_test::FileExists(At("in/sub/b.avi")));
  EXPECT_FALSE(porute_test::FileExists(At("other/c.avi")));
}

TEST_F(Porute2avi, TwoInputsForOneOutputAreRefusedBeforeAnything) {
  for (const char* folder : {"one", "two", "out"}) ASSERT_EQ(mkdir(At(folder).c_str(), 0755), 0);
  WriteSmallMovie(At("one/m.V00"));
  WriteSmallMovie(At("two/m.V00"));
  WriteSmallMovie(At("first.V00"));
  const std::vector<std::string> inputs = {At("first.V00"), At("one/m.V00"), At("two/m.V00")};
  std::vector<std::string> args = {"-o", At("out")};
  args.insert(args.end(), inputs.begin(), inputs.end());
  RunResult run = Convert(args);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err, "porute2avi: " + At("one/m.V00") + " and " + At("two/m.V00") +
                         " would both write " + At("out/m.avi") + "; nothing was converted\n");
  EXPECT_FALSE(porute_test::FileExists(At("out/first.avi")));

  // With -k both colliding movies fail, and the rest is converted.
  args.insert(args.begin(), "-k");
  run = Convert(args);
  EXPECT_EQ(run.exitCode, 1);
  const std::string collides = ": another movie of the batch would also write " + At("out/m.avi");
  EXPECT_EQ(WithoutTime(run.err), "porute2avi: " + At("one/m.V00") + collides + "\n" +
                                      "porute2avi: " + At("two/m.V00") + collides + "\n" +
                                      Summary(1, 0, 2) + "porute2avi: failed: " +
                                      At("one/m.V00") + "\nporute2avi: failed: " +
                                      At("two/m.V00") + "\n");
  EXPECT_TRUE(porute_test::FileExists(At("out/first.avi")));
  EXPECT_FALSE(porute_test::FileExists(At("out/m.avi")));
}

// --report: one JSON document, read by Python's json module, whose every
// checksum is the one sha256sum gives for the file as it is on disk.
TEST_F(Porute2avi, ReportRecordsEveryMovieWithItsChecksums) {
  mw::V00MovieOptions movie;
  movie.frames = 9;
  ASSERT_EQ(mw::WriteV00Movie(At("good.V00"), movie), 0);
  WriteCutMovie(At("broken.V00"));
  const std::string report = At("run.json");
  const RunResult run = Convert(
      {"-k", "-y", "--report", report, At("good.V00"), At("broken.V00"), At("missing.V02")});
  EXPECT_EQ(run.exitCode, 1);
  porute_test::RunOptions options;
  options.workingDir = dir.Path();
  const RunResult fields = porute_test::Run(
      {"python3", "-c",
       "import json, sys\n"
       "r = json.load(open(sys.argv[1]))\n"
       "print(r['interrupted'], r['settings']['format'])\n"
       "for i in r['inputs']:\n"
       "    files = [i] + [i[k] for k in ('companion', 'output') if i[k]]\n"
       "    print(i['outcome'], i.get('frames_written'), i.get('cause'),\n"
       "          (i['movie'] or {}).get('frames'),\n"
       "          ' '.join(f\"{f['path']}:{f['size']}:{f['sha256']}\" for f in files))\n",
       report},
      options);
  ASSERT_EQ(fields.exitCode, 0) << fields.err;
  const auto sum = [&](const std::string& name) {
    const RunResult sha = porute_test::Run({"sha256sum", At(name)});
    return At(name) + ":" + std::to_string(porute_test::ReadText(At(name)).size()) + ":" +
           sha.out.substr(0, 64);
  };
  EXPECT_EQ(fields.out,
            "False avi\n"
            "converted None None 9 " + sum("good.V00") + " " + sum("good.snd") + " " +
                sum("good.avi") + "\n" +
                "partial 8 reading the file failed: chunk 2, frame 12: the frame cannot be "
                "read: the file ends early 20 " +
                sum("broken.V00") + " " + sum("broken.partial.avi") + "\n" +
                "failed None cannot open the file: No such file or directory None " +
                At("missing.V02") + ":None:None\n");
}

// Names with control characters reach the terminal written out, in the
// progress line and in every message, never as the raw bytes.
TEST_F(Porute2avi, ControlCharactersInNamesAreShownEscaped) {
  const std::string movie = At("red\x1b[31m.V00");
  WriteSmallMovie(movie, 20);
  const std::string notMovie = At("title\x1b]0;owned\x07.txt");
  porute_test::WriteText(notMovie, "not a movie");
  const TerminalRun run = RunOnTerminal({"-k", movie, notMovie}, "xterm", {});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.transcript.find("\x1b[31m"), std::string::npos) << run.transcript;
  EXPECT_EQ(run.transcript.find("\x1b]0;"), std::string::npos) << run.transcript;
  EXPECT_NE(run.transcript.find(" red\\x1b[31m.V00\x1b[K"), std::string::npos) << run.transcript;
  EXPECT_NE(run.transcript.find("porute2avi: " + At("title\\x1b]0;owned\\a.txt") +
                                ": unsupported file format"),
            std::string::npos)
      << run.transcript;
}

// Every kind of batch message, in the C locale and in Japanese, where the
// texts are the program's designed ones.
struct MessageCase {
  const char* label;
  // Prepares the run in the folder; returns its arguments.
  std::function<std::vector<std::string>(const std::string& dir)> prepare;
  std::string path;  // "@" for the folder
  const char* english;
  const char* japanese;
  std::string prefix;  // program run under this, e.g. a file size limit
};

class Messages : public Porute2avi, public testing::WithParamInterface<MessageCase> {};

TEST_P(Messages, FollowTheLocale) {
  const MessageCase& c = GetParam();
  if (!HaveJapaneseLocale()) GTEST_SKIP() << "the ja_JP.UTF-8 locale is not generated";
  const std::vector<std::string> args = c.prepare(dir.Path());
  for (const auto& [env, text] :
       {std::pair{kLocaleC, c.english}, std::pair{kLocaleJa, c.japanese}}) {
    std::vector<std::string> argv;
    if (!c.prefix.empty()) argv = {"prlimit", c.prefix, "--"};
    argv.push_back(kProgram);
    argv.insert(argv.end(), args.begin(), args.end());
    const RunResult run = porute_test::Run(argv, InLocale(env));
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::string expected = "porute2avi: " + Expand(c.path, dir.Path()) + ": " + text;
    EXPECT_EQ(run.err.rfind(expected, 0), 0u) << run.err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Messages,
    testing::Values(
        MessageCase{"OpenInput",
                    [](const std::string& d) { return std::vector<std::string>{d + "/gone.V02"}; },
                    "@/gone.V02", "cannot open the file", "ファイルが開けませんでした。", ""},
        MessageCase{"Unsupported",
                    [](const std::string& d) {
                      porute_test::WriteText(d + "/notes.txt", "text");
                      return std::vector<std::string>{d + "/notes.txt"};
                    },
                    "@/notes.txt", "unsupported file format", "対応できないファイル形式です。", ""},
        MessageCase{"ReadInput",
                    [](const std::string& d) {
                      WriteCutMovie(d + "/cut.V00");
                      return std::vector<std::string>{"-y", d + "/cut.V00"};
                    },
                    "@/cut.V00",
                    "reading the file failed: chunk 2, frame 12: the frame cannot be read: the "
                    "file ends early\n",
                    "ファイルの読み込みに失敗しました。: チャンク 2、フレーム 12: "
                    "フレームを読めません: ファイルが途中で終わっています\n",
                    ""},
        // A file size limit makes a write fail (SIGXFSZ is ignored).
        MessageCase{"WriteOutput",
                    [](const std::string& d) {
                      WriteSmallMovie(d + "/big.V00", 64);
                      return std::vector<std::string>{"-y", d + "/big.V00"};
                    },
                    "@/big.avi", "writing the file failed", "ファイルの書き込みに失敗しました。",
                    "--fsize=12000"},
        MessageCase{"OpenOutput",
                    [](const std::string& d) {
                      WriteSmallMovie(d + "/m.V00");
                      return std::vector<std::string>{"-o", "/proc", d + "/m.V00"};
                    },
                    "/proc/m.avi", "cannot open the file", "ファイルが開けませんでした。", ""},
        MessageCase{"OutputIsTheSoundFile",
                    [](const std::string& d) {
                      mw::V00MovieOptions options{.frames = 1};
                      mw::WriteV00Movie(d + "/s.V00", options);
                      symlink((d + "/s.snd").c_str(), (d + "/s.avi").c_str());
                      return std::vector<std::string>{"-y", d + "/s.V00"};
                    },
                    "@/s.avi", "cannot open the file: it is the sound file of a movie of this batch",
                    "ファイルが開けませんでした。: この一括変換の動画のサウンドファイルです", ""},
        // A frame of over 4,294 s cannot be told in an AVI main header.
        MessageCase{"RefusedByEncoder",
                    [](const std::string& d) {
                      mw::V02MovieOptions options{.width = 16, .height = 8, .frames = 1,
                          .scale = 1'000'000, .soundBytesPerChunk = 16};
                      mw::WriteV02Movie(d + "/slow.V02", options);
                      return std::vector<std::string>{d + "/slow.V02"};
                    },
                    "@/slow.avi", "the output format cannot hold this movie",
                    "出力形式がこの動画を扱えません", ""}),
    [](const testing::TestParamInfo<MessageCase>& p) { return std::string(p.param.label); });

}  // namespace
