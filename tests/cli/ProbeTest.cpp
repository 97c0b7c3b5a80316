// porute2avi --info and --check end to end: the real program on movies from
// our writer. The JSON is read by Python's json module, the parameters are
// compared with the writer's own reading of each movie, and the predicted
// AVI size with the size of the file a conversion really writes.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/batch/TestSupport.h"
#include "tools/moviewriter/Catalogue.h"
#include "tools/moviewriter/MovieFiles.h"
#include "tools/moviewriter/MovieMaker.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace {

namespace mw = moviewriter;
using porute_test::RunResult;
using porute_test::TempDir;

const std::string kProgram = PORUTE2AVI_PATH;

// In the C locale, so that the reports read as written in the code.
RunResult Porute2avi(std::vector<std::string> args) {
  args.insert(args.begin(), kProgram);
  porute_test::RunOptions options;
  options.env["LC_ALL"] = "C";
  return porute_test::Run(args, options);
}

// The JSON array flattened by an independent parser into "INDEX.KEY" ->
// the value as JSON text ("160", "null", "\"VD02\"").
std::map<std::string, std::string> ParseJsonArray(const std::string& json) {
  porute_test::RunOptions options;
  options.input = json;
  const RunResult parsed = porute_test::Run(
      {"python3", "-c",
       "import json, sys\n"
       "for i, o in enumerate(json.load(sys.stdin)):\n"
       "    for k, v in o.items(): print(f'{i}.{k}={json.dumps(v)}')\n"},
      options);
  EXPECT_EQ(parsed.exitCode, 0) << parsed.err << "\n" << json;
  std::map<std::string, std::string> fields;
  size_t start = 0;
  while (start < parsed.out.size()) {
    const size_t end = parsed.out.find('\n', start);
    const std::string line = parsed.out.substr(start, end - start);
    const size_t equals = line.find('=');
    if (equals != std::string::npos) fields[line.substr(0, equals)] = line.substr(equals + 1);
    start = end == std::string::npos ? parsed.out.size() : end + 1;
  }
  return fields;
}

std::string Hex(const std::string& bytes) {
  std::string hex;
  char digits[3];
  for (const char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(c));
    hex += digits;
  }
  return hex;
}

struct InfoCase {
  const char* label;
  bool v02;
  mw::V02MovieOptions v02Options;
  mw::V00MovieOptions v00Options;
  uint64_t riffLimit;  // 0: the writer's own 1 GiB
};

InfoCase V02(const char* label, uint32_t width, uint32_t height, uint32_t frames, uint32_t fpc,
             uint32_t scale, uint64_t riffLimit) {
  return {label, true,
          {.width = width, .height = height, .frames = frames, .scale = scale,
           .framesPerChunk = fpc},
          {}, riffLimit};
}

InfoCase V00(const char* label, uint32_t width, uint32_t height, uint32_t frames, uint32_t scale,
             bool sound, uint64_t riffLimit) {
  InfoCase c{label, false, {}, {}, riffLimit};
  c.v00Options.width = width;
  c.v00Options.height = height;
  c.v00Options.frames = frames;
  c.v00Options.scale = scale;
  c.v00Options.withSound = sound;
  return c;
}

