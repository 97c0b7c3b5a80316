// porute-mkmovie: writes VD02 and VD00 test movies, and a folder of small
// valid and damaged movies that seeds the decoder's fuzzer.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/moviewriter/Catalogue.h"
#include "tools/moviewriter/Hostile.h"
#include "tools/moviewriter/MovieMaker.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace mw = moviewriter;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage:\n"
    "  porute-mkmovie v02 OUT.V02 [options]   write a VD02 movie\n"
    "  porute-mkmovie v00 OUT.V00 [options]   write a VD00 movie and OUT.snd\n"
    "  porute-mkmovie corpus DIR              write small valid and damaged movies into DIR\n"
    "  porute-mkmovie hostile OUT.V02 [options]\n"
    "                                         write a VD02 movie whose few bytes a frame ask\n"
    "                                         for the whole plane to be rewritten many times\n"
    "  porute-mkmovie --help\n"
    "\n"
    "Options of v02 and v00:\n"
    "  --width N          frame width in pixels (default 160; VD02: a multiple of 8)\n"
    "  --height N         frame height in pixels (default 120; VD02: a multiple of 2)\n"
    "  --frames N         number of frames (default 30)\n"
    "  --scale N          frames per second = 60 / N (default 6, i.e. 10 per second)\n"
    "  --rate HZ          sound rate (default 8000)\n"
    "  --tone HZ          sine tone frequency; 0 for silence (default 440)\n"
    "  --content KIND     scene (moving shapes), random, scramble or still (default scene)\n"
    "  --seed N           seed of the content (default 1)\n"
    "Options of v02 only:\n"
    "  --fpc N            frames per chunk, 0 to 64 as stored (default 8)\n"
    "  --sound-bytes N    sound bytes per chunk as stored (default: what plays during a chunk)\n"
    "  --version N        header version (default 6)\n"
    "  --colours KIND     yuv or random colour table (default yuv)\n"
    "  --ops LIST         op types the encoder may use, comma separated: fill-bytes,\n"
    "                     fill-words, copy-bytes, move-blocks, or all (default all)\n"
    "  --numbers FORM     packed numbers: shortest, 3, 7 or rotate (default shortest)\n"
    "  --fills-first      put fills before MoveBlocks in each op list\n"
    "  --split-moves      two MoveBlocks ops per op list where blocks move\n"
    "Options of v00 only:\n"
    "  --no-sound         write no .snd companion (the movie is then silent)\n"
    "Options of hostile (defaults: 8192 x 8192, 2 frames, 1 per chunk):\n"
    "  --width N, --height N, --frames N, --fpc N\n"
    "  --kind KIND        fill-bytes: one FillBytes op of whole-plane entries; move-blocks:\n"
    "                     a whole-plane fill, then MoveBlocks ops of one block (default fill-bytes)\n"
    "  --repeats N        entries or MoveBlocks ops per frame (default 3000; 1 is the benign\n"
    "                     twin, the same picture with the plane filled once)\n"
    "\n"
    "Exit status: 0 written, 1 a file could not be written, 2 wrong usage.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "porute-mkmovie: %s\nTry 'porute-mkmovie --help'.\n", problem.c_str());
  return kExitUsage;
}

bool ParseNumber(std::string_view text, uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
  }
  if (number > UINT32_MAX) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

bool ParseFrequency(std::string_view text, double& value) {
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  value = std::strtod(copy.c_str(), &end);
  return !copy.empty() && end == copy.c_str() + copy.size() && errno == 0 && value >= 0 &&
         value < 1e6;
}

bool ParseContent(std::string_view text, mw::ContentKind& kind) {
  if (text == "scene") kind = mw::ContentKind::kScene;
  else if (text == "random") kind = mw::ContentKind::kRandom;
  else if (text == "scramble") kind = mw::ContentKind::kScramble;
  else if (text == "still") kind = mw::ContentKind::kStill;
  else return false;
  return true;
}

bool ParseOps(std::string_view text, unsigned& ops) {
  ops = 0;
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view name = text.substr(0, comma);
    if (name == "fill-bytes") ops |= mw::kUseFillBytes;
    else if (name == "fill-words") ops |= mw::kUseFillWords;
    else if (name == "copy-bytes") ops |= mw::kUseCopyBytes;
    else if (name == "move-blocks") ops |= mw::kUseMoveBlocks;
    else if (name == "all") ops |= mw::kUseAllOps;
    else return false;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return ops != 0;
}

bool ParseNumbers(std::string_view text, mw::NumberForms& forms) {
  if (text == "shortest") forms = mw::NumberForms::kShortest;
  else if (text == "3") forms = mw::NumberForms::kThreeBytes;
  else if (text == "7") forms = mw::NumberForms::kSevenBytes;
  else if (text == "rotate") forms = mw::NumberForms::kRotate;
  else return false;
  return true;
}

