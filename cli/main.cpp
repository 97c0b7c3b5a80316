// porute2avi: converts VD02 and VD00 movies into AVI files from the command
// line, through the same batch driver as the window.
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "avienc/AVIencode.h"
#include "avifile/AviFileLimits.h"
#include "batch/BatchDriver.h"
#include "batch/Messages.h"
#include "cli/Catalogue.h"
#include "cli/CommandLine.h"
#include "cli/ConsoleHost.h"
#include "cli/FsPath.h"
#include "cli/Gettext.h"
#include "cli/InputList.h"
#include "cli/Interrupts.h"
#include "cli/Probe.h"
#include "cli/RunReport.h"
#include "cli/ShownText.h"
#include "cli/Terminal.h"
#include "batch/PathNames.h"
#include "platform/Files.h"
#include "v02dec/V02Decode.h"

#ifdef PORUTE_HAVE_FFMPEG
#include <new>

#include "ffenc/FfmpegMovieEncoder.h"
#include "ffenc/OutputVerifier.h"
extern "C" {
#include <libavutil/log.h>
}
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

constexpr int kInputStream = 0;
constexpr int kErrorStream = 2;

int UsageFailure(const std::string& message) {
  std::fprintf(stderr, "porute2avi: %s\n", message.c_str());
  std::fprintf(stderr, _("Try 'porute2avi --help' for more information.\n"));
  return kExitUsage;
}

// "out/" and "out" name one folder; without the trailing slashes the paths in
// the messages read "out/a.avi" instead of "out//a.avi". The root stays "/".
// The extension of the outputs that the chosen format writes.
std::string OutputExtension(const std::string& format) { return "." + format; }

std::string WithoutTrailingSlashes(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string Format2(const char* format, const std::string& a, const std::string& b,
                    const std::string& c = {}) {
  char text[4096];
  const int n = std::snprintf(text, sizeof text, format, a.c_str(), b.c_str(), c.c_str());
  return std::string(text, n <= 0 ? 0 : std::min(static_cast<size_t>(n), sizeof text - 1));
}


// What the writer of the format refuses of a movie, in its own words: the
// same function its Open asks.
std::string WriterRefusal(const std::string& format, const MovieEncoder::Shape& shape) {
  if (format == "avi") {
    const char* refusal = AviRefusal(shape);
    return refusal != nullptr ? refusal : std::string();
  }
#ifdef PORUTE_HAVE_FFMPEG
  return FfmpegMovieEncoder::Refusal(format == "mkv" ? FfmpegFormat::kMkv : FfmpegFormat::kMp4,
                                     shape);
#else
  return {};
#endif
}

// A named folder that gave no movie is said so; with subfolders that -r
// would take, the line says how to take them.
void ReportEmptyFolders(const InputList& inputs, bool recursive) {
  for (const InputList::Empty& folder : inputs.empty) {
    std::string line = ShownText(folder.path) + ": " + _("no movie in this folder");
    if (folder.hasSubfolders && !recursive) {
      line += std::string(" (") + _("it has subfolders; -r takes the movies in them") + ")";
    }
    std::fprintf(stderr, "porute2avi: %s\n", line.c_str());
  }
}

int NoMovieFound() {
  std::fprintf(stderr, "porute2avi: %s\n", _("no movie was found; nothing was done"));
  return kExitError;
}

// The frames of each movie of the list, read from their headers, for a time
// left reckoned by frames. A movie that does not open counts none.
std::vector<uint32_t> FramesOf(const std::vector<std::string>& files) {
  V02Decode decoder;
  ProbeSettings headerOnly;
  headerOnly.format.clear();
  std::vector<uint32_t> frames;
  frames.reserve(files.size());
  for (const std::string& path : files) {
    MovieInfo info;
    std::string cause;
    frames.push_back(ReadMovieInfo(decoder, path, headerOnly, info, cause) ? info.frameCount
                                                                                  : 0);
  }
  return frames;
}

#ifdef PORUTE2AVI_FFMPEG_PROGRAM
// Replaces this process with the build of porute2avi that has FFmpeg's
// libraries, at its place relative to this program; returns only when that
// failed, with the errno, `program` naming what was tried.
int BecomeFfmpegProgram(char* argv[], std::string& program) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self);
  if (n <= 0) return errno;
  if (static_cast<size_t>(n) == sizeof self) return ENAMETOOLONG;
  program.assign(self, static_cast<size_t>(n));
  program.erase(program.rfind('/') + 1);
  program += PORUTE2AVI_FFMPEG_PROGRAM;
  execv(program.c_str(), argv);
  return errno;
}
#endif

}  // namespace

