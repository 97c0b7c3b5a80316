#include "cli/CommandLine.h"

#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/Gettext.h"
#include "ffenc/FfmpegMovieEncoder.h"

namespace {

enum LongOnly { kRiffLimit = 256, kRefreshInterval, kInfo, kJson, kCheck, kCrf, kVerify, kReport };

const option kLongOptions[] = {
    {"output-dir", required_argument, nullptr, 'o'},
    {"yes", no_argument, nullptr, 'y'},
    {"no-overwrite", no_argument, nullptr, 'n'},
    {"quiet", no_argument, nullptr, 'q'},
    {"keep-going", no_argument, nullptr, 'k'},
    {"recursive", no_argument, nullptr, 'r'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"riff-limit", required_argument, nullptr, kRiffLimit},
    {"refresh-interval", required_argument, nullptr, kRefreshInterval},
    {"info", no_argument, nullptr, kInfo},
    {"json", no_argument, nullptr, kJson},
    {"check", no_argument, nullptr, kCheck},
    {"format", required_argument, nullptr, 'f'},
    {"crf", required_argument, nullptr, kCrf},
    {"verify", no_argument, nullptr, kVerify},
    {"report", required_argument, nullptr, kReport},
    {nullptr, 0, nullptr, 0},
};

// The long option that the typed text "--name" or "--name=value" stands
// for, allowing unique abbreviations as getopt_long does; nullptr when none.
const option* LongOptionTyped(const std::string& typed) {
  const std::string name = typed.substr(
      2, typed.find('=') == std::string::npos ? std::string::npos : typed.find('=') - 2);
  const option* found = nullptr;
  for (const option* o = kLongOptions; o->name != nullptr; ++o) {
    if (name == o->name) return o;
    if (!name.empty() && std::strncmp(o->name, name.c_str(), name.size()) == 0) {
      if (found != nullptr) return nullptr;  // ambiguous
      found = o;
    }
  }
  return found;
}

std::string Format(const char* format, const char* value) {
  char text[512];
  const int n = std::snprintf(text, sizeof text, format, value);
  return std::string(text, n <= 0 ? 0 : std::min(static_cast<size_t>(n), sizeof text - 1));
}

CommandLine UsageError(std::string message) {
  CommandLine line;
  line.action = CommandLine::Action::kUsageError;
  line.usageError = std::move(message);
  return line;
}

}  // namespace

const char* UsageText() {
  return _(
      "Usage: porute2avi [OPTION]... FILE...\n"
      "       porute2avi --info [--json] FILE...\n"
      "       porute2avi --check FILE...\n"
      "Converts VD02 (.V02) and VD00 (.V00, with its .snd sound) movies into\n"
      "uncompressed AVI files, one after another, in the order given.\n"
      "Each FILE.V02 becomes FILE.avi next to it, or in DIR with -o. A FILE that\n"
      "is a folder stands for the movies in it, in name order.\n"
      "\n"
      "  -o, --output-dir=DIR   write the outputs into DIR (made when missing)\n"
      "  -y, --yes              overwrite existing outputs without asking\n"
      "  -n, --no-overwrite     never overwrite: skip inputs whose output exists\n"
      "  -k, --keep-going       after an error go on with the next file\n"
      "  -r, --recursive        take the movies of subfolders too; with -o their\n"
      "                         tree is made again below DIR\n"
      "  -q, --quiet            show no progress and no summary\n"
      "  -f, --format=FORMAT    avi (the default), mkv (FFV1 and FLAC, lossless) or\n"
      "                         mp4 (H.264 and AAC; odd sizes get one more repeated\n"
      "                         row or column)\n"
      "      --crf=N            H.264 quality for mp4, lower is better (default 18)\n"
      "      --verify           read each output back and compare it with the movie\n"
      "      --report=FILE      write what became of each movie, with the SHA-256\n"
      "                         of every input and output, as one JSON document\n"
      "      --info             describe each movie without converting it\n"
      "      --json             with --info: one JSON array of objects\n"
      "      --check            decode every chunk without writing anything and\n"
      "                         report ok or the damage found\n"
      "                         (with -f, --info and --check also say whether that\n"
      "                         format's writer takes the movie)\n"
      "  -h, --help             show this help and exit\n"
      "  -V, --version          show the version and exit\n"
      "\n"
      "Without -y or -n an existing output is asked about on the terminal\n"
      "(y = yes, n = no, a = yes to all); with no terminal it is skipped and the\n"
      "exit status is 1. An error stops the whole batch unless -k is given.\n"
      "Ctrl-C stops it at once, leaving the file in hand well-formed with the\n"
      "frames written so far. File names in Shift-JIS are shown decoded;\n"
      "control characters in them are shown as \\n, \\x1b and the like, with\n"
      "backslashes doubled.\n"
      "\n"
      "Exit status: 0 every file converted (or skipped with -n), 1 a file failed,\n"
      "is damaged, was skipped for want of a terminal, or no movie was found,\n"
      "2 wrong usage, 128 + N\n"
      "stopped by signal N (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP), 0 when the\n"
      "signal came after the last file was finished.\n");
}