// Every field against the writer's parameters, and avi_bytes against the
// converted file, for plain files and for files that go on in further RIFF
// lists (OpenDML) when the limit is lowered; the one with many small RIFFs
// also fills every super index entry, after which the last RIFF grows.
TEST(Porute2aviInfo, JsonAgreesWithTheMovieAndTheConvertedSize) {
  const InfoCase cases[] = {
      V02("v02-plain", 160, 120, 20, 8, 6, 0),
      V02("v02-one-per-chunk", 24, 10, 7, 1, 7, 0),
      V02("v02-empty", 16, 8, 0, 8, 6, 0),
      V02("v02-opendml", 64, 48, 90, 64, 6, 100000),
      V02("v02-every-riff", 8, 8, 300, 1, 5, 1),
      V00("v00-sound", 13, 10, 19, 7, true, 0),
      V00("v00-silent", 160, 120, 9, 6, false, 0),
      V00("v00-opendml", 40, 30, 50, 6, true, 20000),
  };
  TempDir dir;
  for (const InfoCase& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string movie = dir / (std::string(c.label) + (c.v02 ? ".V02" : ".V00"));
    ASSERT_EQ(c.v02 ? mw::WriteV02Movie(movie, c.v02Options) : mw::WriteV00Movie(movie, c.v00Options),
              0);
    mw::ExpectedMovie expected;
    ASSERT_TRUE(mw::ExpectMovieFile(movie, expected));

    std::vector<std::string> limit;
    if (c.riffLimit != 0) limit.push_back("--riff-limit=" + std::to_string(c.riffLimit));
    std::vector<std::string> args = limit;
    args.insert(args.end(), {"--info", "--json", movie});
    const RunResult info = Porute2avi(args);
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(info.err, "");
    std::map<std::string, std::string> f = ParseJsonArray(info.out);

    const double fps = double(expected.rate) / expected.scale;
    EXPECT_EQ(f["0.file"], "\"" + movie + "\"");
    EXPECT_EQ(f["0.format"], c.v02 ? "\"VD02\"" : "\"VD00\"");
    EXPECT_EQ(f["0.width"], std::to_string(expected.width));
    EXPECT_EQ(f["0.height"], std::to_string(expected.height));
    EXPECT_EQ(f["0.frames"], std::to_string(expected.frameCount));
    EXPECT_EQ(f["0.rate"], std::to_string(expected.rate));
    EXPECT_EQ(f["0.scale"], std::to_string(expected.scale));
    EXPECT_DOUBLE_EQ(std::strtod(f["0.fps"].c_str(), nullptr), fps);
    EXPECT_DOUBLE_EQ(std::strtod(f["0.duration"].c_str(), nullptr),
                     double(expected.frameCount) * expected.scale / expected.rate);
    EXPECT_EQ(f["0.frames_per_chunk"], std::to_string(expected.framesPerChunk));
    EXPECT_EQ(f["0.sound_rate"], std::to_string(expected.soundRate));
    EXPECT_EQ(f["0.companion"], c.v02 ? "null" : c.v00Options.withSound ? "true" : "false");

    args = limit;
    args.insert(args.end(), {"-q", movie});
    const RunResult converted = Porute2avi(args);
    ASSERT_EQ(converted.exitCode, 0) << converted.err;
    const std::string avi = movie.substr(0, movie.size() - 4) + ".avi";
    EXPECT_EQ(f["0.avi_bytes"], std::to_string(porute_test::FileSize(avi)));
  }
}

// The text form, whole; and a list in which one movie does not open: its
// cause on standard error, an object with "error" in the array, exit 1.
TEST(Porute2aviInfo, TextAndFailures) {
  TempDir dir;
  mw::V00MovieOptions options{.frames = 13, .scale = 7};
  const std::string movie = dir / "a.V00";
  ASSERT_EQ(mw::WriteV00Movie(movie, options), 0);

  const RunResult text = Porute2avi({"--info", movie});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_EQ(text.out, movie +
                          "\n"
                          "  format: VD00\n"
                          "  size: 160 × 120\n"
                          "  frames: 13\n"
                          "  frame rate: 60/7 = 8.571429 frames per second\n"
                          "  duration: 1.517 seconds (0:00:01.517)\n"
                          "  frames per chunk: 8\n"
                          "  sound rate: 8000 Hz\n"
                          "  companion: found\n"
                          "  AVI size: 791408 bytes\n");

  // A quote and a byte that is not UTF-8 in a name keep the JSON valid.
  const std::string missing = dir / "gone \"\xff\".V02";
  const std::string other = dir / "b.avi";
  ASSERT_TRUE(porute_test::WriteText(other, "RIFF"));
  const RunResult json = Porute2avi({"--info", "--json", missing, movie, other});
  EXPECT_EQ(json.exitCode, 1);
  std::map<std::string, std::string> f = ParseJsonArray(json.out);
  EXPECT_EQ(f["0.file"], "\"" + dir.Path() + "/gone \\\"\\ufffd\\\".V02\"");
  EXPECT_NE(f["0.error"], "");
  EXPECT_EQ(f["1.avi_bytes"], "791408");
  EXPECT_NE(f["2.error"], "");
  EXPECT_EQ(f.count("0.width") + f.count("2.width"), 0u);
  // Not Shift-JIS either: the exact bytes beside the text, the message
  // with the byte written out.
  EXPECT_EQ(f["0.file_bytes"], "\"" + Hex(missing) + "\"");
  EXPECT_NE(json.err.find(dir.Path() + "/gone \"\\xff\".V02"), std::string::npos) << json.err;
  EXPECT_NE(json.err.find(other), std::string::npos) << json.err;
}