// Options shared by both formats, read into whichever options struct.
struct Common {
  uint32_t width = 160;
  uint32_t height = 120;
  uint32_t frames = 30;
  uint32_t scale = 6;
  uint32_t rate = 8000;
  double tone = 440;
  uint32_t seed = 1;
  mw::ContentKind content = mw::ContentKind::kScene;
};

// Reads options from args; returns an empty text, or what was wrong.
std::string ParseOptions(bool v02, const std::vector<std::string_view>& args, Common& common,
                         mw::V02MovieOptions& v02Options, mw::V00MovieOptions& v00Options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view option = args[i];
    if (option == "--no-sound" && !v02) {
      v00Options.withSound = false;
      continue;
    }
    if (option == "--fills-first" && v02) {
      v02Options.strategy.fillsBeforeMoves = true;
      continue;
    }
    if (option == "--split-moves" && v02) {
      v02Options.strategy.splitMoves = true;
      continue;
    }
    if (i + 1 >= args.size()) return "missing value after " + std::string(option);
    const std::string_view value = args[++i];
    bool ok = true;
    uint32_t number = 0;
    if (option == "--width") ok = ParseNumber(value, common.width);
    else if (option == "--height") ok = ParseNumber(value, common.height);
    else if (option == "--frames") ok = ParseNumber(value, common.frames);
    else if (option == "--scale") ok = ParseNumber(value, common.scale);
    else if (option == "--rate") ok = ParseNumber(value, common.rate);
    else if (option == "--seed") ok = ParseNumber(value, common.seed);
    else if (option == "--tone") ok = ParseFrequency(value, common.tone);
    else if (option == "--content") ok = ParseContent(value, common.content);
    else if (option == "--fpc" && v02) {
      ok = ParseNumber(value, v02Options.framesPerChunk);
    } else if (option == "--sound-bytes" && v02) {
      ok = ParseNumber(value, number);
      v02Options.soundBytesPerChunk = number;
    } else if (option == "--version" && v02) {
      ok = ParseNumber(value, v02Options.version);
    } else if (option == "--colours" && v02) {
      if (value == "yuv") v02Options.colours = mw::ColourKind::kYuv;
      else if (value == "random") v02Options.colours = mw::ColourKind::kRandom;
      else ok = false;
    } else if (option == "--ops" && v02) {
      ok = ParseOps(value, v02Options.strategy.ops);
    } else if (option == "--numbers" && v02) {
      ok = ParseNumbers(value, v02Options.strategy.numbers);
    } else {
      return "unknown option " + std::string(option);
    }
    if (!ok) return "bad value '" + std::string(value) + "' for " + std::string(option);
  }
  return {};
}

int WriteMovie(bool v02, const std::string& path, const std::vector<std::string_view>& args) {
  Common common;
  mw::V02MovieOptions v02Options;
  mw::V00MovieOptions v00Options;
  const std::string problem = ParseOptions(v02, args, common, v02Options, v00Options);
  if (!problem.empty()) return Usage(problem);

  int result = 0;
  if (v02) {
    if (common.width < 8 || common.width % 8 != 0 || common.height < 8 || common.height % 2 != 0) {
      return Usage("a VD02 frame is at least 8 × 8 pixels, its width a multiple of 8 and its "
                   "height a multiple of 2");
    }
    v02Options.width = common.width;
    v02Options.height = common.height;
    v02Options.frames = common.frames;
    v02Options.scale = common.scale;
    v02Options.soundRate = common.rate;
    v02Options.toneHz = common.tone;
    v02Options.seed = common.seed;
    v02Options.content = common.content;
    result = mw::WriteV02Movie(path, v02Options);
  } else {
    if (common.width < 8 || common.height < 8) return Usage("a VD00 frame is at least 8 × 8 pixels");
    if (common.scale > 60) return Usage("a VD00 scale is at most 60");
    v00Options.width = common.width;
    v00Options.height = common.height;
    v00Options.frames = common.frames;
    v00Options.scale = common.scale;
    v00Options.soundRate = common.rate;
    v00Options.toneHz = common.tone;
    v00Options.seed = common.seed;
    v00Options.content = common.content;
    result = mw::WriteV00Movie(path, v00Options);
  }
  if (result == 2) {
    std::fprintf(stderr,
                 "porute-mkmovie: cannot make %s: a chunk's op lists do not fit the chunk buffer "
                 "a reader sizes for these settings (try larger frames or fewer per chunk)\n",
                 path.c_str());
    return kExitFailed;
  }
  if (result != 0) {
    std::fprintf(stderr, "porute-mkmovie: cannot write %s: %s\n", path.c_str(),
                 errno != 0 ? std::strerror(errno) : "write failed");
    return kExitFailed;
  }
  std::printf("%s: %u frames, %u x %u\n", path.c_str(), common.frames, common.width, common.height);
  return kExitOk;
}