CommandLine ParseCommandLine(int argc, char* argv[]) {
  CommandLine line;
  bool yes = false;
  bool no = false;
  opterr = 0;  // our own one-line messages
  optind = 0;  // 0 makes glibc start over, also when called a second time
  for (;;) {
    const int previousIndex = optind;
    const int c = getopt_long(argc, argv, ":o:ynkrqhVf:", kLongOptions, nullptr);
    if (c == -1) break;
    switch (c) {
      case 'o':
        line.outputDir = optarg;
        break;
      case 'y':
        yes = true;
        break;
      case 'n':
        no = true;
        break;
      case 'q':
        line.host.quiet = true;
        break;
      case 'k':
        line.host.keepGoing = true;
        break;
      case 'r':
        line.recursive = true;
        break;
      case 'h':
        line.action = CommandLine::Action::kHelp;
        return line;
      case 'V':
        line.action = CommandLine::Action::kVersion;
        return line;
      case 'f':
        if (std::string(optarg) != "avi" && std::string(optarg) != "mkv" &&
            std::string(optarg) != "mp4") {
          return UsageError(std::string(_("unknown format")) + " '" + optarg + "' " +
                            _("(avi, mkv or mp4)"));
        }
        line.format = optarg;
        break;
      case kCrf: {
        char* end = nullptr;
        const long value = std::strtol(optarg, &end, 10);
        // The encoder's own range: it refuses the rest in the same words.
        if (end == optarg || *end != '\0' || value < FfmpegMovieEncoder::kMinCrf ||
            value > FfmpegMovieEncoder::kMaxCrf) {
          return UsageError(std::string(_("invalid --crf value")) + " '" + optarg + "' " +
                            _("(0 to 51)"));
        }
        line.crf = static_cast<int>(value);
        break;
      }
      case kVerify:
        line.verify = true;
        break;
      case kReport:
        if (*optarg == '\0') return UsageError(Format(_("option '%s' needs a value"), "--report"));
        line.reportPath = optarg;
        break;
      case kInfo:
        line.info = true;
        break;
      case kJson:
        line.json = true;
        break;
      case kCheck:
        line.check = true;
        break;
      case kRiffLimit:
      case kRefreshInterval: {
        errno = 0;
        char* end = nullptr;
        const unsigned long long value = std::strtoull(optarg, &end, 10);
        if (errno != 0 || end == optarg || *end != '\0' || value == 0 || optarg[0] == '-') {
          return UsageError(std::string(c == kRiffLimit ? _("invalid --riff-limit value")
                                                        : _("invalid --refresh-interval value")) +
                            " '" + optarg + "'");
        }
        (c == kRiffLimit ? line.riffLimit : line.refreshInterval) = value;
        break;
      }
      case ':': {
        // glibc reports a long option by its short letter too; name it by
        // the option the user typed.
        const std::string typed = argv[optind - 1];
        if (typed.rfind("--", 0) == 0) {
          const option* o = LongOptionTyped(typed);
          const std::string name = o != nullptr ? std::string("--") + o->name : typed;
          return UsageError(Format(_("option '%s' needs a value"), name.c_str()));
        }
        return UsageError(
            Format(_("option '%s' needs a value"), (std::string("-") + char(optopt)).c_str()));
      }
      default: {
        // A long option was typed when the word just read begins with "--":
        // glibc then gives its short letter (or 0) in optopt, which must not
        // name it ("--yes=1" is no unknown "-y").
        const int index = optind > previousIndex ? optind - 1 : previousIndex;
        const std::string word = index > 0 && index < argc ? argv[index] : "";
        if (word.rfind("--", 0) == 0) {
          const option* o = LongOptionTyped(word);
          if (o != nullptr && o->has_arg == no_argument && word.find('=') != std::string::npos) {
            return UsageError(
                Format(_("option '%s' takes no value"), (std::string("--") + o->name).c_str()));
          }
          return UsageError(
              Format(_("unknown option '%s'"), word.substr(0, word.find('=')).c_str()));
        }
        return UsageError(
            Format(_("unknown option '%s'"), (std::string("-") + char(optopt)).c_str()));
      }
    }
  }
  if (yes && no) return UsageError(_("-y and -n exclude each other"));
  if (line.info && line.check) return UsageError(_("--info and --check exclude each other"));
  if (line.json && !line.info) return UsageError(_("--json goes with --info"));
  if (!line.reportPath.empty() && (line.info || line.check)) {
    return UsageError(_("--report goes with a conversion, not with --info or --check"));
  }
  if (line.crf >= 0 && line.format != "mp4") return UsageError(_("--crf applies to mp4 only"));
  line.host.policy = yes ? OverwritePolicy::kAlways : no ? OverwritePolicy::kNever : OverwritePolicy::kAsk;
  for (int i = optind; i < argc; ++i) line.files.emplace_back(argv[i]);
  if (line.files.empty()) return UsageError(_("no input files"));
  return line;
}