// A report that cannot be written is a failure the user hears of, whatever
// the movies were like.
TEST(Porute2aviInfo, ReportThatCannotBeWrittenFails) {
  TempDir dir;
  mw::V02MovieOptions options{.frames = 2};
  const std::string movie = dir / "a.V02";
  ASSERT_EQ(mw::WriteV02Movie(movie, options), 0);
  for (const char* mode : {"--info", "--info --json", "--check"}) {
    SCOPED_TRACE(mode);
    porute_test::RunOptions english;
    english.env["LC_ALL"] = "C";
    const RunResult run = porute_test::Run(
        {"sh", "-c", "\"$0\" " + std::string(mode) + " \"$1\" >/dev/full", kProgram, movie},
        english);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "porute2avi: cannot write the report: No space left on device\n");
  }
}

// Every movie of the writer's catalogues, in one run: a damaged one reports
// where it failed (the chunk after those that read well), a good one "ok".
TEST(Porute2aviCheck, ReportsEveryCatalogueMovie) {
  std::vector<mw::CatalogueMovie> movies = mw::DamagedMovies();
  for (mw::CatalogueMovie& movie : mw::EdgeMovies()) movies.push_back(std::move(movie));
  TempDir dir;
  std::vector<std::string> args = {"--check"};
  std::vector<std::string> goodArgs = {"--check"};
  for (const mw::CatalogueMovie& movie : movies) {
    const std::string path = dir.Write(movie.name + movie.extension, movie.movie);
    if (movie.companion) dir.Write(movie.name + ".snd", *movie.companion);
    args.push_back(path);
    if (movie.openResult == mw::kResultOk && movie.readResult == mw::kResultOk) {
      goodArgs.push_back(path);
    }
  }
  const RunResult check = Porute2avi(args);
  EXPECT_EQ(check.exitCode, 1);
  EXPECT_EQ(check.err, "");
  size_t start = 0;
  for (size_t i = 0; i < movies.size(); ++i) {
    const mw::CatalogueMovie& movie = movies[i];
    SCOPED_TRACE(movie.name);
    const size_t end = check.out.find('\n', start);
    ASSERT_NE(end, std::string::npos) << check.out;
    const std::string line = check.out.substr(start, end - start);
    start = end + 1;
    const std::string head = args[i + 1] + ": ";
    ASSERT_EQ(line.rfind(head, 0), 0u) << line;
    const std::string verdict = line.substr(head.size());
    if (movie.openResult != mw::kResultOk) {
      EXPECT_EQ(verdict.rfind("does not open: ", 0), 0u) << verdict;
    } else if (movie.readResult == mw::kResultOk) {
      EXPECT_EQ(verdict, "ok");
    } else {
      const std::string damaged = "damaged: chunk " + std::to_string(movie.goodChunks + 1) + ",";
      if (movie.readResult == mw::kResultDecoderDefined) {
        EXPECT_TRUE(verdict == "ok" || verdict.rfind(damaged, 0) == 0) << verdict;
      } else {
        EXPECT_EQ(verdict.rfind(damaged, 0), 0u) << verdict;
      }
    }
  }
  EXPECT_EQ(start, check.out.size());

  const RunResult good = Porute2avi(goodArgs);
  EXPECT_EQ(good.exitCode, 0) << good.out;
}

// Sizes past 4 GiB are given whole; a movie longer than any AVI file can
// hold is refused with the writer's cause. Only the headers are needed: --info reads no chunk.
TEST(Porute2aviInfo, AviBytesPastFourGibAndNull) {
  TempDir dir;
  const mw::ColourTable colours;
  mw::V02Header header;
  header.width = 320;
  header.height = 240;
  header.frameCount = 100000;
  const std::string big = dir.Write("big.V02", mw::BuildV02(header, &colours, {}));
  header.width = header.height = 8192;
  header.framesPerChunk = 1;
  header.frameCount = 0xFFFFFFFF;
  const std::string huge = dir.Write("huge.V02", mw::BuildV02(header, &colours, {}));

  const RunResult json = Porute2avi({"--info", "--json", big, huge});
  std::map<std::string, std::string> f = ParseJsonArray(json.out);
  // 100,000 frames of 230,400 bytes and 12,500 sound blocks of 6400, plus
  // headers and indexes of well under 1 %.
  const uint64_t payload = 100000ull * 230400 + 12500ull * 6400;
  const uint64_t bytes = std::stoull(f["0.avi_bytes"]);
  EXPECT_GT(bytes, payload);
  EXPECT_LT(bytes, payload + payload / 100);
  EXPECT_EQ(f.count("1.avi_bytes"), 0u) << json.out;
  EXPECT_EQ(f["1.error"],
            "\"cannot be converted to avi: more frames than an AVI stream can count\"");
}