int main(int argc, char* argv[]) {
  StartTerminal();
  StartTranslations();
  // UTF-8 from here on, on every system.
  std::vector<std::string> arguments = ProgramArguments(argc, argv);
  std::vector<char*> utf8Argv;
  for (std::string& argument : arguments) utf8Argv.push_back(argument.data());
  utf8Argv.push_back(nullptr);
  argc = static_cast<int>(arguments.size());
  argv = utf8Argv.data();
#ifdef PORUTE_HAVE_FFMPEG
  // The libraries' own chatter stays out of our messages, --info and --check
  // included (their refusal test opens the encoders); their errors reach the
  // user through the encoders' failure causes.
  av_log_set_level(AV_LOG_QUIET);
#endif
  CommandLine line = ParseCommandLine(argc, argv);
  switch (line.action) {
    case CommandLine::Action::kUsageError:
      return UsageFailure(line.usageError);
    case CommandLine::Action::kHelp:
      std::fputs(UsageText(), stdout);
      return std::fflush(stdout) == 0 ? kExitOk : kExitError;
    case CommandLine::Action::kVersion:
      std::printf("porute2avi (%s) %s\n", kProgramName, kProgramVersion);
      return std::fflush(stdout) == 0 ? kExitOk : kExitError;
    case CommandLine::Action::kConvert:
      break;
  }

#ifndef PORUTE_HAVE_FFMPEG
  if (line.format != "avi" || line.verify) {
#ifdef PORUTE2AVI_FFMPEG_PROGRAM
    std::string program = PORUTE2AVI_FFMPEG_PROGRAM;
    const int error = BecomeFfmpegProgram(argv, program);
    std::fprintf(stderr, "porute2avi: %s: %s: %s\n", ShownText(program).c_str(),
                 _("cannot run the program that writes Matroska and MP4"), std::strerror(error));
    return kExitError;
#else
    return UsageFailure(_("this porute2avi was built without FFmpeg's libraries: "
                          "it writes AVI files only and cannot --verify"));
#endif
  }
#endif
  if (line.riffLimit != 0) AviFileSetRiffLimit(line.riffLimit);
  if (line.info || line.check) {
    // Folders stand for the movies in them here too; one that cannot be read
    // is reported like a movie that does not open.
    const InputList movies = ExpandInputs(line.files, line.recursive, std::string());
    int status = kExitOk;
    for (const InputList::Unreadable& folder : movies.unreadable) {
      std::fprintf(stderr, "porute2avi: %s: %s: %s\n", ShownText(folder.path).c_str(),
                   _("cannot read the folder"), std::strerror(folder.sysErrno));
      status = kExitError;
    }
    ReportEmptyFolders(movies, line.recursive);
    if (movies.files.empty() && movies.unreadable.empty()) return NoMovieFound();
    ProbeSettings settings;
    settings.format = line.format;
    const std::string format = line.format;
    settings.refusal = [format](const MovieEncoder::Shape& shape) {
      return WriterRefusal(format, shape);
    };
    settings.riffLimit = AviFileRiffLimit();
    settings.json = line.json;
    const int probed = line.info ? RunInfo(movies.files, settings, stdout, stderr)
                                 : RunCheck(movies.files, settings, stdout, stderr);
    return probed != kExitOk ? probed : status;
  }

  // A missing output folder would fail only at the first file's output, after
  // the decoder had been opened; tell the user before anything is done.
  const std::string outputDir = WithoutTrailingSlashes(line.outputDir);
  bool makeOutputDir = false;
  if (!outputDir.empty()) {
    int error = 0;
    const platform::NameKind kind = platform::KindOfTarget(outputDir, &error);
    if (kind == platform::NameKind::kAbsent && error == 0) {
      makeOutputDir = true;
    } else if (kind != platform::NameKind::kFolder) {
      return UsageFailure(
          Format2(_("output folder '%s' is not a folder"), ShownText(line.outputDir), {}));
    }
  }
  if (line.riffLimit != 0) AviFileSetRiffLimit(line.riffLimit);
  if (line.refreshInterval != 0) AviFileSetRefreshInterval(line.refreshInterval);
  IgnoreFileSizeSignal();

  InputList inputs = ExpandInputs(line.files, line.recursive, outputDir);
  ReportEmptyFolders(inputs, line.recursive);
  if (inputs.files.empty() && inputs.unreadable.empty()) return NoMovieFound();
  const std::vector<OutputCollision> collisions =
      FindCollisions(inputs, outputDir, OutputExtension(line.format));
  if (!collisions.empty() && !line.host.keepGoing) {
    const OutputCollision& collision = collisions.front();
    std::fprintf(stderr, "porute2avi: %s\n",
                 Format2(_("%s and %s would both write %s; nothing was converted"),
                         ShownText(collision.firstInput), ShownText(collision.secondInput),
                         ShownText(collision.output))
                     .c_str());
    return kExitUsage;
  }

  ConsoleHost host(line.host, kInputStream, kErrorStream);
  RunReport::Settings reportSettings;
  reportSettings.format = line.format;
  reportSettings.crf = line.crf;
  reportSettings.verify = line.verify;
  RunReport report(line.reportPath, reportSettings);
  ReportingHost reportingHost(host, report);
  const bool reporting = !line.reportPath.empty();
  if (reporting) {
    for (size_t i = 0; i < inputs.files.size(); ++i) {
      const std::string& folder =
          !inputs.outputFolders[i].empty() ? inputs.outputFolders[i] : outputDir;
      report.AddInput(inputs.files[i], OutputPath(folder, inputs.files[i], kNativePathStyle,
                                                  OutputExtension(line.format)));
    }
  }
  // With -k the movies that would write one output fail, each of them, and
  // the rest are converted: which of them the user meant cannot be known.
  if (!collisions.empty()) {
    std::vector<bool> colliding(inputs.files.size(), false);
    for (const OutputCollision& collision : collisions) {
      for (size_t i = 0; i < inputs.files.size(); ++i) {
        if (inputs.files[i] == collision.firstInput || inputs.files[i] == collision.secondInput) {
          colliding[i] = true;
        }
      }
    }
    InputList kept;
    kept.unreadable = inputs.unreadable;
    for (size_t i = 0; i < inputs.files.size(); ++i) {
      if (!colliding[i]) {
        kept.files.push_back(inputs.files[i]);
        kept.outputFolders.push_back(inputs.outputFolders[i]);
        continue;
      }
      for (const OutputCollision& collision : collisions) {
        if (collision.firstInput != inputs.files[i] && collision.secondInput != inputs.files[i]) {
          continue;
        }
        const std::string text = Format2(_("another movie of the batch would also write %s"),
                                         ShownText(collision.output), {});
        host.ReportEarlyFailure(inputs.files[i], text);
        report.FailedEarly(inputs.files[i], text);
        break;
      }
    }
    inputs = std::move(kept);
  }
  if (makeOutputDir) {
    std::error_code error;
    std::filesystem::create_directories(FsPath(outputDir), error);
    if (error) {
      std::fprintf(stderr, "porute2avi: %s: %s: %s\n", ShownText(outputDir).c_str(),
                   _("cannot make the folder"), error.message().c_str());
      return kExitError;
    }
    std::fprintf(stderr, "porute2avi: %s: %s\n", ShownText(outputDir).c_str(),
                 _("the output folder did not exist and was made"));
  }

  if (!line.host.quiet && IsTerminal(kErrorStream)) host.SetFramesPerFile(FramesOf(inputs.files));

  BatchDriver driver(reporting ? static_cast<BatchHost&>(reportingHost) : host);
  driver.SetKeepGoing(line.host.keepGoing);
  InstallInterruptHandlers(driver);
  bool verifyInterrupted = false;
#ifdef PORUTE_HAVE_FFMPEG
  if (line.format != "avi") {
    const FfmpegFormat format = line.format == "mkv" ? FfmpegFormat::kMkv : FfmpegFormat::kMp4;
    const int crf = line.crf >= 0 ? line.crf : FfmpegMovieEncoder::kDefaultCrf;
    driver.SetEncoderFactory([format, crf] {
      return std::unique_ptr<MovieEncoder>(new (std::nothrow) FfmpegMovieEncoder(format, crf));
    });
  }
  if (line.verify) {
    const bool lossless = line.format != "mp4";
    // A stop signal ends a verification between two frames, as it ends a
    // conversion; the file then counts as not verified.
    driver.SetFileDoneHook([&host, &report, lossless, &verifyInterrupted](
                               const std::string& input, const std::string& finished,
                               const std::string& output) {
      const VerifyReport verified =
          VerifyOutput(input, finished, lossless, [] { return InterruptCount() != 0; });
      verifyInterrupted = verifyInterrupted || verified.aborted;
      if (!verified.ok) {
        report.Verified(input, false, verified.problem);
        return verified.problem;
      }
      const std::string text = DescribeVerified(verified, lossless);
      report.Verified(input, true, text);
      report.Converted(input);
      host.ShowNote(ShownText(output) + ": " + text);
      return std::string();
    });
  }
#endif
  if (!line.verify && reporting) {
    driver.SetFileDoneHook([&report](const std::string& input, const std::string&,
                                     const std::string&) {
      report.Converted(input);
      return std::string();
    });
  }

  for (const InputList::Unreadable& folder : inputs.unreadable) {
    host.ReportEarlyFailure(folder.path, folder.sysErrno);
  }
  std::string failedFolder;
  int folderErrno = 0;
  if (!MakeOutputFolders(inputs, failedFolder, folderErrno)) {
    std::fprintf(stderr, "porute2avi: %s: %s: %s\n", ShownText(failedFolder).c_str(),
                 _("cannot make the folder"), std::strerror(folderErrno));
    return kExitError;
  }
  if (inputs.unreadable.empty() || line.host.keepGoing) {
    driver.FileList = inputs.files;
    driver.OutputFolders = inputs.outputFolders;
    driver.SaveDir = outputDir;
  }
  driver.BtnStartClick();
  DetachInterruptHandlers();
  int status = host.ExitStatus();
  if (verifyInterrupted) status = 128 + (FirstInterruptSignal() != 0 ? FirstInterruptSignal() : SIGINT);
  if (reporting) {
    // An interrupted run is recorded too: the report says so.
    const std::string failed = report.Write(InterruptCount() != 0);
    if (!failed.empty()) {
      std::fprintf(stderr, "porute2avi: %s: %s: %s\n", ShownText(line.reportPath).c_str(),
                   _("cannot write the report"), failed.c_str());
      if (status == kExitOk) status = kExitError;
    }
  }
  return status;
}