int WriteCorpus(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "porute-mkmovie: cannot make %s: %s\n", folder.c_str(),
                 error.message().c_str());
    return kExitFailed;
  }
  std::vector<mw::CatalogueMovie> movies = mw::DamagedMovies();
  for (mw::CatalogueMovie& movie : mw::EdgeMovies()) movies.push_back(std::move(movie));

  // A few longer movies of real content, every op type and number form.
  struct Extra {
    const char* name;
    mw::ContentKind content;
    mw::NumberForms numbers;
    unsigned ops;
  };
  static const Extra kExtras[] = {
      {"v02-scene", mw::ContentKind::kScene, mw::NumberForms::kShortest, mw::kUseAllOps},
      {"v02-scramble-rotate", mw::ContentKind::kScramble, mw::NumberForms::kRotate, mw::kUseAllOps},
      {"v02-fill-words-only", mw::ContentKind::kScramble, mw::NumberForms::kThreeBytes,
       mw::kUseFillWords},
      {"v02-fill-bytes-only", mw::ContentKind::kScramble, mw::NumberForms::kSevenBytes,
       mw::kUseFillBytes},
  };
  for (const Extra& extra : kExtras) {
    mw::V02MovieOptions options;
    options.width = 32;
    options.height = 16;
    options.frames = 12;
    options.framesPerChunk = 4;
    options.soundBytesPerChunk = 64;
    options.content = extra.content;
    options.strategy.numbers = extra.numbers;
    options.strategy.ops = extra.ops;
    mw::CatalogueMovie movie;
    movie.name = extra.name;
    movie.extension = ".V02";
    mw::MakeV02Movie(options, movie.movie);
    movies.push_back(std::move(movie));
  }

  size_t files = 0;
  for (const mw::CatalogueMovie& movie : movies) {
    const std::string path = folder + "/" + movie.name + movie.extension;
    bool ok = mw::WriteWholeFile(path, movie.movie);
    ++files;
    if (ok && movie.companion) {
      ok = mw::WriteWholeFile(mw::CompanionPath(path), *movie.companion);
      ++files;
    }
    if (!ok) {
      std::fprintf(stderr, "porute-mkmovie: cannot write %s\n", path.c_str());
      return kExitFailed;
    }
  }
  std::printf("%s: %zu movies in %zu files\n", folder.c_str(), movies.size(), files);
  return kExitOk;
}

int WriteHostile(const std::string& path, const std::vector<std::string_view>& args) {
  mw::HostileOptions options;
  for (size_t i = 0; i < args.size(); i += 2) {
    const std::string_view option = args[i];
    if (i + 1 >= args.size()) return Usage("missing value after " + std::string(option));
    const std::string_view value = args[i + 1];
    bool ok = true;
    if (option == "--width") ok = ParseNumber(value, options.width);
    else if (option == "--height") ok = ParseNumber(value, options.height);
    else if (option == "--frames") ok = ParseNumber(value, options.frames);
    else if (option == "--fpc") ok = ParseNumber(value, options.framesPerChunk);
    else if (option == "--repeats") ok = ParseNumber(value, options.repeats) && options.repeats != 0;
    else if (option == "--kind") {
      if (value == "fill-bytes") options.kind = mw::HostileKind::kFillBytes;
      else if (value == "move-blocks") options.kind = mw::HostileKind::kMoveBlocks;
      else ok = false;
    } else {
      return Usage("unknown option " + std::string(option));
    }
    if (!ok) return Usage("bad value '" + std::string(value) + "' for " + std::string(option));
  }
  if (options.width < 8 || options.width % 8 != 0 || options.height < 8 || options.height % 2 != 0) {
    return Usage("a VD02 frame is at least 8 × 8 pixels, its width a multiple of 8 and its "
                 "height a multiple of 2");
  }
  if (options.kind == mw::HostileKind::kMoveBlocks && options.repeats > 65534) {
    return Usage("an op list holds at most 65,534 MoveBlocks ops after its fill");
  }
  if (!mw::WriteWholeFile(path, mw::MakeHostileV02(options))) {
    std::fprintf(stderr, "porute-mkmovie: cannot write %s: %s\n", path.c_str(),
                 errno != 0 ? std::strerror(errno) : "write failed");
    return kExitFailed;
  }
  std::printf("%s: %u frames, %u x %u\n", path.c_str(), options.frames, options.width,
              options.height);
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  for (std::string_view arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
  }
  if (args.empty()) return Usage("missing command (v02, v00 or corpus)");
  const std::string_view command = args[0];
  if (command == "corpus") {
    if (args.size() != 2) return Usage("corpus takes one folder");
    return WriteCorpus(std::string(args[1]));
  }
  if (command != "v02" && command != "v00" && command != "hostile") {
    return Usage("unknown command " + std::string(command));
  }
  if (args.size() < 2 || args[1].starts_with("--")) return Usage("missing output path");
  if (command == "hostile") {
    return WriteHostile(std::string(args[1]),
                        std::vector<std::string_view>(args.begin() + 2, args.end()));
  }
  return WriteMovie(command == "v02", std::string(args[1]),
                    std::vector<std::string_view>(args.begin() + 2, args.end()));
}