// Names as people read them: a Shift-JIS name (動画 as CP932 writes it)
// decoded in the JSON, with its exact bytes, in --check's line and in a
// message; control characters written out in every output.
TEST(Porute2aviNames, ShiftJisDecodedAndControlsWrittenOut) {
  TempDir dir;
  mw::V02MovieOptions options{.frames = 2};
  const std::string shiftJis = dir / "\x93\xae\x89\xe6.V02";
  const std::string controls = dir / "a\x1b[2J\nb.V02";
  ASSERT_EQ(mw::WriteV02Movie(shiftJis, options), 0);
  ASSERT_EQ(mw::WriteV02Movie(controls, options), 0);
  const std::string shownJis = dir.Path() + "/動画.V02";
  const std::string shownControls = dir.Path() + "/a\\x1b[2J\\nb.V02";

  const RunResult json = Porute2avi({"--info", "--json", shiftJis, controls});
  EXPECT_EQ(json.exitCode, 0) << json.err;
  std::map<std::string, std::string> f = ParseJsonArray(json.out);
  // The parser writes the text back out ASCII-only: U+52D5 U+753B is 動画.
  EXPECT_EQ(f["0.file"], "\"" + dir.Path() + "/\\u52d5\\u753b.V02\"");
  EXPECT_EQ(f["0.file_bytes"], "\"" + Hex(shiftJis) + "\"");
  EXPECT_EQ(f["1.file"], "\"" + dir.Path() + "/a\\u001b[2J\\nb.V02\"");
  EXPECT_EQ(f.count("1.file_bytes"), 0u);

  const RunResult text = Porute2avi({"--info", controls});
  EXPECT_EQ(text.out.substr(0, text.out.find('\n')), shownControls);
  const RunResult check = Porute2avi({"--check", shiftJis, controls});
  EXPECT_EQ(check.out, shownJis + ": ok\n" + shownControls + ": ok\n");

  ASSERT_EQ(unlink(shiftJis.c_str()), 0);
  const RunResult gone = Porute2avi({"--info", shiftJis});
  EXPECT_EQ(gone.err, "porute2avi: " + shownJis +
                          ": the movie file cannot be opened: No such file or directory\n");
}

// What the AVI writer refuses, --info and --check refuse with the writer's
// own words, and a conversion fails with the same.
TEST(Porute2aviProbe, RefusesWhatTheWriterRefuses) {
  TempDir dir;
  mw::V02MovieOptions options{.frames = 2, .framesPerChunk = 1, .soundRate = 1000};
  options.scale = 300000;  // 5000 s a frame: more microseconds than the header holds
  const std::string movie = dir / "slow.V02";
  ASSERT_EQ(mw::WriteV02Movie(movie, options), 0);
  const std::string cause = "a frame lasts longer than an AVI header can hold";

  const RunResult info = Porute2avi({"--info", movie});
  EXPECT_EQ(info.exitCode, 1);
  EXPECT_EQ(info.out, "");
  EXPECT_EQ(info.err, "porute2avi: " + movie + ": cannot be converted to avi: " + cause + "\n");
  const RunResult check = Porute2avi({"--check", movie});
  EXPECT_EQ(check.exitCode, 1);
  EXPECT_EQ(check.out, movie + ": cannot be converted to avi: " + cause + "\n");
  const RunResult convert = Porute2avi({"-y", "-q", movie});
  EXPECT_EQ(convert.exitCode, 1);
  EXPECT_NE(convert.err.find(": " + cause + "\n"), std::string::npos) << convert.err;
}

// A folder that yields no movie is said so, with a hint when -r would find
// some; a run that finds none at all fails, whatever it was asked to do.
TEST(Porute2aviFolders, NoMovieFoundIsReported) {
  TempDir dir;
  mw::V02MovieOptions options{.frames = 2};
  ASSERT_EQ(mkdir((dir / "shelf").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "shelf/disc1").c_str(), 0755), 0);
  ASSERT_EQ(mw::WriteV02Movie(dir / "shelf/disc1/a.V02", options), 0);
  const std::string shelf = dir / "shelf";
  const std::string hint = "porute2avi: " + shelf +
                           ": no movie in this folder (it has subfolders; -r takes the movies "
                           "in them)\nporute2avi: no movie was found; nothing was done\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--info", shelf}, {"--check", shelf}, {"-o", dir / "out", shelf}}) {
    SCOPED_TRACE(args[0]);
    const RunResult run = Porute2avi(args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, hint);
  }
  const RunResult recursive = Porute2avi({"--check", "-r", shelf});
  EXPECT_EQ(recursive.exitCode, 0) << recursive.err;
  EXPECT_EQ(recursive.out, shelf + "/disc1/a.V02: ok\n");
}

}  // namespace
