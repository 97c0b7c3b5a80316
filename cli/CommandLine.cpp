#include "cli/CommandLine.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>

namespace {

enum LongOnly { kRiffLimit = 256, kRefreshInterval, kInfo, kJson, kCheck, kCrf, kVerify };

const option kLongOptions[] = {
    {"output-dir", required_argument, nullptr, 'o'},
    {"yes", no_argument, nullptr, 'y'},
    {"no-overwrite", no_argument, nullptr, 'n'},
    {"quiet", no_argument, nullptr, 'q'},
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
    {nullptr, 0, nullptr, 0},
};

CommandLine UsageError(std::string message) {
  CommandLine line;
  line.action = CommandLine::Action::kUsageError;
  line.usageError = std::move(message);
  return line;
}

}  // namespace

const char* UsageText() {
  return "Usage: porute2avi [OPTION]... FILE...\n"
         "       porute2avi --info [--json] FILE...\n"
         "       porute2avi --check FILE...\n"
         "Converts VD02 (.V02) and VD00 (.V00, with its .snd sound) movies into\n"
         "uncompressed AVI files, one after another, in the order given.\n"
         "Each FILE.V02 becomes FILE.avi next to it, or in DIR with -o. A FILE that\n"
         "is a folder stands for the movies in it.\n"
         "\n"
         "  -o, --output-dir=DIR   write the outputs into DIR (it must exist); for a\n"
         "                         folder, the tree below it is mirrored under DIR\n"
         "  -y, --yes              overwrite existing outputs without asking\n"
         "  -n, --no-overwrite     never overwrite: skip inputs whose output exists\n"
         "  -q, --quiet            show no progress\n"
         "  -k, --keep-going       after an error go on with the next file, and sum up\n"
         "                         at the end\n"
         "  -r, --recursive        in folders, descend into subfolders (symbolic links\n"
         "                         to folders are not followed)\n"
         "  -f, --format=FORMAT    avi (the default), mkv (FFV1 and FLAC, lossless) or\n"
         "                         mp4 (H.264 and AAC; odd sizes get one more repeated\n"
         "                         row or column)\n"
         "      --crf=N            H.264 quality for mp4, lower is better (default 18)\n"
         "      --verify           read each output back and compare it with the movie\n"
         "      --info             describe each movie without converting it\n"
         "      --json             with --info: one JSON array of objects\n"
         "      --check            decode every chunk without writing anything and\n"
         "                         report ok or the damage found\n"
         "  -h, --help             show this help and exit\n"
         "  -V, --version          show the version and exit\n"
         "\n"
         "Without -y or -n an existing output is asked about on the terminal\n"
         "(y = yes, n = no, a = yes to all); with no terminal it is skipped.\n"
         "Without -k an error stops the whole batch. Ctrl-C stops it after the\n"
         "current chunk, leaving the file in hand complete as far as it got.\n"
         "\n"
         "Exit status: 0 every file converted (or skipped with -n), 1 a file failed,\n"
         "is damaged, or was skipped for want of an answer, 2 wrong usage, 128+N\n"
         "after signal N (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP), 0 when the signal\n"
         "came after the last file was finished.\n";
}

CommandLine ParseCommandLine(int argc, char* argv[]) {
  CommandLine line;
  bool yes = false;
  bool no = false;
  opterr = 0;  // our own one-line messages
  optind = 0;  // 0 makes glibc start over, also when called a second time
  for (;;) {
    const int previousIndex = optind;
    const int c = getopt_long(argc, argv, ":o:ynqhVf:", kLongOptions, nullptr);
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
      case 'h':
        line.action = CommandLine::Action::kHelp;
        return line;
      case 'V':
        line.action = CommandLine::Action::kVersion;
        return line;
      case 'f':
        if (std::string(optarg) != "avi" && std::string(optarg) != "mkv" &&
            std::string(optarg) != "mp4") {
          return UsageError(std::string("unknown format '") + optarg + "' (avi, mkv or mp4)");
        }
        line.format = optarg;
        break;
      case kCrf: {
        char* end = nullptr;
        const long value = std::strtol(optarg, &end, 10);
        if (end == optarg || *end != '\0' || value < 0 || value > 51) {
          return UsageError(std::string("invalid --crf value '") + optarg + "' (0 to 51)");
        }
        line.crf = static_cast<int>(value);
        break;
      }
      case kVerify:
        line.verify = true;
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
          const char* name = c == kRiffLimit ? "--riff-limit" : "--refresh-interval";
          return UsageError(std::string("invalid ") + name + " value '" + optarg + "'");
        }
        (c == kRiffLimit ? line.riffLimit : line.refreshInterval) = value;
        break;
      }
      case ':': {
        // glibc reports a long option by its short letter too; name it as typed.
        const std::string typed = argv[optind - 1];
        if (typed.rfind("--", 0) == 0) {
          return UsageError("option '" + typed.substr(0, typed.find('=')) + "' needs a value");
        }
        return UsageError(std::string("option '-") + char(optopt) + "' needs a value");
      }
      default: {
        if (optopt != 0) return UsageError(std::string("unknown option '-") + char(optopt) + "'");
        // An unknown long option: optind has moved past it.
        const int index = optind > previousIndex ? optind - 1 : previousIndex;
        return UsageError(std::string("unknown option '") + argv[index] + "'");
      }
    }
  }
  if (yes && no) return UsageError("-y and -n exclude each other");
  if (line.info && line.check) return UsageError("--info and --check exclude each other");
  if (line.json && !line.info) return UsageError("--json goes with --info");
  if (line.crf >= 0 && line.format != "mp4") return UsageError("--crf applies to mp4 only");
  line.host.policy = yes ? OverwritePolicy::kAlways : no ? OverwritePolicy::kNever : OverwritePolicy::kAsk;
  for (int i = optind; i < argc; ++i) line.files.emplace_back(argv[i]);
  if (line.files.empty()) return UsageError("no input files");
  return line;
}
