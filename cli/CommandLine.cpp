#include "cli/CommandLine.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>

namespace {

enum LongOnly { kRiffLimit = 256, kCrf, kVerify };

const option kLongOptions[] = {
    {"output-dir", required_argument, nullptr, 'o'},
    {"yes", no_argument, nullptr, 'y'},
    {"no-overwrite", no_argument, nullptr, 'n'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"riff-limit", required_argument, nullptr, kRiffLimit},
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
  return "Usage: porute2avi [-o DIR] [-y | -n] [-q] FILE...\n"
         "Converts VD02 (.V02) and VD00 (.V00, with its .snd sound) movies into\n"
         "uncompressed AVI files, one after another, in the order given.\n"
         "Each FILE.V02 becomes FILE.avi next to it, or in DIR with -o.\n"
         "\n"
         "  -o, --output-dir=DIR  write the AVI files into DIR (it must exist)\n"
         "  -y, --yes             overwrite existing AVI files without asking\n"
         "  -n, --no-overwrite    never overwrite: skip inputs whose AVI file exists\n"
         "  -q, --quiet           show no progress\n"
         "  -f, --format=FORMAT   avi (default): uncompressed AVI;\n"
         "                        mkv: lossless master, FFV1 version 3 and FLAC;\n"
         "                        mp4: H.264 and AAC copy to watch and share\n"
         "                        (an odd width or height gains one row or column\n"
         "                        repeating the edge, as 4:2:0 needs even sizes)\n"
         "      --crf=N           H.264 quality for mp4, 0 (lossless) to 51 (default 18)\n"
         "      --verify          read each output back and compare it with the movie:\n"
         "                        avi and mkv must be identical, mp4 is measured\n"
         "  -h, --help            show this help and exit\n"
         "  -V, --version         show the version and exit\n"
         "\n"
         "Without -y or -n an existing AVI file is asked about on the terminal\n"
         "(y = yes, n = no, a = yes to all); with no terminal it is skipped.\n"
         "An error stops the whole batch; Ctrl-C stops it after the current chunk,\n"
         "leaving the file in hand complete as far as it got.\n"
         "\n"
         "Exit status: 0 every file converted or skipped, 1 an error stopped the\n"
         "batch, 2 wrong usage, 130 interrupted.\n";
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
      case kRiffLimit: {
        errno = 0;
        char* end = nullptr;
        const unsigned long long value = std::strtoull(optarg, &end, 10);
        if (errno != 0 || end == optarg || *end != '\0' || value == 0 || optarg[0] == '-') {
          return UsageError(std::string("invalid --riff-limit value '") + optarg + "'");
        }
        line.riffLimit = value;
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
  if (line.crf >= 0 && line.format != "mp4") return UsageError("--crf applies to mp4 only");
  line.host.policy = yes ? OverwritePolicy::kAlways : no ? OverwritePolicy::kNever : OverwritePolicy::kAsk;
  for (int i = optind; i < argc; ++i) line.files.emplace_back(argv[i]);
  if (line.files.empty()) return UsageError("no input files");
  return line;
}
